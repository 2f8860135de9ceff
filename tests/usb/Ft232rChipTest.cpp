// The emulated chip on its own: what a bulk-in transfer carries and when it
// goes, and the vendor requests the USB tests do not reach through libftdi.
#include <gtest/gtest.h>

#include <cerrno>

#include "tools/ft232r/Ft232rChip.h"

using namespace qj::usb;

TEST(Ft232rChip, BulkInPacketsLeadWithTheStatusBytesAndGoWhenFullOrWhenTheTimerRunsOut) {
    struct Case {
        size_t buffered;
        int length;         // the transfer the host waits with
        bool dueAtOnce;     // or when the latency timer runs out
        int filled;         // bytes in the transfer
        size_t left;        // bytes the chip still holds
    };
    const Case cases[] = {
        {0, 4096, false, 2, 0},         // nothing: the status bytes alone
        {61, 4096, false, 63, 0},       // one short packet
        {62, 4096, false, 66, 0},       // a full packet, then a short one with the status alone
        {124, 4096, false, 130, 0},
        {3968, 4096, true, 4096, 0},    // 64 full packets fill the transfer
        {5000, 4096, true, 4096, 1032},
        {10, 64, false, 12, 0},
        {62, 64, true, 64, 0},
    };
    for (const Case& c : cases) {
        Ft232rChip chip({});
        uint8_t req[1];
        ASSERT_EQ(chip.control(0x40, 0x09, 2, 0, 0, req), 0);  // latency timer 2 ms
        std::vector<uint8_t> line(c.buffered);
        for (size_t i = 0; i < line.size(); ++i) line[i] = uint8_t(i * 7);
        chip.fromLine(line.data(), line.size(), 1000);
        const std::string what = std::to_string(c.buffered) + " in " + std::to_string(c.length);
        EXPECT_EQ(chip.inDueUs(c.length) <= 1000, c.dueAtOnce) << what;
        if (!c.dueAtOnce) {  // from the last full packet, or from the start
            EXPECT_EQ(chip.inDueUs(c.length), (c.buffered >= 62 ? 1000 : 0) + 2000) << what;
        }
        std::vector<uint8_t> buf(size_t(c.length));
        ASSERT_EQ(chip.fillIn(buf.data(), c.length, 5000), c.filled) << what;
        EXPECT_EQ(chip.buffered(), c.left) << what;
        size_t next = 0;
        for (int off = 0; off < c.filled; off += kPacket) {
            EXPECT_EQ(buf[size_t(off)], 0x01) << what << " at " << off;
            EXPECT_EQ(buf[size_t(off) + 1], 0x60) << what << " at " << off;
            for (int k = off + 2; k < std::min(off + kPacket, c.filled); ++k)
                ASSERT_EQ(buf[size_t(k)], uint8_t(next++ * 7)) << what << " at " << k;
        }
        if (c.left == 0) {
            EXPECT_EQ(chip.inDueUs(c.length), 7000) << what << ": the timer restarts with each transfer";
        }
    }
}

// An enabled event character sends what the chip holds up to it at once, in
// a packet that it ends; the rest waits as before.
TEST(Ft232rChip, TheEventCharacterSendsTheBufferUpToItAtOnce) {
    struct Case {
        uint16_t eventChar;  // character | enabled << 8
        size_t at;           // where 'K' is in 70 buffered bytes (from 1)
        bool dueAtOnce;
        int filled;
        size_t left;
    };
    const Case cases[] = {
        {0x100 | 'K', 3, true, 5, 67},   // "ab" 'K': one short packet
        {0x100 | 'K', 66, true, 70, 4},  // a full packet, then four bytes up to 'K'
        {'K', 3, false, 74, 0},          // disabled: as without it
    };
    for (const Case& c : cases) {
        Ft232rChip chip({});
        uint8_t req[1];
        ASSERT_EQ(chip.control(0x40, 0x09, 2, 0, 0, req), 0);
        ASSERT_EQ(chip.control(0x40, 0x06, c.eventChar, 0, 0, req), 0);
        std::vector<uint8_t> line(70, 'a');
        line[c.at - 1] = 'K';
        chip.fromLine(line.data(), line.size(), 1000);
        const std::string what = std::to_string(c.eventChar) + " at " + std::to_string(c.at);
        EXPECT_EQ(chip.inDueUs(4096) == 0, c.dueAtOnce) << what;
        std::vector<uint8_t> buf(4096);
        EXPECT_EQ(chip.fillIn(buf.data(), 4096, 5000), c.filled) << what;
        EXPECT_EQ(chip.buffered(), c.left) << what;
    }
}

TEST(Ft232rChip, VendorRequestsAreDecoded) {
    struct Case {
        uint8_t type, request;
        uint16_t value, index, length;
        int result;  // bytes moved, or -EPIPE
        ChipRequest::Kind kind;
        uint32_t decoded;
        std::vector<uint8_t> data;  // what an IN request gives
    };
    const Case cases[] = {
        {0x40, 0x03, 0x8003, 0, 0, 0, ChipRequest::BaudRate, 923077, {}},
        {0x40, 0x03, 0x001A, 0, 0, 0, ChipRequest::BaudRate, 115385, {}},
        {0x40, 0x03, 0x4138, 0, 0, 0, ChipRequest::BaudRate, 9600, {}},
        {0x40, 0x03, 0x0001, 0, 0, 0, ChipRequest::BaudRate, 2'000'000, {}},
        {0x40, 0x03, 0xC00D, 1, 0, 0, ChipRequest::BaudRate, 24'000'000 / (13 * 8 + 7), {}},  // the fraction's top bit in wIndex
        {0x40, 0x06, 0x0111, 0, 0, 0, ChipRequest::EventChar, 0x111, {}},  // XON, enabled
        {0x40, 0x07, 0x0000, 0, 0, 0, ChipRequest::ErrorChar, 0x000, {}},
        {0xC0, 0x05, 0, 0, 2, 2, ChipRequest::PollModemStatus, 0, {0x01, 0x60}},
        {0xC0, 0x0A, 0, 0, 1, 1, ChipRequest::LatencyGet, 16, {16}},
        {0x40, 0x42, 0, 0, 0, -EPIPE, ChipRequest::Stalled, 0x42, {}},
    };
    for (const Case& c : cases) {
        Ft232rChip chip({});
        uint8_t data[8] = {};
        const std::string what = "request " + std::to_string(c.request) + " value " + std::to_string(c.value);
        EXPECT_EQ(chip.control(c.type, c.request, c.value, c.index, c.length, data), c.result) << what;
        ASSERT_EQ(chip.requests().size(), 1u) << what;
        EXPECT_EQ(chip.requests()[0].kind, c.kind) << what;
        EXPECT_EQ(chip.requests()[0].value, c.decoded) << what;
        EXPECT_EQ(std::vector<uint8_t>(data, data + c.data.size()), c.data) << what;
    }
}
