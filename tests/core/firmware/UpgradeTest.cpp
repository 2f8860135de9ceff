#include <gtest/gtest.h>

#include <algorithm>

#include "FirmwareRig.h"
#include "jig/firmware/Bootloader.h"
#include "jig/firmware/IntelHex.h"

using namespace qj;
using fwt::Rig;

namespace {

const std::string kBannerHex = "513337424F4F5420322E310D0A11";  // the virtual bootloader's "Q37BOOT 2.1\r\n" + XON
const std::string kNoBoot = "You did not press the reset button or error response BOOT_loader";

std::vector<std::string> dataLines(const std::vector<std::string>& writes) {
    std::vector<std::string> out;
    for (const auto& w : writes)
        if (w.size() == 44 && w.compare(0, 3, ":10") == 0) out.push_back(w);
    return out;
}

size_t countOf(const std::vector<std::string>& v, const std::string& s) {
    return static_cast<size_t>(std::count(v.begin(), v.end(), s));
}

}  // namespace

TEST(Upgrade, DataLineIsTheStandardRecordWithUpperCaseHexAndOneLineFeed) {
    uint8_t d[16];
    for (int i = 0; i < 16; ++i) d[i] = static_cast<uint8_t>(i);
    auto line = hexDataLine(0x0000, d);
    EXPECT_EQ(std::string(line.begin(), line.end()), ":10000000000102030405060708090A0B0C0D0E0F78\n");
    std::fill(d, d + 16, 0xFF);
    line = hexDataLine(0x17F0, d);
    EXPECT_EQ(std::string(line.begin(), line.end()), ":1017F000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF9\n");
    EXPECT_EQ(line.size(), 44u);
}

TEST(Upgrade, RightFirmwareSendsNoBootCommandAndFlashesNothing) {
    Rig r("jig=ENE_EDID_KB");
    ASSERT_EQ(r.start("EDID lcd"), JigControl::StartOutcome::UpgradeStarted);
    EXPECT_EQ(r.view.lines(), (std::vector<std::string>{"Current version of FW -> ENE_EDID_KB", "User select -> EDID lcd"}));
    EXPECT_EQ(r.writes(), std::vector<std::string>{"B"});
    EXPECT_TRUE(r.view.hasEvent("timer Timer_RUN"));
    EXPECT_TRUE(r.view.hasEvent("show UPDATE_FORM 0"));
    EXPECT_EQ(r.sim->openHandles(), 0u);
    EXPECT_EQ(r.ctl->Timer_RUNTimer(), "EDID_form");
}

TEST(Upgrade, EneJigInModeIteIsFlashedWithTheIteImageAndComesBackAsIte2) {
    Rig r("jig=ENE_EDID_KB");
    ASSERT_EQ(r.start("ITE"), JigControl::StartOutcome::UpgradeStarted);
    NullView quiet;
    const JigImage img = loadJigImageFile(r.prog + modeByItem("ITE")->image, quiet);
    ASSERT_TRUE(img.loaded());
    const std::string path = r.prog + "ITE2_PROJ_Q37.hex";
    const std::vector<std::string> want = {
        "Current version of FW -> ENE_EDID_KB",
        "User select -> ITE",
        "Command go to BOOT ... ",
        kBannerHex,
        "BOOT Q37 connected - Q37BOOT 2.1   ",
        "Update firmware ... ",
        "UPGRADE file loaded to buffer (" + path + ")",
        "Bytes read from file " + std::to_string(qjt::readFile(path).size()),
        "HEX position_buff " + hexNumber(img.end, 4),
        "отправлено EOF корректно",
        "Exit from BOOT and RUN ... ",
    };
    EXPECT_EQ(r.view.lines(), want);

    // "B" and "?" at 921600, then the bootloader's conversation at 115200.
    auto w = r.writes();
    ASSERT_GE(w.size(), 4u);
    EXPECT_EQ(w[0], "B");
    EXPECT_EQ(w[1], "?");
    EXPECT_EQ(w[2], "U");
    EXPECT_EQ(w[3], "pf\n");
    EXPECT_EQ(dataLines(w).size(), img.end / 16 + 1);
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(w[w.size() - 2], ":00000001FF\n");
    EXPECT_EQ(w.back(), "g\n");

    EXPECT_EQ(r.flash().hexImage, img.flash);
    EXPECT_TRUE(r.view.hasEvent("timer Timer_RUN"));
    EXPECT_TRUE(r.view.hasEvent("show UPDATE_FORM 0"));
    EXPECT_FALSE(r.view.hasEvent("enable SpeedButton_UPD_EXIT 1"));
    EXPECT_EQ(r.view.gaugeMaximum(), static_cast<int>(img.end));
    EXPECT_EQ(r.sim->openHandles(), 0u);
    EXPECT_TRUE(r.sim->errors().empty());
    EXPECT_EQ(r.identNow(), "ITE2_PROJ_Q37");
    EXPECT_EQ(r.ctl->Timer_RUNTimer(), "ITE_FORM");
    auto log = r.startLog();
    EXPECT_EQ(log.back(), "Go to application. End.");
}

TEST(Upgrade, SilentDeviceAsksForResetAtOnceAndWaitsFiveSeconds) {
    Rig r("jig=ENE_EDID_KB,wedged=1");
    const int64_t t0 = r.sim->clock().nowMs();
    ASSERT_EQ(r.start("ITE"), JigControl::StartOutcome::UpgradeStarted);
    const int64_t took = r.sim->clock().nowMs() - t0;
    EXPECT_EQ(r.view.lines(),
              (std::vector<std::string>{"Current version of FW -> FTDI found, ERROR answer", "User select -> ITE",
                                        "*** PLEASE PUSH RESET BUTTON ! ***", kNoBoot}));
    EXPECT_TRUE(r.view.hasEvent("timer Timer_5SEC"));
    EXPECT_TRUE(r.view.hasEvent("enable SpeedButton_UPD_EXIT 1"));
    EXPECT_FALSE(r.view.hasEvent("timer Timer_RUN"));
    EXPECT_EQ(r.sim->openHandles(), 0u);
    EXPECT_GE(took, 5000);
    EXPECT_LT(took, 5300 + 300);  // the identify read time-out comes first
}

TEST(Upgrade, SeveralSilentDevicesTellWhichOneTheResetMustBeOn) {
    Rig r("jig=ENE_EDID_KB,wedged=1,devices=3,jig-index=2");
    ASSERT_EQ(r.start("ITE"), JigControl::StartOutcome::UpgradeStarted);
    const std::vector<std::string> notice = {
        "3 FTDI devices, none answered: waiting for the bootloader on device 0.",
        "The JIG must be device 0 (unplug the other FTDI devices otherwise).",
    };
    auto lines = r.view.lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.begin() + 4), notice);
    EXPECT_EQ(lines[4], "*** PLEASE PUSH RESET BUTTON ! ***");
    const auto log = r.startLog();
    const auto at = std::find(log.begin(), log.end(), "ReadThread_UPD start ... ");
    ASSERT_GE(at - log.begin(), 2);
    EXPECT_EQ(std::vector<std::string>(at - 2, at), notice);
    // One device: nothing to tell.
    Rig one("jig=ENE_EDID_KB,wedged=1");
    one.start("ITE");
    EXPECT_EQ(countOf(one.view.lines(), notice[1]), 0u);
}

TEST(Upgrade, SilentDeviceFlashedOnceTheUserPressesReset) {
    Rig r("jig=ENE_EDID_KB,wedged=1,reset-after=2500");
    r.start("NUVOTON spi");
    auto lines = r.view.lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[2], "*** PLEASE PUSH RESET BUTTON ! ***");
    EXPECT_EQ(lines[3], kBannerHex);
    EXPECT_EQ(lines.back(), "Exit from BOOT and RUN ... ");
    EXPECT_EQ(r.identNow(), "NPCE_Q37");
}

TEST(Upgrade, ApplicationIgnoringBootCommandGetsTheFaultLineAndResetStillWorks) {
    Rig r("jig=ENE_EDID_KB,no-boot-entry=1,reset-after=3000");
    r.start("MEC jtag");
    auto lines = r.view.lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[2], "Command go to BOOT ... ");
    EXPECT_EQ(lines[3], "*** FAULT ANSWER. PLEASE push reset button ***");
    EXPECT_EQ(lines[4], kBannerHex);
    EXPECT_EQ(lines.back(), "Exit from BOOT and RUN ... ");
    EXPECT_EQ(r.identNow(), "V42_Q37");
}

TEST(Upgrade, BannerWhoseLastByteComesOnTheThirdReadTryIsTaken) {
    Rig r("jig=ENE_EDID_KB,boot-xon-delay=700");  // reads of 300 ms: tries 1 and 2 see nothing
    r.start("ITE");
    auto lines = r.view.lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[3], kBannerHex);
    EXPECT_EQ(countOf(lines, "*** PLEASE PUSH RESET BUTTON ! ***"), 0u);
    EXPECT_EQ(lines.back(), "Exit from BOOT and RUN ... ");
}

TEST(Upgrade, ImageEndingAt0x0123GoesAsNineteenLinesTheLastFor0x0120) {
    Rig r("jig=ITE2_PROJ_Q37");
    std::vector<uint8_t> img = fwt::namedImage("ENE_EDID_KB", 0x124);
    img[0x40] = img[0x41] = 0xFF;
    std::fill(img.begin() + 0x50, img.begin() + 0x60, 0xFF);  // a block of 0xFF inside: sent all the same
    r.putFile("ENE_EDID_KB.hex", fwt::hexOf(img));
    r.start("ENE KB90XX");
    auto lines = dataLines(r.writes());
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines.back().substr(0, 9), ":10012000");
    EXPECT_EQ(lines[5].substr(0, 9 + 32), ":10005000" + std::string(32, 'F'));
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].substr(3, 4), hexNumber(static_cast<uint32_t>(i * 16), 4));
    EXPECT_TRUE(r.view.hasLine("HEX position_buff 0123"));
    EXPECT_EQ(r.view.gaugeMaximum(), 0x123);
    EXPECT_EQ(r.view.gaugePosition(), 0x130);
    EXPECT_EQ(r.identNow(), "ENE_EDID_KB");
}

TEST(Upgrade, RefusedLineStopsFlashingButStillStartsTheApplication) {
    Rig r("jig=ENE_EDID_KB,boot-refuse-line=3");
    r.start("ITE");
    auto lines = r.view.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "ERROR FW upgrade!");
    EXPECT_EQ(lines.back(), "Flashing Q37 error!");
    auto w = r.writes();
    EXPECT_EQ(dataLines(w).size(), 3u);
    EXPECT_EQ(countOf(w, ":00000001FF\n"), 0u);
    EXPECT_EQ(w.back(), "g\n");
    EXPECT_TRUE(r.view.hasEvent("enable SpeedButton_UPD_EXIT 1"));
    EXPECT_FALSE(r.view.hasEvent("timer Timer_RUN"));
    EXPECT_FALSE(r.view.hasEvent("show UPDATE_FORM 0"));
    EXPECT_EQ(r.sim->openHandles(), 0u);
    EXPECT_EQ(r.sim->jigFirmware(), "wedged");  // half-written: it takes the reset button again
}

TEST(Upgrade, BootloaderThatNeverAnswersEndsAfterFiveSeconds) {
    Rig r("jig=ENE_EDID_KB,boot-silent=1");
    const int64_t t0 = r.sim->clock().nowMs();
    r.start("ITE");
    const int64_t took = r.sim->clock().nowMs() - t0;
    auto lines = r.view.lines();
    EXPECT_EQ(lines.back(), kNoBoot);
    EXPECT_EQ(countOf(lines, "*** FAULT ANSWER. PLEASE push reset button ***"), 0u);  // "!" came
    EXPECT_GE(took, 5000);
    EXPECT_LT(took, 6000);
    EXPECT_TRUE(r.view.hasEvent("enable SpeedButton_UPD_EXIT 1"));
    EXPECT_EQ(r.sim->openHandles(), 0u);
    // While it waited it sent "U" once per slice, not in a tight loop.
    const auto w = r.writes();
    const size_t us = countOf(w, "U");
    EXPECT_GT(us, 100u);
    EXPECT_LE(us, 5000u / BootDeadlines::kWakeSliceMs + 1);
}

TEST(Upgrade, ImageProblemsEndWithExitAndTheApplicationStarted) {
    struct Case {
        const char* what;
        bool removeImage;
        std::string content;
        std::vector<std::string> tail;
    };
    const std::vector<Case> cases = {
        {"missing", true, "", {"Update firmware ... ", "<not found>"}},
        {"badly formed", false, ":10000000\r\n", {"Wrong file format!", "Error format .hex file for Q37!"}},
    };
    for (const auto& c : cases) {
        Rig r("jig=ENE_EDID_KB");
        if (c.removeImage) std::filesystem::remove(r.prog + "ITE2_PROJ_Q37.hex");
        else r.putFile("ITE2_PROJ_Q37.hex", c.content);
        r.start("ITE");
        auto lines = r.view.lines();
        ASSERT_GE(lines.size(), 2u) << c.what;
        std::vector<std::string> tail(lines.end() - 2, lines.end());
        std::vector<std::string> want = c.tail;
        if (want[1] == "<not found>")
            want[1] = "Not found .hex file -> " + r.prog + "ITE2_PROJ_Q37.hex for Q37 in the program folder (looked in " +
                      r.prog + ", " + r.scratch.userFirmwareDir() + ")";
        EXPECT_EQ(tail, want) << c.what;
        auto w = r.writes();
        EXPECT_EQ(w.back(), "g\n") << c.what;
        EXPECT_EQ(countOf(w, "pf\n"), 0u) << c.what;
        EXPECT_TRUE(r.view.hasEvent("enable SpeedButton_UPD_EXIT 1")) << c.what;
        EXPECT_EQ(r.sim->openHandles(), 0u) << c.what;
        EXPECT_EQ(r.identNow(), "ENE_EDID_KB") << c.what;  // nothing was written: the old application runs
    }
}

TEST(Upgrade, JigLostWhileFlashingEndsAsAFlashingError) {
    Rig r("jig=ENE_EDID_KB,unplug-after=400");
    const int64_t t0 = r.sim->clock().nowMs();
    r.start("ITE");
    auto lines = r.view.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "ERROR FW upgrade!");
    EXPECT_EQ(lines.back(), "Flashing Q37 error!");
    EXPECT_TRUE(r.view.hasEvent("enable SpeedButton_UPD_EXIT 1"));
    EXPECT_EQ(r.sim->openHandles(), 0u);
    EXPECT_LT(r.sim->clock().nowMs() - t0, 10000);
}
