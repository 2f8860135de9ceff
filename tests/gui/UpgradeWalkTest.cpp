#include <gtest/gtest.h>

#include <QComboBox>
#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/TForm1.h"
#include "app/TUPDATE_FORM.h"
#include "gui/GuiSupport.h"
#include "control/JigControl.h"

using namespace qjt;

namespace {
void startMode(GuiRig& rig, const char* mode) {
    auto* sel = rig.find<QComboBox>("MAIN_SELECTOR");
    sel->setCurrentIndex(sel->findText(QString::fromUtf8(mode)));
    rig.find<QPushButton>("MAIN_CONNECT")->click();
}

// Counts the times a window is shown (show and hide may come in one batch of events).
struct ShowCounter : QObject {
    int shown = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) ++shown;
        return false;
    }
};

QStringList memoLines(GuiRig& rig) {
    return rig.find<QPlainTextEdit>("Memo_UPDATE")->toPlainText().split('\n');
}

}  // namespace

TEST(UpgradeWalk, JigOnOtherFirmwareShowsTheUpdateLogThenTheModeWindow) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    QWidget* upd = rig.form("UPDATE_FORM");
    QWidget* ite = rig.form("ITE_FORM");
    ShowCounter counter;
    upd->installEventFilter(&counter);
    startMode(rig, "ITE");
    ASSERT_TRUE(waitFor([&] { return ite->isVisible(); }));
    EXPECT_EQ(counter.shown, 1);
    EXPECT_FALSE(upd->isVisible());
    EXPECT_FALSE(rig.form("Form1")->isVisible());
    // The log stays until the next Start.
    const QStringList lines = memoLines(rig);
    ASSERT_GE(lines.size(), 11);
    EXPECT_EQ(lines[0], "Current version of FW -> ENE_EDID_KB");
    EXPECT_EQ(lines[2], "Command go to BOOT ... ");
    EXPECT_EQ(lines[4], "BOOT Q37 connected - Q37BOOT 2.1   ");
    EXPECT_EQ(lines.back(), "Exit from BOOT and RUN ... ");
    EXPECT_EQ(rig.sim->jigFirmware(), "ITE2");
    EXPECT_FALSE(rig.find<QPushButton>("SpeedButton_UPD_EXIT")->isEnabled());
}

TEST(UpgradeWalk, FailedUpgradeLeavesTheLogAndExitDismissesIt) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB,wedged=1");  // nobody presses reset
    auto* exit = rig.find<QPushButton>("SpeedButton_UPD_EXIT");
    startMode(rig, "ITE");
    ASSERT_TRUE(waitFor([&] { return exit->isEnabled(); }));
    QWidget* upd = rig.form("UPDATE_FORM");
    EXPECT_TRUE(upd->isVisible());
    EXPECT_TRUE(rig.form("Form1")->isVisible());
    EXPECT_EQ(memoLines(rig).back(), "You did not press the reset button or error response BOOT_loader");
    exit->click();
    EXPECT_FALSE(upd->isVisible());
    EXPECT_TRUE(rig.find<QPlainTextEdit>("Memo_UPDATE")->toPlainText().isEmpty());
    EXPECT_FALSE(exit->isEnabled());
}

TEST(UpgradeWalk, ExitWhileTheVersion3UpdateWaitsForResetGivesUp) {
    ScratchDir dir;
    GuiRig rig("jig=M328_EPM240_v18", binDir(), GuiRig::Clock::RealTime);  // nobody presses reset; the wait would last two minutes
    auto* sel = rig.find<QComboBox>("MAIN_SELECTOR");
    sel->setCurrentIndex(sel->findText("MEC jtag"));
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    auto* memo = rig.find<QPlainTextEdit>("Memo_UPDATE");
    ASSERT_TRUE(waitFor([&] { return memo->toPlainText().contains("Founded FTDI device"); }));
    // TimerMSG asks for the reset button once, 200 ms after the device was opened.
    ASSERT_TRUE(waitFor([&] { return !rig.boxes.empty(); }));
    ASSERT_EQ(rig.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes[0].text, " Please press the reset button on the JIG!");

    auto* exit = rig.find<QPushButton>("SpeedButton_UPD_EXIT");
    EXPECT_TRUE(rig.windows.main()->control().upgradeRunning());
    ASSERT_TRUE(exit->isEnabled());  // usable while the update waits for the user
    exit->click();
    ASSERT_TRUE(waitFor([&] { return !rig.windows.main()->control().upgradeRunning(); }, 2000));
    QApplication::processEvents();
    EXPECT_TRUE(exit->isEnabled());
    EXPECT_TRUE(rig.windows.update()->isVisible());
    EXPECT_TRUE(memo->toPlainText().endsWith("No answer from the bootloader. Update stopped."));
    EXPECT_TRUE(rig.windows.main()->isVisible());
    EXPECT_EQ(rig.sim->openHandles(), 0u);
    EXPECT_EQ(rig.boxes.size(), 1u);
}
