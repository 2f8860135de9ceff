#include <gtest/gtest.h>

#include "core/ite/IteRig.h"
#include "support/CliRun.h"

namespace {

using itet::kBoard;
using itet::kBoard192;

bool has(const std::string& out, const std::string& line) { return out.find(line + "\n") != std::string::npos; }

TEST(IteCli, BoardsAndMisuse) {
    qjt::ScratchDir dir;
    qjt::writeFile(qj::ite::kWiringFile, kBoard + "\n" + kBoard192 + "\n");
    const std::string sim = "jig=ITE2_PROJ_Q37,mode=instant";
    const auto boards = qjt::runQjig({"--sim", sim, "ite", "boards"});
    EXPECT_EQ(boards.status, 0);
    EXPECT_EQ(boards.out, "1: " + kBoard + "\n2: " + kBoard192 + "\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"read", "x.bin"},                                         // no board
             {"read", "x.bin", "--board", "3"},                         // no such line
             {"read", "x.bin", "--board", "Board"},                     // two lines match
             {"read", "x.bin", "--board", "1", "--chip-erase"},         // a read erases nothing
             {"write", "x.bin", "--board", "external", "--reversed"}}) {  // the external board has its own table
        std::vector<std::string> a = {"--sim", sim, "ite"};
        a.insert(a.end(), args.begin(), args.end());
        EXPECT_EQ(qjt::runQjig(a).status, 2) << args.back();
    }
}

// Each run applies the settings and checks the connection before its transfer;
// the virtual chip's flash travels from one run to the next through a file.
TEST(IteCli, WriteThenReadTurnedOverThroughTheExternalBoard) {
    qjt::ScratchDir dir;
    qjt::writeFile(qj::ite::kWiringFile, kBoard + "\n");
    const auto image = itet::randomImage(131072, 5);
    qjt::writeBytes(dir.file("in.bin"), image);
    const std::string wiring = "jig=ITE2_PROJ_Q37,mode=instant,ite-board=" + kBoard + ",ite-reversed=1";
    const auto w = qjt::runQjig({"--sim", wiring + ",ite-flash-out=chip.bin", "--lang", "ru", "ite", "write", "in.bin",
                                 "--board", "Y2", "--reversed", "--chip-erase"});
    EXPECT_EQ(w.status, 0) << w.out;
    EXPECT_TRUE(has(w.out, "Данные совпадают!"));
    EXPECT_FALSE(has(w.out, "The data is the same!"));
    EXPECT_EQ(qjt::readBytes(dir.file("chip.bin")), image);

    // Without --reversed the turned-over cable reaches nothing.
    const auto straight = qjt::runQjig({"--sim", wiring, "ite", "read", "x.bin", "--board", "1"});
    EXPECT_EQ(straight.status, 1);
    EXPECT_TRUE(has(straight.out, "ITE we do not respond, check the connection and settings. MB powered? (00)"));

    const auto r = qjt::runQjig(
        {"--sim", "jig=ITE2_PROJ_Q37,mode=instant,ite-ext=1-2,ite-flash=chip.bin", "ite", "read", "out.bin", "--board",
         "external"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, "External board connected! (1-2)"));
    EXPECT_EQ(qjt::readBytes(dir.file("out.bin")), image);

    // The technician's checks ride on the same steps: two reads that agree, a verify.
    const std::string ext = "jig=ITE2_PROJ_Q37,mode=instant,ite-ext=1-2,ite-flash=chip.bin";
    const auto twice = qjt::runQjig({"--sim", ext, "ite", "read", "twice.bin", "--board", "external", "--twice"});
    EXPECT_EQ(twice.status, 0) << twice.out;
    EXPECT_TRUE(has(twice.out, "The two reads are equal.")) << twice.out;
    EXPECT_EQ(qjt::readBytes(dir.file("twice.bin")), image);
    auto other = image;
    other[0x1234] ^= 0x80;
    qjt::writeBytes(dir.file("other.bin"), other);
    const auto v = qjt::runQjig({"--sim", ext, "ite", "verify", "other.bin", "--board", "external"});
    EXPECT_EQ(v.status, 1);
    EXPECT_TRUE(has(v.out, "Verify: the target differs from other.bin: first difference at 0x001234, 1 byte differ."))
        << v.out;
}

}  // namespace
