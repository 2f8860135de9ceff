// The libftdi backend on the emulated FT232R: each setting as the chip
// decodes it, and what the tool does when the device misbehaves (unplugged
// mid-read, held by another program, silent while the chip keeps sending its
// status packets).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "jig/ftdi/LibFtdi.h"
#include "support/FaultSlice.h"
#include "support/TestSupport.h"
#include "usb/UsbJig.h"

using namespace qj;
using qj::usb::ChipRequest;

namespace {

int64_t nowMs() { return steadyClock().nowMs(); }

struct Opened {
    explicit Opened(LibFtdi& a) : api(a) {
        uint32_t n = 0;
        EXPECT_EQ(api.CreateDeviceInfoList(n), FT_OK);
        EXPECT_EQ(n, 1u);
        EXPECT_EQ(api.Open(0, h), FT_OK);
    }
    ~Opened() {
        if (h) api.Close(h);
    }
    uint32_t rx() {
        uint32_t r = 0, t = 0, e = 0;
        EXPECT_EQ(api.GetStatus(h, r, t, e), FT_OK);
        return r;
    }
    LibFtdi& api;
    FT_HANDLE h = nullptr;
};

}  // namespace

// A wrong divisor, line code, latency or purge mapping in the backend shows
// here as the chip decodes it.
TEST(UsbLibftdi, EachSettingReachesTheChipAsItMeans) {
    qjt::UsbJig jig("jig=ENE_EDID_KB");
    LibFtdi api([](const std::string&) {});
    uint32_t n = 0;
    ASSERT_EQ(api.CreateDeviceInfoList(n), FT_OK);
    FtDeviceInfo info;
    ASSERT_EQ(api.GetDeviceInfo(0, info), FT_OK);
    EXPECT_EQ(info.description, "FT232R USB UART");
    EXPECT_EQ(info.serial, "QJ232R01");
    Opened o(api);
    using K = ChipRequest::Kind;
    struct Case {
        const char* what;
        std::function<FT_STATUS()> call;
        std::vector<std::pair<K, uint32_t>> want;
    };
    const Case cases[] = {
        {"reset", [&] { return api.ResetDevice(o.h); }, {{K::Reset, 0}}},
        {"921600 baud", [&] { return api.SetBaudRate(o.h, 921600); }, {{K::BaudRate, 923077}}},
        {"115200 baud", [&] { return api.SetBaudRate(o.h, 115200); }, {{K::BaudRate, 115385}}},
        {"3 Mbaud", [&] { return api.SetBaudRate(o.h, 3'000'000); }, {{K::BaudRate, 3'000'000}}},
        {"8N1", [&] { return api.SetDataCharacteristics(o.h, 8, 0, 0); }, {{K::Data, 0x0008}}},
        {"7E2", [&] { return api.SetDataCharacteristics(o.h, 7, 2, 2); }, {{K::Data, 7 | 2 << 8 | 2 << 11}}},
        {"latency 2 ms", [&] { return api.SetLatencyTimer(o.h, 2); }, {{K::LatencySet, 2}}},
        {"latency 16 ms", [&] { return api.SetLatencyTimer(o.h, 16); }, {{K::LatencySet, 16}}},
        {"event character 'K'", [&] { return api.SetChars(o.h, 'K', 1, 0, 0); },
         {{K::EventChar, 0x100 | 'K'}, {K::ErrorChar, 0}}},
        {"event character off", [&] { return api.SetChars(o.h, 'K', 0, 0, 0); }, {{K::EventChar, 'K'}, {K::ErrorChar, 0}}},
        {"purge receive", [&] { return api.Purge(o.h, FT_PURGE_RX); }, {{K::PurgeToHost, 0}}},
        {"purge transmit", [&] { return api.Purge(o.h, FT_PURGE_TX); }, {{K::PurgeToLine, 0}}},
        {"purge both", [&] { return api.Purge(o.h, FT_PURGE_RX | FT_PURGE_TX); },
         {{K::PurgeToLine, 0}, {K::PurgeToHost, 0}}},
    };
    for (const Case& c : cases) {
        const size_t before = jig.usb().requests().size();
        EXPECT_EQ(c.call(), FT_OK) << c.what;
        std::vector<std::pair<K, uint32_t>> got;
        const auto all = jig.usb().requests();
        for (size_t i = before; i < all.size(); ++i) got.emplace_back(all[i].kind, all[i].value);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, c.want) << c.what;
    }

    // A purge of the receive side drops what the jig has sent and the host not read.
    ASSERT_EQ(api.SetBaudRate(o.h, 921600), FT_OK);
    ASSERT_EQ(api.SetDataCharacteristics(o.h, 8, 0, 0), FT_OK);
    ASSERT_EQ(api.SetTimeouts(o.h, 300, 300), FT_OK);
    uint32_t w = 0;
    ASSERT_EQ(api.Write(o.h, reinterpret_cast<const uint8_t*>("B"), 1, w), FT_OK);
    ASSERT_EQ(api.WaitQueues(o.h, 11, false, 2000), FT_OK);
    ASSERT_EQ(o.rx(), 11u);
    ASSERT_EQ(api.Purge(o.h, FT_PURGE_RX), FT_OK);
    EXPECT_EQ(o.rx(), 0u);
}

// The jig vanishes after 300 of the read's 514 host bytes: the read ends at
// once with the ENE window's loss text, the link is closed, and what is left
// of the dump is not a whole image.
TEST(UsbLibftdi, UnplugMidReadEndsTheReadWithItsLossText) {
    qjt::ScratchDir dir;
    qjt::UsbJig jig("jig=ENE_EDID_KB,kestra=1-2,unplug-after=300");
    const int64_t t0 = nowMs();
    const qjt::CliRun r = qjt::runQjig({"--backend", "libftdi", "--trace", dir.file("trace.txt"), "ene", "read",
                                        dir.file("dump.bin"), "--kestra"});
    const int64_t took = nowMs() - t0;
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("!!! Lost Communication with ENE or timeout !!! "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("checksum: "), std::string::npos) << r.out;
    EXPECT_TRUE(jig.usb().unplugged());
    EXPECT_LT(took, 10'000);
    const auto [opens, closes] = qjt::opensAndCloses(dir.file("trace.txt"));
    EXPECT_EQ(opens, closes);
    const std::string dump = dir.file("dump.bin");
    EXPECT_TRUE(!std::filesystem::exists(dump) || std::filesystem::file_size(dump) < 131072);
}

TEST(UsbLibftdi, InterfaceHeldByAnotherProgramIsSaid) {
    qj::usb::Ft232rOptions opt;
    opt.heldByOther = true;
    qjt::UsbJig jig("jig=ENE_EDID_KB", opt);
    const qjt::CliRun r = qjt::runQjig({"--backend", "libftdi", "identify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "FTDI found, ERROR answer\n");
    EXPECT_NE(r.err.find("libftdi: device 0 (usb 1:2) is held by the kernel's ftdi_sio driver or another program"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(jig.usb().hostBytes(), 0u);
}

// A silent jig: the chip still sends its two status bytes every latency
// period, and libftdi hands back nothing each time. Waits end at their
// deadlines all the same; what the silence costs is printed.
TEST(UsbLibftdi, SilentJigWaitsEndAtTheirDeadlines) {
    qjt::UsbJig jig("jig=none");
    LibFtdi api([](const std::string&) {});
    Opened o(api);
    ASSERT_EQ(api.SetLatencyTimer(o.h, 2), FT_OK);
    ASSERT_EQ(api.SetTimeouts(o.h, 300, 300), FT_OK);
    uint8_t b = 0;
    uint32_t got = 0;
    int64_t t0 = nowMs();
    EXPECT_EQ(api.Read(o.h, &b, 1, got), FT_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(nowMs() - t0, 295);
    EXPECT_LT(nowMs() - t0, 1300);

    const uint64_t packets = jig.usb().statusOnlyPackets();
    rusage r0{}, r1{};
    ::getrusage(RUSAGE_SELF, &r0);
    t0 = nowMs();
    EXPECT_EQ(api.WaitQueues(o.h, 1, false, 500), FT_OK);
    const int64_t took = nowMs() - t0;
    ::getrusage(RUSAGE_SELF, &r1);
    EXPECT_GE(took, 495);
    EXPECT_LT(took, 1500);
    EXPECT_EQ(o.rx(), 0u);
    const uint64_t statusOnly = jig.usb().statusOnlyPackets() - packets;
    EXPECT_GT(statusOnly, 10u);  // the chip kept talking
    auto us = [](const timeval& t) { return int64_t(t.tv_sec) * 1'000'000 + t.tv_usec; };
    const int64_t cpu = us(r1.ru_utime) + us(r1.ru_stime) - us(r0.ru_utime) - us(r0.ru_stime);
    const double share = 100.0 * double(cpu) / double(took * 1000);
    std::printf("silent wait of %lld ms: %llu status-only packets, CPU %.1f %% of one core (the host, libusb and the "
                "emulated chip together)\n",
                static_cast<long long>(took), static_cast<unsigned long long>(statusOnly), share);
    RecordProperty("silent_wait_cpu_percent", std::to_string(share));
}

// The slice of the fault sweep that core_tests runs on the sim and tty
// backends, here on the libftdi backend and the emulated chip.
class FaultSliceOnLibftdi : public testing::TestWithParam<qjt::FaultCase> {};

TEST_P(FaultSliceOnLibftdi, EndsCleanly) {
    qjt::UsbJig jig(GetParam().spec);
    runFaultCase(GetParam(), {"--backend", "libftdi"}, 15'000);
    EXPECT_FALSE(jig.usb().interfaceClaimed());
}

INSTANTIATE_TEST_SUITE_P(Slice, FaultSliceOnLibftdi, testing::ValuesIn(qjt::faultSlice()),
                         [](const auto& p) { return p.param.name; });
