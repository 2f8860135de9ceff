#include <gtest/gtest.h>

#include <filesystem>

#include "FirmwareRig.h"
#include "cli/Cli.h"
#include "jig/ftdi/Backends.h"

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

// Each file once, with the modes that need it; found beside the program or in
// the user's folder; what it carries, a stand-in said as such; exit 1 for a
// missing file or one the upgrade could not use.
TEST(CliFirmware, ImagesSaysWhereEachFileIsAndWhatItCarries) {
    qjt::ScratchDir dir;
    const std::string prog = dir.file("prog") + "/", user = dir.userFirmwareDir();
    std::filesystem::create_directories(prog);
    std::filesystem::create_directories(user);
    for (const char* f : {"ENE_EDID_KB.hex", "NUVOTON.qjf"}) std::filesystem::copy_file(qjt::binDir() + f, prog + f);
    qjt::writeFile(user + "Q37_jtag.hex", fwt::hexOf(fwt::namedImage("V42_Q37", 0x300)));
    qjt::writeFile(user + "ITE2_PROJ_Q37.hex", fwt::hexOf(fwt::namedImage("NPCE_Q37", 0x300)));  // the wrong one
    qjt::writeFile(prog + "Q37_NPCE288.hex", ":10000000\r\n");
    qjt::writeBytes(user + "M328_EPM240_v19.qjf", fwt::namedImage("M328_EPM240_v19", 0x800));
    qj::NoDevicesFtdi none("none");
    qj::cli::CliContext ctx{none, {}, prog, "auto", "", qj::Lang::En};
    testing::internal::CaptureStdout();
    const int rc = qj::cli::cmdImages(ctx);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 1);
    const std::string standIn = "a stand-in for the virtual jig (refused on a real jig)";
    EXPECT_EQ(out, "ENE_EDID_KB.hex (Keyboard testing, ENE KB90XX, EDID lcd)\n"
                   "  found: " + prog + "ENE_EDID_KB.hex\n"
                   "  identification: ENE_EDID_KB, " + standIn + "\n"
                   "Q37_NPCE288.hex (NUVOTON spi, NUVOTON jtag)\n"
                   "  found: " + prog + "Q37_NPCE288.hex\n"
                   "  cannot be used: ERROR file format at byte 0: record cut off by the end of the file\n"
                   "Q37_jtag.hex (MEC jtag)\n"
                   "  found: " + user + "Q37_jtag.hex\n"
                   "  identification: V42_Q37\n"
                   "ITE2_PROJ_Q37.hex (ITE)\n"
                   "  found: " + user + "ITE2_PROJ_Q37.hex\n"
                   "  identification: none (no \"ITE2\" in it)\n"
                   "M328_EPM240_v19.qjf (MEC jtag on a version 3 jig)\n"
                   "  found: " + user + "M328_EPM240_v19.qjf\n"
                   "  identification: M328_EPM240_v19\n"
                   "NUVOTON.qjf (NUVOTON jtag, its JTAG script)\n"
                   "  found: " + prog + "NUVOTON.qjf\n"
                   "  " + standIn + "\n");
    // Everything in place: exit 0; one missing: exit 1, with where it was looked for.
    qjt::writeFile(prog + "Q37_NPCE288.hex", fwt::hexOf(fwt::namedImage("NPCE_Q37", 0x300)));
    testing::internal::CaptureStdout();
    EXPECT_EQ(qj::cli::cmdImages(ctx), 0);
    std::filesystem::remove(user + "Q37_jtag.hex");
    EXPECT_EQ(qj::cli::cmdImages(ctx), 1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Q37_jtag.hex (MEC jtag)\n  missing (looked in " + prog + ", " +
                                                          user + ")\n"),
              std::string::npos);
}
