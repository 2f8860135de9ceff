// The fault decorator: the Nth call of a kind fails and no other, on whatever
// backend wears it; and a slice of the fault sweep through it on the sim
// backend and on the tty backend (a pseudo-terminal with qjig-sim). The same
// slice runs on the libftdi backend in usb_tests.
#include <gtest/gtest.h>

#include <functional>

#include "core/tty/TtySupport.h"
#include "jig/ftdi/FaultFtdi.h"
#include "support/FaultSlice.h"
#include "support/TestSupport.h"

using namespace qj;

TEST(FaultFtdi, TheNthCallOfItsKindFailsAndNoOther) {
    struct Case {
        const char* plan;
        FT_STATUS failure;
        std::function<FT_STATUS(FtdiApi&, FT_HANDLE)> call;
        uint32_t hostBytesEach;  // what the jig hears of one call that goes through (the failed one: see `heard`)
        uint32_t heard;          // what the jig hears of the failed call
    };
    const uint8_t four[4] = {'I', 'I', 'I', 'I'};
    auto write = [&](FtdiApi& a, FT_HANDLE h) {
        uint32_t w = 0;
        const FT_STATUS st = a.Write(h, four, 4, w);
        return st == FT_OK && w != 4 ? FT_OTHER_ERROR : st;  // a short write says so by its count
    };
    const Case cases[] = {
        {"write-fail=2", FT_IO_ERROR, write, 4, 0},
        {"write-short=2", FT_OTHER_ERROR, write, 4, 2},
        {"read-fail=2", FT_IO_ERROR, [](FtdiApi& a, FT_HANDLE h) { uint8_t b; uint32_t g; return a.Read(h, &b, 1, g); }, 0, 0},
        {"status-fail=2", FT_IO_ERROR,
         [](FtdiApi& a, FT_HANDLE h) { uint32_t r, t, e; return a.GetStatus(h, r, t, e); }, 0, 0},
        {"purge-fail=2", FT_IO_ERROR, [](FtdiApi& a, FT_HANDLE h) { return a.Purge(h, FT_PURGE_RX | FT_PURGE_TX); }, 0, 0},
        {"baud-fail=2", FT_INVALID_BAUD_RATE, [](FtdiApi& a, FT_HANDLE h) { return a.SetBaudRate(h, 921600); }, 0, 0},
    };
    for (const Case& c : cases) {
        FaultPlan plan;
        std::string err;
        ASSERT_TRUE(FaultPlan::parse(c.plan, plan, err)) << err;
        auto sim = qjt::makeSim("jig=ENE_EDID_KB");
        sim::SimFtdi* jig = sim.get();
        uint32_t n = 0;
        FT_HANDLE h = nullptr;
        ASSERT_EQ(jig->CreateDeviceInfoList(n), FT_OK);
        ASSERT_EQ(jig->Open(0, h), FT_OK);
        jig->SetBaudRate(h, 921600);
        jig->SetDataCharacteristics(h, 8, 0, 0);
        jig->SetTimeouts(h, 10, 10);
        FaultFtdi api(std::move(sim), plan);
        for (int k = 1; k <= 3; ++k) {
            const size_t before = jig->hostBytes().size();
            EXPECT_EQ(c.call(api, h), k == 2 ? c.failure : FT_OK) << c.plan << ", call " << k;
            EXPECT_EQ(jig->hostBytes().size() - before, k == 2 ? c.heard : c.hostBytesEach) << c.plan << ", call " << k;
        }
        api.Close(h);
    }
}

class FaultSliceOnSim : public testing::TestWithParam<qjt::FaultCase> {};

TEST_P(FaultSliceOnSim, EndsCleanly) {
    runFaultCase(GetParam(), {"--sim", GetParam().spec + ",mode=instant"}, 10'000);
}

INSTANTIATE_TEST_SUITE_P(Slice, FaultSliceOnSim, testing::ValuesIn(qjt::faultSlice()),
                         [](const auto& p) { return p.param.name; });

// Through the kernel's tty layer, against the virtual jig in its own process
// at the line rate: real time, so the bound is the operation's longest wait
// and then some.
class FaultSliceOnTty : public testing::TestWithParam<qjt::FaultCase> {};

TEST_P(FaultSliceOnTty, EndsCleanly) {
    qjt::SimProcess jig(GetParam().spec);
    runFaultCase(GetParam(), {"--backend", "tty:" + jig.tty()}, 15'000);
}

INSTANTIATE_TEST_SUITE_P(Slice, FaultSliceOnTty, testing::ValuesIn(qjt::faultSlice()),
                         [](const auto& p) { return p.param.name; });
