// The virtual jig's USB timing on its ideal clock (line time charged, no host
// cost): packets of 62 data bytes, the latency timer, 1 ms frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/SimFtdi.h"

using namespace qj;

namespace {

// Line time of n bytes at 921600 baud, 10 bits a byte, rounded up.
int64_t line(int64_t n) { return (n * 10'000'000 + 921600 - 1) / 921600; }

FT_HANDLE openJig(sim::SimFtdi& s) {
    uint32_t n = 0;
    s.CreateDeviceInfoList(n);
    FT_HANDLE h = nullptr;
    EXPECT_EQ(s.Open(0, h), FT_OK);
    s.SetBaudRate(h, 921600);
    s.SetDataCharacteristics(h, 8, 0, 0);
    return h;
}

// Waits until `count` bytes are in; returns the clock then (before any status query moves it).
int64_t arrivalOf(sim::SimFtdi& s, FT_HANDLE h, uint32_t count) {
    EXPECT_EQ(s.WaitQueues(h, count, false, 1000), FT_OK);
    return s.simClock().nowUs();
}

uint32_t rxCount(sim::SimFtdi& s, FT_HANDLE h) {
    uint32_t rx = 0, tx = 0, ev = 0;
    s.GetStatus(h, rx, tx, ev);
    return rx;
}

}  // namespace

TEST(UsbTiming, BlockAnswerComesInFullPacketsThenAPartialOneAfterTheLatencyTimer) {
    struct Case {
        const char* keys;
        int setMs;  // 0: the host leaves the timer alone
        FT_STATUS setStatus;
        int64_t latencyUs;
    };
    for (const Case c : {Case{"", 2, FT_OK, 2000}, Case{"", 0, FT_OK, 16000}, Case{"", 1, FT_OK, 1000},
                         Case{"", 255, FT_OK, 255000},
                         // The host cannot change a fixed timer (a tty): a longer one
                         // refuses 2 ms (no udev rule), a shorter one is kept (the rule's).
                         Case{",usb-latency-ms=16", 2, FT_OTHER_ERROR, 16000},
                         Case{",usb-latency-ms=1", 2, FT_OK, 1000}}) {
        SCOPED_TRACE(std::string(c.keys) + " set " + std::to_string(c.setMs));
        sim::SimFtdi s(std::string("jig=ENE_EDID_KB,mode=ideal,usb=ft232r") + c.keys);
        FT_HANDLE h = openJig(s);
        if (c.setMs) {
            EXPECT_EQ(s.SetLatencyTimer(h, uint8_t(c.setMs)), c.setStatus);
        }
        s.simClock().advanceTo(1500);
        const uint8_t cmd = 'R';  // one 256-byte block and its status byte
        uint32_t w = 0;
        ASSERT_EQ(s.Write(h, &cmd, 1, w), FT_OK);
        // The command reaches the jig at the 2 ms frame, then crosses the line.
        const int64_t start = 2000 + line(1);
        for (int64_t p = 1; p <= 4; ++p) {
            EXPECT_EQ(arrivalOf(s, h, uint32_t(62 * (p - 1) + 1)), start + line(62 * p)) << "packet " << p;
            EXPECT_EQ(rxCount(s, h), uint32_t(62 * p));
        }
        EXPECT_EQ(arrivalOf(s, h, 249), start + line(249) + c.latencyUs);
        EXPECT_EQ(rxCount(s, h), 257u);
    }
}

TEST(UsbTiming, OneByteAnswerWaitsForTheFrameAndTheTimerOnlyOverUsb) {
    struct Case {
        const char* keys;
        int64_t arrival;
    };
    for (const Case c : {Case{"", 1500 + 2 * line(1)}, Case{",usb=ft232r", 2000 + 2 * line(1) + 2000}}) {
        SCOPED_TRACE(c.keys);
        sim::SimFtdi s(std::string("jig=ENE_EDID_KB,mode=ideal") + c.keys);
        FT_HANDLE h = openJig(s);
        s.SetLatencyTimer(h, 2);
        s.simClock().advanceTo(1500);
        const uint8_t cmd = 'I';
        uint32_t w = 0;
        ASSERT_EQ(s.Write(h, &cmd, 1, w), FT_OK);
        EXPECT_EQ(arrivalOf(s, h, 1), c.arrival);
        EXPECT_EQ(rxCount(s, h), 1u);
    }
}

// The event character sends the packet it enters at once; the rest of the
// answer still goes in full packets or waits for the timer. Block 0 of the
// counter pattern holds every byte value once (byte k is k, the status 'K');
// the blank one holds 0xFF and the status 'K'.
TEST(UsbTiming, TheEventCharacterSendsItsPacketAtOnce) {
    struct Packet {
        uint32_t last;    // the answer's bytes up to this one (from 1) arrive together
        int64_t atUs;     // after the command's start
    };
    struct Case {
        const char* name;
        const char* pattern;
        uint8_t eventChar, enable;
        std::vector<Packet> packets;
    };
    const int64_t t = 2000;  // the latency timer
    const Case cases[] = {
        {"ends the answer", "blank", 'K', 1,
         {{62, line(62)}, {124, line(124)}, {186, line(186)}, {248, line(248)}, {257, line(257)}}},
        // 0x10 is byte 17: its packet goes, the next ones fill from byte 18,
        // and the last, without it, waits for the timer.
        {"in the middle", "counter", 0x10, 1,
         {{17, line(17)}, {79, line(79)}, {141, line(141)}, {203, line(203)}, {257, line(204) + t}}},
        {"disabled", "blank", 'K', 0,
         {{62, line(62)}, {124, line(124)}, {186, line(186)}, {248, line(248)}, {257, line(249) + t}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimFtdi s(std::string("jig=ENE_EDID_KB,mode=ideal,usb=ft232r,ene-pattern=") + c.pattern);
        FT_HANDLE h = openJig(s);
        s.SetLatencyTimer(h, 2);
        ASSERT_EQ(s.SetChars(h, c.eventChar, c.enable, 0, 0), FT_OK);
        s.simClock().advanceTo(1500);
        const uint8_t cmd = 'R';  // block 0
        uint32_t w = 0;
        ASSERT_EQ(s.Write(h, &cmd, 1, w), FT_OK);
        const int64_t start = 2000 + line(1);  // the command reaches the jig at the 2 ms frame
        uint32_t first = 1;
        for (const Packet& p : c.packets) {
            EXPECT_EQ(arrivalOf(s, h, first), start + p.atUs) << "bytes " << first << " to " << p.last;
            EXPECT_EQ(rxCount(s, h), p.last);
            first = p.last + 1;
        }
    }
}

// A byte heard with a line error reaches the host as the error character the
// host enabled, and as it was sent otherwise.
TEST(UsbTiming, TheErrorCharacterStandsForAByteWithALineError) {
    for (const uint8_t enable : {uint8_t{1}, uint8_t{0}}) {
        sim::SimFtdi s("jig=ENE_EDID_KB,mode=instant,usb=ft232r,usb-line-error-at=3");
        FT_HANDLE h = openJig(s);
        ASSERT_EQ(s.SetChars(h, 0, 0, '?', enable), FT_OK);
        const uint8_t cmd = 'B';
        uint32_t w = 0;
        ASSERT_EQ(s.Write(h, &cmd, 1, w), FT_OK);
        uint8_t id[11] = {};
        uint32_t got = 0;
        ASSERT_EQ(s.Read(h, id, 11, got), FT_OK);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(id), got), enable ? "EN?_EDID_KB" : "ENE_EDID_KB");
    }
}
