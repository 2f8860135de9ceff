#include <gtest/gtest.h>

#include <filesystem>

#include "modes/ene/EneWiring.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

TEST(CliMisuse, BadInputExitsTwoNamingWhatWasWrong) {
    qjt::ScratchDir dir;
    qjt::writeFile(qj::ene::kWiringFile, "Alpha 1 KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\n");
    const std::string sim = "mode=instant";
    const std::string huge = "99999999999999999999";
    struct Case {
        std::vector<std::string> args;
        std::string said;  // part of the message on stderr
    } cases[] = {
        {{"--sim", sim, "keyboard", "scan", "--time", huge}, "--time"},
        {{"--sim", sim, "keyboard", "scan", "--reports", huge}, "--reports"},
        {{"--sim", sim, "keyboard", "scan", "--hide-after", "-1"}, "--hide-after"},
        {{"--sim", sim, "ene", "wiring", "--board", huge, "--cable", "18"}, "no board " + huge},
        {{"--sim", sim, "ene", "wiring", "--board", "1", "--cable", huge}, "no " + huge + " pin cable"},
        {{"--sim", "", "identify"}, "--sim"},
        {{"--sim=", "identify"}, "--sim"},
        {{"--sim", sim, "--trace", "", "identify"}, "--trace"},
        {{"--sim", sim, "start", "Please select "}, "choose a mode"},
        {{"--sim", sim, "--fault", "read-fial=3", "identify"}, "unknown fault \"read-fial\""},
        {{"--sim", sim, "--fault", "read-fail=0", "identify"}, "fault read-fail needs the number"},
        {{"--sim", sim, "--fault", "read-fail=2,read-fail=3", "identify"}, "given twice"},
        {{"--sim", sim, "--trace", dir.path().string(), "identify"}, "trace file"},
        {{"--sim", sim, "--trace", dir.file("no/such/dir/t.txt"), "start", "EDID lcd"}, "trace file"},
    };
    for (const auto& c : cases) {
        const auto r = qjt::runQjig(c.args);
        std::string shown;
        for (const auto& a : c.args) shown += "[" + a + "] ";
        EXPECT_EQ(r.status, qj::cli::kMisuse) << shown;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << shown << "\n" << r.err;
        EXPECT_EQ(r.out, "") << shown;  // refused before anything ran
    }
    EXPECT_FALSE(std::filesystem::exists("Start_log.txt"));
}

TEST(CliMisuse, FailedTraceWriteIsReportedAndFailsTheRun) {
    qjt::ScratchDir dir;
    const auto r = qjt::runQjig({"--sim", "jig=ENE_EDID_KB,mode=instant", "--trace", "/dev/full", "identify"});
    EXPECT_EQ(r.out, "ENE_EDID_KB\n");  // the jig's work went on
    EXPECT_NE(r.err.find("cannot write the trace file /dev/full"), std::string::npos) << r.err;
    EXPECT_EQ(r.status, qj::cli::kFailed);
}

}  // namespace
