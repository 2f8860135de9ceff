#include <gtest/gtest.h>

#include "cli/Cli.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

using qjt::ScratchDir;

namespace {
int qjig(std::vector<std::string> args, std::string& out) {
    const qjt::CliRun r = qjt::runQjig(std::move(args));
    out = r.out;
    return r.status;
}
}  // namespace

TEST(CliEdid, ReadThenWriteBackThroughTheVirtualEeprom) {
    ScratchDir dir;
    std::string out;
    ASSERT_EQ(qjig({"--sim", "mode=instant", "edid", "read", dir.file("a.bin")}, out), qj::cli::kOk);
    EXPECT_NE(out.find("Save the file: \n" + dir.file("a.bin") + "\n"), std::string::npos);
    auto img = qjt::readBytes(dir.file("a.bin"));
    ASSERT_EQ(img.size(), 256u);
    img[200] = 0x5A;
    qjt::writeBytes(dir.file("b.bin"), img);
    ASSERT_EQ(qjig({"--sim", "mode=instant,eeprom-out=" + dir.file("c.bin"), "edid", "write", dir.file("b.bin")}, out),
              qj::cli::kOk);
    EXPECT_EQ(qjt::readBytes(dir.file("c.bin")), img);
    EXPECT_EQ(qjig({"--sim", "mode=instant,eeprom-wp=1", "edid", "write", dir.file("b.bin")}, out), qj::cli::kFailed);
    EXPECT_EQ(qjig({"--sim", "mode=instant", "edid", "read"}, out), qj::cli::kMisuse);
}

TEST(CliKeyboard, PrintsEachReportAndThePictureOfTheHitCells) {
    ScratchDir dir;
    std::string out;
    ASSERT_EQ(qjig({"--sim", "mode=instant,keys=1-2@0-100000;31-32@0-100000;3-7@0-100000", "keyboard", "scan",
                    "--reports", "3", "--hide-after", "1", "--no-buzzer"},
                   out),
              qj::cli::kOk);
    EXPECT_NE(out.find("report 1: 1-2 31-32 3-7\n"), std::string::npos);
    EXPECT_NE(out.find("report 3: 1-2 31-32 3-7   (hidden)\n"), std::string::npos);
    EXPECT_NE(out.find("  1 H... ..... ..... ..... ..... ..... ..\n"), std::string::npos);
    EXPECT_NE(out.find("  3   .. .H... ..... ..... ..... ..... ..\n"), std::string::npos);
    EXPECT_NE(out.find(" 31                                     H\n"), std::string::npos);
    EXPECT_NE(out.find("status: Press start scan\n"), std::string::npos);
    EXPECT_EQ(qjig({"--sim", "mode=instant,keyboard-delay=700", "keyboard", "scan", "--reports", "1"}, out),
              qj::cli::kFailed);
    EXPECT_NE(out.find("status: Device not found\n"), std::string::npos);
}
