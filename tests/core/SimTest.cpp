#include <gtest/gtest.h>

#include "jig/JigLink.h"
#include "sim/SimFtdi.h"
#include "support/TestSupport.h"

using namespace qj;
using qjt::makeSim;

TEST(SimConfig, SpecStringsAndEscapes) {
    sim::SimConfig c("demo,devices=3,ident=A\\,B\\x41\\r");
    EXPECT_EQ(c.str("jig"), "ENE_EDID_KB");
    EXPECT_EQ(c.num("devices", 1), 3);
    EXPECT_EQ(sim::unescape(c.str("ident")), "A,BA\r");
    EXPECT_THROW(sim::SimConfig("nosuchpreset"), std::invalid_argument);
    EXPECT_THROW(sim::SimConfig("devices=x").num("devices", 1), std::invalid_argument);
    EXPECT_THROW(sim::SimFtdi("mode=sometimes"), std::invalid_argument);
    EXPECT_NO_THROW(sim::SimFtdi("demo"));
}

namespace {
FT_HANDLE openJig(sim::SimFtdi& s, uint32_t baud = 921600) {
    uint32_t n = 0;
    s.CreateDeviceInfoList(n);
    FT_HANDLE h = nullptr;
    EXPECT_EQ(s.Open(0, h), FT_OK);
    s.SetBaudRate(h, baud);
    s.SetDataCharacteristics(h, 8, 0, 0);
    s.SetTimeouts(h, 300, 300);
    return h;
}
}  // namespace

TEST(VirtualJig, AnswersOnlyAtItsOwnSpeedAndFrame) {
    auto s = makeSim("jig=ENE_EDID_KB");
    FT_HANDLE h = openJig(*s, 115200);
    uint8_t b = 'B', buf[32];
    uint32_t w = 0, got = 0;
    s->Write(h, &b, 1, w);
    EXPECT_EQ(s->Read(h, buf, 32, got), FT_OK);
    EXPECT_EQ(got, 0u);
    s->SetBaudRate(h, 921600);
    s->SetDataCharacteristics(h, 8, 0, 2);  // even parity: garbage to the jig
    s->Write(h, &b, 1, w);
    s->Read(h, buf, 32, got);
    EXPECT_EQ(got, 0u);
    s->SetDataCharacteristics(h, 8, 0, 0);
    s->Write(h, &b, 1, w);
    s->Read(h, buf, 32, got);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), "ENE_EDID_KB");
}

TEST(VirtualJig, ReadReturnsAfterTheLengthOrTheTimeoutAndQueuesCount) {
    auto s = makeSim("jig=ENE_EDID_KB");
    FT_HANDLE h = openJig(*s);
    uint8_t b = 'B', buf[64];
    uint32_t w = 0, got = 0, rx = 0, tx = 0, ev = 0;
    s->Write(h, &b, 1, w);
    s->GetStatus(h, rx, tx, ev);
    EXPECT_EQ(rx, 11u);
    EXPECT_EQ(tx, 0u);
    const int64_t t0 = s->clock().nowMs();
    s->Read(h, buf, 5, got);  // the length has come: no waiting
    EXPECT_EQ(got, 5u);
    EXPECT_LT(s->clock().nowMs() - t0, 5);
    s->Read(h, buf, 64, got);  // fewer than asked: returns after the time-out
    EXPECT_EQ(got, 6u);
    EXPECT_GE(s->clock().nowMs() - t0, 300);
    s->Write(h, &b, 1, w);
    s->Purge(h, FT_PURGE_RX | FT_PURGE_TX);
    s->GetStatus(h, rx, tx, ev);
    EXPECT_EQ(rx, 0u);
}

TEST(VirtualJig, PacedModeMovesBytesAtTheLineRate) {
    sim::SimFtdi s("jig=ENE_EDID_KB,mode=paced");
    FT_HANDLE h = openJig(s);
    std::vector<uint8_t> many(1000, 'I');  // 1000 commands, 1000 one-byte answers
    uint32_t w = 0, rx = 0, tx = 0, ev = 0;
    const int64_t t0 = s.simClock().nowUs();
    s.Write(h, many.data(), 1000, w);
    EXPECT_EQ(s.WaitQueues(h, 1000, false, 5000), FT_OK);
    s.GetStatus(h, rx, tx, ev);
    EXPECT_EQ(rx, 1000u);
    EXPECT_EQ(tx, 0u);
    // 1000 bytes each way at 10 bits a byte and 921600 baud: at least 10.85 ms
    // before the last answer can be in (the answers follow the commands).
    EXPECT_GE(s.simClock().nowUs() - t0, 10850);
}

TEST(VirtualJig, UnplugMakesEveryCallFailAndTheDeviceVanish) {
    auto s = makeSim("jig=ENE_EDID_KB,devices=2,unplug-after=3");
    FT_HANDLE h = openJig(*s);
    uint8_t b[3] = {'I', 'I', 'I'};
    uint32_t w = 0, got = 0, rx = 0, tx = 0, ev = 0;
    EXPECT_EQ(s->Write(h, b, 3, w), FT_OK);
    EXPECT_NE(s->GetStatus(h, rx, tx, ev), FT_OK);
    EXPECT_NE(s->Read(h, b, 1, got), FT_OK);
    EXPECT_NE(s->Write(h, b, 1, w), FT_OK);
    uint32_t n = 0;
    s->CreateDeviceInfoList(n);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(s->Close(h), FT_OK);
}

TEST(VirtualJig, UnknownCommandIsALoudError) {
    auto s = makeSim("jig=V42_Q37");
    FT_HANDLE h = openJig(*s);
    uint8_t b = 0xA5;
    uint32_t w = 0;
    testing::internal::CaptureStderr();
    s->Write(h, &b, 1, w);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(s->errors().size(), 1u);
    EXPECT_NE(err.find("unknown command 0xA5"), std::string::npos);
}
