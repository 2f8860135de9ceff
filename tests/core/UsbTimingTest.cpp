// The virtual jig's USB timing on its ideal clock (line time charged, no host
// cost): packets of 62 data bytes, the latency timer, 1 ms frames.
#include <gtest/gtest.h>

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
    EXPECT_EQ(s.WaitQueues(h, count, false, 100), FT_OK);
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
    for (const Case c : {Case{"", 2, FT_OK, 2000}, Case{"", 0, FT_OK, 16000},
                         // The host cannot change a locked timer (a tty without the udev rule).
                         Case{",usb-latency-ms=16", 2, FT_OTHER_ERROR, 16000}}) {
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
