#include <gtest/gtest.h>

#include "cli/Cli.h"
#include "modes/ene/EneWiring.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

using Ran = qjt::CliRun;
Ran qjig(std::vector<std::string> args) { return qjt::runQjig(std::move(args)); }

TEST(EneCli, WiringPrintsTheHint) {
    qjt::ScratchDir dir;
    qjt::writeFile(qj::ene::kWiringFile,
                   "Alpha 1 KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\nAlpha 2 KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=20\n");
    const std::string sim = "jig=ENE_EDID_KB,mode=instant";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"--board", "1", "--cable", "18"}, 0, "Please connect GND and:  A7 B8 C9 D10 E11\n"},
        {{"--board", "Alpha 1", "--cable", "18", "--reversed"}, 0, "Please connect GND and:  A12 B11 C10 D9 E8\n"},
        {{"--board", "2", "--cable", "18"}, 1, "Please select big pins FFC!\n"},
        {{"--board", "Alpha", "--cable", "18"}, 2, ""},  // two boards match
        {{"--board", "3", "--cable", "18"}, 2, ""},
        {{"--board", "1", "--cable", "19"}, 2, ""},
        {{"--board", "1"}, 2, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--sim", sim, "ene", "wiring"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Ran r = qjig(args);
        EXPECT_EQ(r.status, c.status) << c.args[1];
        EXPECT_EQ(r.out, c.out) << c.args[1];
    }
}

TEST(EneCli, WriteThenReadThroughTheAdapter) {
    qjt::ScratchDir dir;
    std::vector<uint8_t> image(131072);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
    qjt::writeBytes(dir.file("in.bin"), image);
    const std::string sim = "jig=ENE_EDID_KB,mode=instant,kestra=1-2,flash-out=" + dir.file("chip.bin");
    const Ran w = qjig({"--sim", sim, "ene", "write", "in.bin", "--kestra"});
    EXPECT_EQ(w.status, 0) << w.out;
    EXPECT_NE(w.out.find("!box information:  Please connect\\n B13 C14 D17 E12 \\n then  READ or WRITE!\n"),
              std::string::npos);
    EXPECT_NE(w.out.find("!!! Data is written correctly !!! \n"), std::string::npos);
    // The virtual chip's flash is written out when the jig goes away.
    EXPECT_EQ(qjt::readBytes(dir.file("chip.bin")), image);

    const Ran r = qjig({"--sim", "jig=ENE_EDID_KB,mode=instant,flash=chip.bin", "ene", "read", "out.bin"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(qjt::readBytes(dir.file("out.bin")), image);

    const Ran lost = qjig({"--sim", "jig=ENE_EDID_KB,mode=instant,ene-lost-at=2", "ene", "read", "lost.bin"});
    EXPECT_EQ(lost.status, 1);
    EXPECT_NE(lost.out.find("!!! Lost Communication with ENE or timeout !!! \n"), std::string::npos);

    const Ran noAdapter = qjig({"--sim", "jig=ENE_EDID_KB,mode=instant", "ene", "read", "x.bin", "--kestra"});
    EXPECT_EQ(noAdapter.status, 1);
    EXPECT_NE(noAdapter.out.find("KESTRA not found! Connected?"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bin")));
}

}  // namespace
