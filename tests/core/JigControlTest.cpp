#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "cli/Cli.h"
#include "control/JigControl.h"
#include "jig/Text.h"
#include "support/TestSupport.h"

using namespace qj;
using namespace qjt;

namespace {
struct Rig {
    explicit Rig(const std::string& spec) : sim(makeSim(spec)), ctl(*sim, view, StartLog("Start_log.txt"), binDir()) {}
    ScratchDir dir;
    std::unique_ptr<sim::SimFtdi> sim;
    RecordingView view;
    JigControl ctl;
};
}  // namespace

TEST(JigControl, StartOutcomes) {
    struct Case {
        std::string spec, mode;
        JigControl::StartOutcome want;
        std::string box;
    } cases[] = {
        {"jig=ENE_EDID_KB", "Please select ", JigControl::StartOutcome::Nothing, ""},
        {"devices=0", "EDID lcd", JigControl::StartOutcome::NoJig, "JIG not connected to the USB port!"},
        {"jig=M328_EPM240_v19", "ITE", JigControl::StartOutcome::Version3Refused,
         "Sorry. \nFor JIG version 3 please use programm version 5.XX or higher!"},
        {"jig=M328_EPM240_v19", "MEC jtag", JigControl::StartOutcome::UpgradeStarted, ""},
        {"jig=none,devices=2", "ITE", JigControl::StartOutcome::UpgradeStarted, ""},
        {"jig=ENE_EDID_KB", "EDID lcd", JigControl::StartOutcome::UpgradeStarted, ""},
    };
    for (const auto& c : cases) {
        Rig r(c.spec);
        EXPECT_EQ(r.ctl.start(c.mode), c.want) << c.spec << " " << c.mode;
        r.ctl.waitUpgrade();
        auto boxes = r.view.boxes();
        if (c.box.empty()) {
            EXPECT_TRUE(boxes.empty()) << c.spec;
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, c.box);
        }
        EXPECT_EQ(r.sim->openHandles(), 0u) << c.spec << " " << c.mode;
        if (c.want == JigControl::StartOutcome::Nothing) {
            EXPECT_FALSE(std::filesystem::exists("Start_log.txt"));
        }
    }
}

TEST(JigControl, RightFirmwareArmsTimerRunAndSendsNothingButTheRequest) {
    Rig r("jig=ENE_EDID_KB");
    ASSERT_EQ(r.ctl.start("ENE KB90XX"), JigControl::StartOutcome::UpgradeStarted);
    r.ctl.waitUpgrade();
    EXPECT_EQ(r.view.lines(), (std::vector<std::string>{"Current version of FW -> ENE_EDID_KB",
                                                         "User select -> ENE KB90XX"}));
    EXPECT_TRUE(r.view.hasEvent("timer Timer_RUN"));
    EXPECT_TRUE(r.view.hasEvent("show UPDATE_FORM 0"));
    EXPECT_EQ(r.sim->hostBytes(), std::vector<uint8_t>{'B'});
    EXPECT_EQ(r.ctl.Timer_RUNTimer(), "KB901X_forms");
    const std::string log = readFile("Start_log.txt");
    EXPECT_NE(log.find("ReadThread_UPD start ... \r\nUser select -> ENE KB90XX\r\nGo to application. End.\r\n"),
              std::string::npos);
}

TEST(JigControl, SecondStartWhileTheUpgradeRunsIsIgnored) {
    // A silent jig keeps the upgrade thread waiting for the bootloader.
    Rig r("jig=none");
    ASSERT_EQ(r.ctl.start("ITE"), JigControl::StartOutcome::UpgradeStarted);
    const auto second = r.ctl.start("ITE");
    r.ctl.waitUpgrade();
    if (second != JigControl::StartOutcome::UpgradeStarted) {  // the thread may already have ended
        EXPECT_EQ(second, JigControl::StartOutcome::Busy);
    }
    EXPECT_EQ(r.sim->openHandles(), 0u);
}

TEST(ModeDispatch, EveryItemOpensItsWindow) {
    const std::pair<const char*, const char*> want[] = {
        {"Keyboard testing", "Keyboard_testing"}, {"NUVOTON spi", "NPCE_FORM"}, {"NUVOTON jtag", "Form_NUVOTON_JTAG"},
        {"ENE KB90XX", "KB901X_forms"},           {"MEC jtag", "MEC16_Form"},   {"EDID lcd", "EDID_form"},
        {"ITE", "ITE_FORM"},                      {"Please select ", ""},       {"ITE ", ""},
    };
    for (const auto& [item, form] : want) {
        const Mode* m = modeByItem(item);
        EXPECT_EQ(m ? m->form : "", form) << item;
    }
}

TEST(ModeTable, EveryEntryIsWholeUniqueAndHasItsCommand) {
    std::set<std::string> items, words, forms;
    for (const Mode& m : modes()) {
        EXPECT_EQ(&mode(m.id), &m) << m.item;
        EXPECT_TRUE(items.insert(m.item).second && words.insert(m.word).second && forms.insert(m.form).second)
            << m.item;
        EXPECT_FALSE(m.firmware.empty() || m.image.empty() || m.synopsis.empty() || m.summary.empty()) << m.item;
        EXPECT_NE(cli::modeCommand(m.word), nullptr) << m.word;
        EXPECT_FALSE(cli::modeSubWords(m.word).empty()) << m.word << ": nothing for the completion to offer";
    }
    EXPECT_EQ(selectorItems().size(), modes().size() + 1);
    EXPECT_EQ(selectorItems()[0], kPromptItem);
}

TEST(Cli, StartAndIdentifyExitStatuses) {
    ScratchDir dir;
    EXPECT_EQ(cli::run({"--sim", "jig=ENE_EDID_KB,mode=instant", "start", "EDID lcd"}), cli::kOk);
    const std::string log = readFile("Start_log.txt");
    EXPECT_NE(log.find("User select -> EDID lcd\r\nGo to application. End.\r\n"), std::string::npos);
    EXPECT_EQ(cli::run({"--sim", "devices=0,mode=instant", "start", "EDID lcd"}), cli::kFailed);
    EXPECT_EQ(cli::run({"--sim", "mode=instant", "start", "Bogus"}), cli::kMisuse);
    EXPECT_EQ(cli::run({"--sim", "mode=instant", "start"}), cli::kMisuse);
    EXPECT_EQ(cli::run({"--sim=jig=V42_Q37,mode=instant", "identify"}), cli::kOk);
    EXPECT_EQ(cli::run({"--sim", "jig=none,mode=instant", "identify"}), cli::kFailed);
    EXPECT_EQ(cli::run({"--sim", "bogus-preset", "identify"}), cli::kMisuse);
    EXPECT_EQ(cli::run({"--trace"}), cli::kMisuse);
    EXPECT_EQ(cli::run({"frobnicate"}), cli::kMisuse);
}

TEST(JigControl, FiveSecondTickOfAnEarlierArmingIsIgnored) {
    Rig r("jig=ENE_EDID_KB");
    r.ctl.armFiveSeconds();
    r.ctl.Timer_5SECTimer();  // the previous run's timer, firing as this run re-arms it
    EXPECT_FALSE(r.ctl.FiveSecondsElapsed.load());
    EXPECT_FALSE(r.ctl.fiveSecondsElapsed());
    r.sim->clock().sleepMs(4900);
    r.ctl.Timer_5SECTimer();  // this arming's own tick, a little early
    EXPECT_TRUE(r.ctl.fiveSecondsElapsed());
    EXPECT_TRUE(r.view.hasEvent("timer Timer_5SEC"));
}

TEST(JigControl, StartLogDateIsTheLocalesShortDateAndLongTime) {
    // The C locale's date and time representations; a name that is no locale falls back to them.
    for (const char* locale : {"C", "xx_NOWHERE.bogus"}) {
        qjt::Env env("LC_ALL", locale);
        const std::string date = dateTimeNow();
        EXPECT_TRUE(std::regex_match(date, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)"))) << locale << ": " << date;
    }
    qjt::Env env("LC_ALL", "C");
    Rig r("devices=0");
    r.ctl.start("EDID lcd");
    const std::string log = readFile("Start_log.txt");
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(^\*{38}\r\n\d\d/\d\d/\d\d \d\d:\d\d:\d\d\r\n\*{38}\r\n)"))) << log;
}
