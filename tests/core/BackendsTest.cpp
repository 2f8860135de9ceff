#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "cli/Cli.h"
#include "jig/JigLink.h"
#include "jig/ftdi/Backends.h"
#include "jig/ftdi/D2xxFtdi.h"
#include "jig/ftdi/TtyFtdi.h"
#include "sim/SimFtdi.h"
#include "support/TestSupport.h"

using namespace qj;

using qjt::Env;

TEST(D2xxFtdi, LoadsTheLibraryAtRunTimeAndDrivesTheJigThroughIt) {
    Env spec("QJ_FAKE_D2XX_SIM", "jig=ENE_EDID_KB,devices=2,jig-index=0");
    D2xxFtdi api({"/nonexistent/libftd2xx.so", QJ_FAKE_D2XX});
    ASSERT_TRUE(api.available()) << api.whyUnavailable();
    EXPECT_EQ(api.libraryName(), QJ_FAKE_D2XX);
    uint32_t n = 0;
    ASSERT_EQ(api.CreateDeviceInfoList(n), FT_OK);
    ASSERT_EQ(n, 2u);
    FtDeviceInfo info;
    ASSERT_EQ(api.GetDeviceInfo(0, info), FT_OK);
    EXPECT_EQ(info.description, "Quillmore JIG");
    EXPECT_EQ(info.serial, "QJ000001");

    JigLink link(api);
    std::vector<std::string> lines;
    link.open(OpenOptions::mainWindowOptions("CLOSE FTDI Handle"), [&](const std::string& s) { lines.push_back(s); });
    EXPECT_EQ(link.ident(), "ENE_EDID_KB");
    // Linux has no driver version call: the library's version is logged.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "FT_GetDriverVersion OK    (66600)"), lines.end());
}

namespace {
// The fake library loaded and its first device open.
void openFirst(D2xxFtdi& api, FT_HANDLE& h) {
    ASSERT_TRUE(api.available()) << api.whyUnavailable();
    uint32_t n = 0;
    ASSERT_EQ(api.CreateDeviceInfoList(n), FT_OK);
    ASSERT_EQ(api.Open(0, h), FT_OK);
}
}  // namespace

// FT_SetChars goes through the library to the jig's bridge, which refuses it
// where the path has none.
TEST(D2xxFtdi, SetsTheEventCharacterThroughTheLibrary) {
    for (const auto& [keys, status] :
         {std::pair<const char*, FT_STATUS>{"", FT_OK}, std::pair<const char*, FT_STATUS>{",usb-chars=off", FT_NOT_SUPPORTED}}) {
        SCOPED_TRACE(keys);
        Env spec("QJ_FAKE_D2XX_SIM", std::string("jig=ENE_EDID_KB,usb=ft232r") + keys);
        D2xxFtdi api({QJ_FAKE_D2XX});
        FT_HANDLE h = nullptr;
        ASSERT_NO_FATAL_FAILURE(openFirst(api, h));
        EXPECT_EQ(api.SetChars(h, 'K', 1, 0, 0), status);
        EXPECT_EQ(api.Close(h), FT_OK);
    }
}

// Waits block on the library's notification (the fake one signals as the
// vendor's does, on a real-time jig). The library says nothing when the device
// goes away; the wait's own look finds it within kQuietLookMs.
TEST(D2xxFtdi, WaitsWakeOnTheLibrarysNotification) {
    static_assert(D2xxFtdi::kQuietLookMs > 300);
    void* lib = ::dlopen(QJ_FAKE_D2XX, RTLD_NOW);
    ASSERT_NE(lib, nullptr);
    auto looks = reinterpret_cast<unsigned long (*)()>(::dlsym(lib, "QJ_FakeD2xxStatusCalls"));
    ASSERT_NE(looks, nullptr);
    struct Case {
        const char* name;
        const char* keys;
        bool ask;  // send the identification request
        uint32_t deadlineMs;
        FT_STATUS status;
        uint32_t rx;
    };
    const Case cases[] = {
        // The answer wakes the wait at once: the jig vanishes 300 ms later, so a
        // wait that slept until its next look would find it gone.
        {"answer", "unplug-at=300", true, 30000, FT_OK, 11},
        // No answer: the wait lasts until its deadline, past a quiet look, and
        // looks at the queues only then (a poll would look every millisecond).
        {"silence", "", false, D2xxFtdi::kQuietLookMs + 200, FT_OK, 0},
        {"unplug", "unplug-at=100", false, 30000, FT_IO_ERROR, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Env spec("QJ_FAKE_D2XX_SIM", std::string("jig=ENE_EDID_KB,mode=paced,") + c.keys);
        D2xxFtdi api({QJ_FAKE_D2XX});
        FT_HANDLE h = nullptr;
        ASSERT_NO_FATAL_FAILURE(openFirst(api, h));
        api.SetBaudRate(h, 921600);
        api.SetDataCharacteristics(h, 8, 0, 0);
        if (c.ask) {
            const uint8_t b = 'B';
            uint32_t w = 0;
            ASSERT_EQ(api.Write(h, &b, 1, w), FT_OK);
        }
        const auto t0 = std::chrono::steady_clock::now();
        const unsigned long looked = looks();
        EXPECT_EQ(api.WaitQueues(h, 11, false, c.deadlineMs), c.status);
        if (c.status == FT_OK && c.rx == 0) {
            EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(c.deadlineMs));
            EXPECT_LE(looks() - looked, 4u);
        }
        uint32_t rx = 0, tx = 0, ev = 0;
        EXPECT_EQ(api.GetStatus(h, rx, tx, ev), c.status);
        EXPECT_EQ(rx, c.rx);
        EXPECT_EQ(api.Close(h), FT_OK);
    }
    ::dlclose(lib);
}

TEST(D2xxFtdi, WithoutTheLibraryTheBackendIsUnavailable) {
    for (const std::vector<std::string>& names :
         {std::vector<std::string>{"/nonexistent/libftd2xx.so"}, std::vector<std::string>{"libm.so.6"}}) {
        D2xxFtdi api(names);
        EXPECT_FALSE(api.available());
        EXPECT_FALSE(api.whyUnavailable().empty());
        uint32_t n = 7;
        EXPECT_EQ(api.CreateDeviceInfoList(n), FT_OK);
        EXPECT_EQ(n, 0u);
        FT_HANDLE h = nullptr;
        EXPECT_NE(api.Open(0, h), FT_OK);
    }
    EXPECT_NE(D2xxFtdi({"libm.so.6"}).whyUnavailable().find("calls missing"), std::string::npos);

    Env lib("QJIG_D2XX_LIBRARY", "/nonexistent/libftd2xx.so");
    BackendOptions o;
    o.backend = "d2xx";
    std::string err;
    if (!D2xxFtdi().available()) {  // the vendor's library may really be installed
        EXPECT_EQ(makeBackend(o, err), nullptr);
        EXPECT_NE(err.find("vendor D2XX library not installed"), std::string::npos) << err;
    }
}

TEST(Backends, AutoTriesTtyThenD2xxThenLibftdi) {
    std::vector<std::string> want{"auto"};
#ifdef __linux__
    want.push_back("tty");
#endif
    want.push_back("d2xx");
#ifdef QJ_HAVE_LIBFTDI1
    want.push_back("libftdi");
#endif
    want.push_back("sim");
    EXPECT_EQ(backendNames(), want);

    // The first backend that lists a device wins; unavailable ones and empty
    // ones are passed over, later ones are not even built.
    std::vector<std::string> built;
    FtdiApi* withDevices = nullptr;
    auto cand = [&](std::string name, int kind) {
        return BackendCandidate{name, [&, name, kind](std::string& why) -> std::unique_ptr<FtdiApi> {
                                    built.push_back(name);
                                    if (kind == 0) return std::make_unique<NoDevicesFtdi>(name);
                                    if (kind == 1) return why = "absent", nullptr;
                                    auto s = qjt::makeSim("jig=ENE_EDID_KB");
                                    withDevices = s.get();
                                    return s;
                                }};
    };
    auto api = firstWithDevices({cand("tty", 0), cand("d2xx", 1), cand("libftdi", 2), cand("later", 2)});
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(api.get(), withDevices);
    EXPECT_EQ(built, (std::vector<std::string>{"tty", "d2xx", "libftdi"}));
    EXPECT_EQ(firstWithDevices({cand("tty", 0), cand("d2xx", 1)}), nullptr);

    // With the vendor's library present and no tty device, auto lands on d2xx.
#ifdef __linux__
    if (!findFtdiTtys("/sys", "/dev").empty()) GTEST_SKIP() << "a real FTDI port is attached";
#endif
    Env lib("QJIG_D2XX_LIBRARY", QJ_FAKE_D2XX);
    Env spec("QJ_FAKE_D2XX_SIM", "jig=ENE_EDID_KB");
    BackendOptions o;
    std::string err;
    auto chosen = makeBackend(o, err);
    ASSERT_NE(chosen, nullptr) << err;
    EXPECT_EQ(chosen->backendName(), "d2xx");

    // `qjig devices` under auto lists every backend's devices.
    bool listed = false;
    for (const auto& r : listAllDevices(o)) listed |= r.backend == "d2xx" && r.info.description == "Quillmore JIG";
    EXPECT_TRUE(listed);
}

TEST(Backends, NamesAndPathsOnTheCommandLine) {
    std::vector<std::string> args{"--backend", "tty:/dev/pts/91,/dev/pts/92", "devices"};
    BackendOptions o;
    std::string err;
    ASSERT_TRUE(takeBackendOptions(args, o, err));
    EXPECT_EQ(args, std::vector<std::string>{"devices"});
    auto api = makeBackend(o, err);
#ifdef __linux__
    ASSERT_NE(api, nullptr) << err;
    EXPECT_EQ(api->backendName(), "tty");
    uint32_t n = 0;
    ASSERT_EQ(api->CreateDeviceInfoList(n), FT_OK);
    EXPECT_EQ(n, 2u);
    FtDeviceInfo info;
    api->GetDeviceInfo(1, info);
    EXPECT_EQ(info.location, "/dev/pts/92");
#endif
    for (const char* bad : {"tty:", "bogus", "d2xx:x"}) {
        o.backend = bad;
        err.clear();
        EXPECT_EQ(makeBackend(o, err), nullptr) << bad;
        EXPECT_FALSE(err.empty());
    }
}

#ifdef QJ_HAVE_LIBFTDI1
#include "jig/ftdi/LibFtdi.h"

// No jig needed: the list is consistent and an index past it is refused
// without touching USB.
TEST(LibFtdi, ListsWhatUsbShowsAndRefusesIndexesPastIt) {
    LibFtdi api([](const std::string&) {});
    uint32_t n = 0;
    ASSERT_EQ(api.CreateDeviceInfoList(n), FT_OK);
    for (uint32_t i = 0; i < n; ++i) {
        FtDeviceInfo info;
        EXPECT_EQ(api.GetDeviceInfo(i, info), FT_OK);
        EXPECT_EQ(info.location.rfind("usb ", 0), 0u);
    }
    FtDeviceInfo info;
    EXPECT_EQ(api.GetDeviceInfo(n, info), FT_DEVICE_NOT_FOUND);
    FT_HANDLE h = reinterpret_cast<FT_HANDLE>(1);
    EXPECT_EQ(api.Open(n, h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(h, nullptr);
    uint32_t rx = 0, tx = 0, ev = 0;
    EXPECT_EQ(api.GetStatus(reinterpret_cast<FT_HANDLE>(1), rx, tx, ev), FT_INVALID_HANDLE);
}
#endif

TEST(Backends, DevicesCommandListsBackendIndexDescriptionSerial) {
    testing::internal::CaptureStdout();
    const int st = cli::run({"--sim", "jig=ENE_EDID_KB,devices=2,jig-index=1", "devices"});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(st, cli::kOk);
    EXPECT_EQ(out,
              "backend  index  description                     serial\n"
              "sim      0      FT232R USB UART                 QJ000001\n"
              "sim      1      Quillmore JIG                   QJ000002\n");

    Env lib("QJIG_D2XX_LIBRARY", "/nonexistent/libftd2xx.so");
    testing::internal::CaptureStdout();
    cli::run({"devices"});
    const std::string all = testing::internal::GetCapturedStdout();
    if (!D2xxFtdi().available()) {
        EXPECT_NE(all.find("d2xx     -      (vendor D2XX library not installed"), std::string::npos) << all;
    }
}
