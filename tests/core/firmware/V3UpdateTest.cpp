#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "FirmwareRig.h"
#include "jig/firmware/V3Update.h"

using namespace qj;
using fwt::Rig;

namespace {

const std::string kOld = "jig=M328_EPM240_v18";

std::vector<std::string> v3Ok(size_t length, const std::string& answerHex = "563153 5F424F4F54") {
    return {"Loaded to buffer bytes (dec): " + std::to_string(length),
            "Founded FTDI device, wait answer. (RESET pushed?)",
            "Readed bytes answer -> " + std::to_string((answerHex.size() - 1) / 2),
            "Readed bytes (hex)  -> " + answerHex,
            "Bootloader M328 ANSWER_OK",
            "Current time  <time>",
            "UPDATE completed successfully."};
}

size_t countOf(const std::vector<std::string>& v, const std::string& s) {
    return static_cast<size_t>(std::count(v.begin(), v.end(), s));
}

}  // namespace

TEST(V3Update, CurrentVersionIsNotTouchedAndTheMecWindowOpens) {
    Rig r("jig=M328_EPM240_v19");
    ASSERT_EQ(r.start("MEC jtag"), JigControl::StartOutcome::UpgradeStarted);
    EXPECT_TRUE(r.view.lines().empty());
    EXPECT_EQ(r.writes(), std::vector<std::string>{"B"});
    EXPECT_TRUE(r.view.hasEvent("timer Timer_RUN"));
    EXPECT_FALSE(r.view.hasEvent("timer TimerMSG"));
    EXPECT_EQ(r.sim->openHandles(), 0u);
    EXPECT_EQ(r.ctl->Timer_RUNTimer(), "MEC16_Form");
}

TEST(V3Update, ImageGoesInBlocksOf128WithFillAndOneMoreBlockAfterAnExactMultiple) {
    struct Case {
        size_t length;
        size_t blocks;
        int gaugeMax;
    };
    // 300: the third block ends in 84 bytes of 0xFF. 256: a third block of 0xFF only.
    // 131072: the buffer's last block is the last one sent.
    for (const Case c : {Case{300, 3, 2}, Case{256, 3, 2}, Case{131072, 1024, 1024}}) {
        Rig r(kOld + ",reset-after=1500");
        const std::vector<uint8_t> image = fwt::namedImage("M328_EPM240_v19", c.length);
        r.putBytes(kV3ImageFile, image);
        r.start("MEC jtag");
        EXPECT_EQ(r.view.lines(), v3Ok(c.length)) << c.length;
        EXPECT_EQ(r.view.gaugeMaximum(), c.gaugeMax) << c.length;
        // One step a block; the gauge is reset once the update has succeeded.
        EXPECT_TRUE(r.view.hasEvent("gauge pos " + std::to_string(c.blocks))) << c.length;
        EXPECT_FALSE(r.view.hasEvent("gauge pos " + std::to_string(c.blocks + 1))) << c.length;
        EXPECT_EQ(r.view.gaugePosition(), 0);
        EXPECT_EQ(countOf(r.view.events(), "timer TimerMSG"), 1u);
        // EXIT is offered while waiting for the reset button only.
        const auto ev = r.view.events();
        auto on = std::find(ev.begin(), ev.end(), "enable SpeedButton_UPD_EXIT 1");
        ASSERT_NE(on, ev.end());
        EXPECT_NE(std::find(on, ev.end(), "enable SpeedButton_UPD_EXIT 0"), ev.end());
        EXPECT_EQ(ev.back(), "timer Timer_RUN");

        const auto flashed = r.flash().v3Image;
        ASSERT_EQ(flashed.size(), c.blocks * 128) << c.length;
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flashed.begin())) << c.length;
        EXPECT_TRUE(std::all_of(flashed.begin() + static_cast<long>(c.length), flashed.end(),
                                [](uint8_t b) { return b == 0xFF; }))
            << c.length;

        auto w = r.writes();
        EXPECT_EQ(countOf(w, "W"), c.blocks);
        EXPECT_EQ(w.back(), "X");
        EXPECT_TRUE(r.view.hasEvent("timer Timer_RUN"));
        EXPECT_TRUE(r.view.hasEvent("show UPDATE_FORM 0"));
        EXPECT_EQ(r.sim->openHandles(), 0u);
        EXPECT_EQ(r.identNow(), "M328_EPM240_v19");
        auto log = r.startLog();
        for (const char* l : {"JIG ver3 start update FW", "Bootloader answer OK", "UPDATE FW successfully."})
            EXPECT_EQ(countOf(log, l), 1u) << l;
    }
}

TEST(V3Update, ShortAnswersToPlusStayQueuedAndMorePlusGoOut) {
    auto plusSent = [](const std::string& extra, std::vector<std::string>* lines) {
        Rig r(kOld + ",reset-after=1000" + extra);
        r.start("MEC jtag");
        if (lines) *lines = r.view.lines();
        return countOf(r.writes(), "+");
    };
    const size_t whole = plusSent("", nullptr);
    std::vector<std::string> lines;
    const size_t inThrees = plusSent(",v3-short=3", &lines);
    // Three bytes a "+": 3 and 6 are not enough, 9 are.
    EXPECT_EQ(inThrees, whole + 2);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Readed bytes answer -> 9");
    EXPECT_EQ(lines[3], "Readed bytes (hex)  -> 563153 5F424F4F5456");
    EXPECT_EQ(lines.back(), "UPDATE completed successfully.");
}

// The host reads the banner once 7 bytes wait; a longer banner's last byte
// must not be taken for the grant of the first block.
TEST(V3Update, ALateBannerByteIsNotTakenForTheGrant) {
    Rig r(kOld + ",reset-after=1000,v3-late-tail=5");
    r.start("MEC jtag");
    const auto lines = r.view.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Readed bytes answer -> 7");
    EXPECT_EQ(lines.back(), "UPDATE completed successfully.");
}

TEST(V3Update, SecondDeviceIsRefused) {
    Rig r(kOld + ",devices=2");
    r.start("MEC jtag");
    auto lines = r.view.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Please disconnect other device and replay!");
    auto log = r.startLog();
    EXPECT_EQ(countOf(log, "JIG ver3 start update FW"), 2u);
    EXPECT_TRUE(r.view.hasEvent("enable SpeedButton_UPD_EXIT 1"));
    EXPECT_TRUE(r.view.hasEvent("show Form1 1"));
    EXPECT_FALSE(r.view.hasEvent("timer Timer_RUN"));
    EXPECT_EQ(r.sim->openHandles(), 0u);
}

TEST(V3Update, MissingGrantOrAcknowledgeStopsTheUpdate) {
    const std::pair<std::string, std::string> cases[] = {{",v3-no-g=2", "ERROR protocol! Update stopped.(G)"},
                                                         {",v3-no-plus=3", "ERROR protocol! Update stopped.(+)"}};
    for (const auto& [fault, line] : cases) {
        Rig r(kOld + ",reset-after=500" + fault);
        r.start("MEC jtag");
        auto lines = r.view.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), line);
        EXPECT_EQ(r.startLog().back(), line);
        EXPECT_TRUE(r.view.hasEvent("enable SpeedButton_UPD_EXIT 1"));
        EXPECT_EQ(r.sim->openHandles(), 0u);
        EXPECT_EQ(countOf(r.writes(), "X"), 0u);
    }
}

TEST(V3Update, ImageFileProblems) {
    {
        Rig r(kOld, false);
        r.start("MEC jtag");
        EXPECT_EQ(r.view.lines(), std::vector<std::string>{"ERROR open file " + r.prog + kV3ImageFile + " (looked in " +
                                                           r.prog + ", " + r.scratch.userFirmwareDir() + ")"});
        EXPECT_TRUE(r.view.hasEvent("enable SpeedButton_UPD_EXIT 1"));
    }
    {
        Rig r(kOld, false);
        r.putBytes(kV3ImageFile, {});
        r.start("MEC jtag");
        EXPECT_EQ(r.view.lines(), std::vector<std::string>{"ERROR short file."});
    }
    {
        // The image in the user's data folder serves as well as one beside the program.
        Rig r(kOld + ",reset-after=100", false);
        std::filesystem::create_directories(r.scratch.userFirmwareDir());
        std::filesystem::copy_file(qjt::binDir() + kV3ImageFile, r.scratch.userFirmwareDir() + kV3ImageFile);
        r.start("MEC jtag");
        EXPECT_EQ(r.view.lines().back(), "UPDATE completed successfully.");
    }
}

TEST(V3Update, WakeUpIsBoundedAndExitGivesUp) {
    {
        // Nobody presses reset: the wait ends after its bound.
        Rig r(kOld);
        const int64_t t0 = r.sim->clock().nowMs();
        r.start("MEC jtag");
        const int64_t took = r.sim->clock().nowMs() - t0;
        EXPECT_EQ(r.view.lines().back(), "No answer from the bootloader. Update stopped.");
        EXPECT_GE(took, static_cast<int64_t>(V3Deadlines::kWakeUpMs));
        EXPECT_LT(took, static_cast<int64_t>(V3Deadlines::kWakeUpMs) + 2000);
        EXPECT_EQ(r.sim->openHandles(), 0u);
    }
    {
        // EXIT of the update window while it waits.
        Rig r(kOld);
        r.ctl->requestGiveUp();
        const int64_t t0 = r.sim->clock().nowMs();
        EXPECT_EQ(r.ctl->UpdateJigV3(), V3Result::Error);
        EXPECT_LT(r.sim->clock().nowMs() - t0, 1000);
        EXPECT_EQ(r.view.lines().back(), "No answer from the bootloader. Update stopped.");
        EXPECT_EQ(r.sim->openHandles(), 0u);
    }
    {
        // A loader that keeps answering, but never with "V?S": the bound and
        // EXIT still end the wait.
        Rig r(kOld + ",reset-after=100,v3-bad-banner=1");
        const int64_t t0 = r.sim->clock().nowMs();
        r.start("MEC jtag");
        EXPECT_EQ(r.view.lines().back(), "No answer from the bootloader. Update stopped.");
        EXPECT_GE(r.sim->clock().nowMs() - t0, static_cast<int64_t>(V3Deadlines::kWakeUpMs));
        EXPECT_LT(r.sim->clock().nowMs() - t0, static_cast<int64_t>(V3Deadlines::kWakeUpMs) + 2000);
        EXPECT_FALSE(r.view.hasLine("Bootloader M328 ANSWER_OK"));
        EXPECT_EQ(r.sim->openHandles(), 0u);
    }
    {
        Rig r(kOld + ",reset-after=0,v3-bad-banner=1");
        r.ctl->requestGiveUp();
        EXPECT_EQ(r.ctl->UpdateJigV3(), V3Result::Error);
        EXPECT_EQ(r.view.lines().back(), "No answer from the bootloader. Update stopped.");
        EXPECT_EQ(r.sim->openHandles(), 0u);
    }
}

namespace {
// Holds the upgrade thread at the reset prompt until someone asks it to give up
// (or a real second has passed), so the test knows where the thread waits.
class HoldAtResetPrompt : public qjt::RecordingView {
public:
    std::atomic<bool>* giveUp = nullptr;
    void armTimer(const std::string& timer) override {
        RecordingView::armTimer(timer);
        if (timer != "TimerMSG" || !giveUp) return;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (!giveUp->load() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    }
};
}  // namespace

TEST(V3Update, ClosingTheProgramWhileWaitingForResetEndsTheWaitAtOnce) {
    qjt::ScratchDir dir;
    auto sim = qjt::makeSim(kOld);
    HoldAtResetPrompt view;
    auto ctl = std::make_unique<JigControl>(*sim, view, StartLog("Start_log.txt"), qjt::binDir());
    view.giveUp = &ctl->GiveUpRequested;
    ASSERT_EQ(ctl->start("MEC jtag"), JigControl::StartOutcome::UpgradeStarted);
    const int64_t t0 = sim->clock().nowMs();
    ctl.reset();  // the main window goes away with the program
    EXPECT_LT(sim->clock().nowMs() - t0, 1000);
    EXPECT_EQ(view.lines().back(), "No answer from the bootloader. Update stopped.");
    EXPECT_EQ(sim->openHandles(), 0u);
}
