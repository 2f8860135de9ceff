// --device SERIAL: one jig of several on one bench.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "jig/ftdi/Backends.h"
#include "jig/ftdi/OneDeviceFtdi.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

using qjt::Env;

// The "# open N" lines of a trace: the devices the run opened, by the backend's own index.
std::vector<std::string> opens(const std::string& trace) {
    std::vector<std::string> out;
    for (size_t at = trace.find("# open "); at != std::string::npos; at = trace.find("# open ", at + 1))
        out.push_back(trace.substr(at, trace.find('\n', at) - at));
    return out;
}

// Open-and-identify tries every device from the last one down; with --device
// it opens only the chosen one, whichever backend lists it. Start and the
// mode windows go through the same list.
TEST(DeviceChoice, OnlyTheChosenDeviceIsOpened) {
    qjt::ScratchDir dir;
    Env lib("QJIG_D2XX_LIBRARY", QJ_FAKE_D2XX);
    Env d2xxSim("QJ_FAKE_D2XX_SIM", "jig=ENE_EDID_KB,devices=3,jig-index=1");
    const std::string sim = "jig=ENE_EDID_KB,devices=3,jig-index=1,mode=instant";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;  // part of stdout
        std::vector<std::string> opened;
    } cases[] = {
        {{"--sim", sim, "identify"}, 0, "ENE_EDID_KB\n", {"# open 2", "# open 1"}},
        {{"--sim", sim, "--device", "QJ000002", "identify"}, 0, "ENE_EDID_KB\n", {"# open 1"}},
        {{"--sim", sim, "--device=QJ000003", "identify"}, 1, "FTDI found, ERROR answer\n", {"# open 2"}},
        {{"--sim", sim, "--device", "QJ000002", "start", "ITE"}, 0, "-> TITE_FORM\n", {"# open 1"}},
        {{"--sim", sim, "--device", "QJ000002", "edid", "read", "e.bin"}, 0, "checksum: 256 bytes", {"# open 1"}},
        {{"--backend", "d2xx", "--device", "QJ000002", "identify"}, 0, "ENE_EDID_KB\n", {"# open 1"}},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& a : c.args) shown += a + " ";
        SCOPED_TRACE(shown);
        std::filesystem::remove("t.txt");
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), {"--trace", "t.txt"});
        const auto r = qjt::runQjig(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_EQ(opens(qjt::readFile("t.txt")), c.opened);
    }
    // `devices` shows the chosen device only, at its place in the backend's list.
    const auto listed = qjt::runQjig({"--sim", sim, "--device", "QJ000002", "devices"});
    EXPECT_EQ(listed.out,
              "backend  index  description                     serial\n"
              "sim      1      Quillmore JIG                   QJ000002\n");
}

TEST(DeviceChoice, ASerialThatIsNotAttachedIsMisuseNamingTheAttachedOnes) {
    qjt::ScratchDir dir;
    struct Case {
        std::vector<std::string> args;
        std::string said;
    } cases[] = {
        {{"--sim", "devices=2,mode=instant", "--device", "QJ000003", "identify"},
         "--device QJ000003: no device with this serial is attached (attached: QJ000001, QJ000002)"},
        {{"--sim", "devices=0", "--device", "QJ000001", "start", "EDID lcd"},
         "no device with this serial is attached (attached: none)"},
        {{"--sim", "devices=2", "--device", "QJ000003", "devices"}, "(attached: QJ000001, QJ000002)"},
        {{"--sim", "devices=2", "--device", "", "identify"}, "--device needs a value"},
        // Two bridges with the same serial (cheap copies of the chip carry one).
        {{"--sim", "devices=3,serials=A50285BI;A50285BI", "--device", "A50285BI", "identify"},
         "2 devices carry this serial and cannot be told apart (attached: A50285BI, A50285BI, QJ000003)"},
    };
    for (const Case& c : cases) {
        const auto r = qjt::runQjig(c.args);
        EXPECT_EQ(r.status, qj::cli::kMisuse) << c.said;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.said;
    }
    EXPECT_FALSE(std::filesystem::exists("Start_log.txt"));

    // A device list that changes under the program: an unplugged device is
    // simply not there, and twins are never guessed between.
    auto sim = qjt::makeSim("jig=ENE_EDID_KB,devices=2,jig-index=1");
    qj::sim::SimFtdi* raw = sim.get();
    qj::OneDeviceFtdi one(std::move(sim), "QJ000002");
    uint32_t n = 9;
    ASSERT_EQ(one.CreateDeviceInfoList(n), qj::FT_OK);
    EXPECT_EQ(n, 1u);
    raw->unplug(1);
    ASSERT_EQ(one.CreateDeviceInfoList(n), qj::FT_OK);
    EXPECT_EQ(n, 0u);
    qj::FT_HANDLE h = nullptr;
    EXPECT_EQ(one.Open(0, h), qj::FT_DEVICE_NOT_FOUND);
    qj::OneDeviceFtdi twins(qjt::makeSim("devices=2,serials=A50285BI;A50285BI"), "A50285BI");
    ASSERT_EQ(twins.CreateDeviceInfoList(n), qj::FT_OK);
    EXPECT_EQ(n, 0u);
}

// Two technicians, two jigs, two copies of qjig at the same time: each reads
// its own jig's chip.
TEST(DeviceChoice, TwoProcessesWorkTwoJigsAtOnce) {
    qjt::ScratchDir dir;
    struct Run {
        std::string spec, serial, name;
        qjt::ProcessRun ran;
    } runs[] = {
        {"jig=ENE_EDID_KB,devices=2,jig-index=0,mode=instant,ene-pattern=counter", "QJ000001", "a", {}},
        {"jig=ENE_EDID_KB,devices=2,jig-index=1,mode=instant,ene-pattern=random", "QJ000002", "b", {}},
    };
    std::vector<std::thread> both;
    for (Run& r : runs)
        both.emplace_back([&r] {
            r.ran = qjt::runQjigProcess(
                {"--sim", r.spec, "--device", r.serial, "--trace", r.name + ".trace", "ene", "read", r.name + ".bin"}, 60);
        });
    for (auto& t : both) t.join();
    for (const Run& r : runs) EXPECT_EQ(r.ran.status, 0) << r.name << ": " << r.ran.out << r.ran.err;
    // Each opened its own device only, and the two dumps are the two chips'.
    EXPECT_EQ(opens(qjt::readFile("a.trace")), std::vector<std::string>{"# open 0"});
    EXPECT_EQ(opens(qjt::readFile("b.trace")), std::vector<std::string>{"# open 1"});
    const auto a = qjt::readBytes("a.bin"), b = qjt::readBytes("b.bin");
    EXPECT_EQ(a.size(), 131072u);
    EXPECT_EQ(b.size(), 131072u);
    EXPECT_NE(a, b);
}

}  // namespace
