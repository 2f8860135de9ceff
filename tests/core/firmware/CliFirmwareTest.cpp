#include <gtest/gtest.h>

#include "FirmwareRig.h"
#include "cli/Cli.h"

// qjig runs from the build's bin folder, where the placeholder images lie.

TEST(CliFirmware, StartReflashesAndOpensTheModeWindow) {
    qjt::ScratchDir dir;
    testing::internal::CaptureStdout();
    const int rc = qj::cli::run({"--sim", "jig=ENE_EDID_KB,mode=instant", "start", "ITE"});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("Command go to BOOT ... \n"), std::string::npos) << out;
    EXPECT_NE(out.find("Exit from BOOT and RUN ... \n-> TITE_FORM\n"), std::string::npos) << out;
}

TEST(CliFirmware, StartOnAVersion3JigPromptsForResetWithoutBlocking) {
    qjt::ScratchDir dir;
    testing::internal::CaptureStdout();
    const int rc = qj::cli::run({"--sim", "jig=M328_EPM240_v18,reset-after=800,mode=instant", "start", "MEC jtag"});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("!box information:  Please press the reset button on the JIG!\n"), std::string::npos) << out;
    EXPECT_NE(out.find("UPDATE completed successfully.\n-> TMEC16_Form\n"), std::string::npos) << out;
}

TEST(CliFirmware, HexPrintsTheDecodeLogEndAndOutcome) {
    qjt::ScratchDir dir;
    qjt::writeFile(dir.file("a.hex"), fwt::record(0x0120, 0, {1, 2, 3, 4}) + fwt::eofRecord());
    qjt::writeFile(dir.file("b.hex"), fwt::record(0, 4, {0, 0}) + fwt::eofRecord());
    testing::internal::CaptureStdout();
    const int ok = qj::cli::run({"hex", dir.file("a.hex")});
    const int bad = qj::cli::run({"hex", dir.file("b.hex")});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(bad, 1);
    EXPECT_NE(out.find("HEX position_buff 0123\nend address: 0x0123 (19 lines of 16 bytes)\noutcome: loaded\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Wrong file format!\nat byte 0: record type other than 00 and 01\noutcome: ERROR file format\n"),
              std::string::npos)
        << out;
}
