#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "app/TForm1.h"
#include "gui/GuiSupport.h"
#include "control/JigControl.h"
#include "modes/Modes.h"
#include "ui/TCGauge.h"

using namespace qjt;

namespace {
const char* kStars = "**************************************";

std::vector<std::string> logLines() {
    std::string s = readFile("Start_log.txt");
    std::vector<std::string> out;
    size_t at = 0;
    while (at < s.size()) {
        size_t e = s.find("\r\n", at);
        if (e == std::string::npos) {
            out.push_back(s.substr(at) + "<no CR LF>");
            break;
        }
        out.push_back(s.substr(at, e - at));
        at = e + 2;
    }
    return out;
}

void select(GuiRig& rig, const char* mode) {
    auto* sel = rig.find<QComboBox>("MAIN_SELECTOR");
    sel->setCurrentIndex(sel->findText(QString::fromUtf8(mode)));
    ASSERT_EQ(sel->currentText().toStdString(), mode);
}
}  // namespace

// Start shows the window named by the mode's entry and hides the main one: a
// mode whose window is missing from the window list would leave the user with none.
TEST(MainWindow, EveryModeHasItsWindow) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    for (const qj::Mode& m : qj::modes()) EXPECT_NE(rig.form(m.form.c_str()), nullptr) << m.item;
}

TEST(MainWindow, WindowsCaptionAndSelectorAreExact) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    std::vector<std::string> names;
    for (QWidget* w : rig.windows.all()) names.push_back(w->objectName().toStdString());
    EXPECT_EQ(names, (std::vector<std::string>{"Form1", "EDID_form", "KB901X_forms", "Keyboard_testing",
                                               "MEC16_Form", "ITE_FORM", "NPCE_FORM", "UPDATE_FORM",
                                               "Form_NUVOTON_JTAG"}));
    for (QWidget* w : rig.windows.all()) EXPECT_EQ(w->isVisible(), w->objectName() == "Form1");
    QWidget* main = rig.form("Form1");
    EXPECT_EQ(main->windowTitle(), QString::fromUtf8("Quillmore_JIG  VER 4.\xD0\xA1   2/02/2018   for PCB2 only"));
    EXPECT_EQ(main->size(), QSize(711, 78));
    auto* sel = rig.find<QComboBox>("MAIN_SELECTOR");
    QStringList items;
    for (int i = 0; i < sel->count(); ++i) items << sel->itemText(i);
    EXPECT_EQ(items, (QStringList{"Please select ", "Keyboard testing", "NUVOTON spi", "NUVOTON jtag", "ENE KB90XX",
                                  "MEC jtag", "EDID lcd", "ITE"}));
    EXPECT_EQ(sel->currentIndex(), 0);
    EXPECT_EQ(rig.find("MAIN_CONNECT")->geometry(), QRect(392, 16, 145, 49));
    EXPECT_EQ(rig.find("Exit")->geometry(), QRect(560, 16, 129, 49));
    EXPECT_EQ(rig.find<QTimer>("Timer_RUN")->interval(), 300);
    EXPECT_EQ(rig.find<QTimer>("Timer_5SEC")->interval(), 5000);
    EXPECT_FALSE(rig.find<QTimer>("Timer_RUN")->isActive());
}

TEST(MainWindow, PleaseSelectDoesNothingNotEvenALogEntry) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    EXPECT_FALSE(std::filesystem::exists("Start_log.txt"));
    EXPECT_TRUE(rig.sim->hostWrites().empty());
    EXPECT_TRUE(rig.boxes.empty());
}

TEST(MainWindow, NoJigLogsHeaderAndShowsTheBox) {
    ScratchDir dir;
    GuiRig rig("devices=0");
    select(rig, "EDID lcd");
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    auto lines = logLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], kStars);
    EXPECT_EQ(lines[2], kStars);
    EXPECT_EQ(lines[3], "Error numDevs = 0");
    ASSERT_EQ(rig.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes[0].text, "JIG not connected to the USB port!");
    EXPECT_EQ(rig.boxes[0].kind, qj::BoxKind::Error);
}

TEST(MainWindow, Version3JigOutsideMecIsRefusedAndLeavesNoHandle) {
    ScratchDir dir;
    GuiRig rig("jig=M328_EPM240_v19");
    select(rig, "EDID lcd");
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    ASSERT_EQ(rig.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes[0].text, "Sorry. \nFor JIG version 3 please use programm version 5.XX or higher!");
    EXPECT_EQ(rig.sim->openHandles(), 0u);
    auto lines = logLines();
    EXPECT_EQ(lines.back(), "FT_SetLatencyTimer OK");
}

TEST(MainWindow, RightFirmwareOpensTheModeWindowAndRepeatedStartsAppend) {
    ScratchDir dir;
    writeFile("Start_log.txt", "earlier\r\n");
    GuiRig rig("jig=ENE_EDID_KB");
    select(rig, "EDID lcd");
    QWidget* main = rig.form("Form1");
    QWidget* edid = rig.form("EDID_form");
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    ASSERT_TRUE(waitFor([&] { return edid->isVisible(); }));
    EXPECT_FALSE(main->isVisible());
    EXPECT_FALSE(rig.form("UPDATE_FORM")->isVisible());
    EXPECT_EQ(rig.sim->openHandles(), 0u);
    auto lines = logLines();
    EXPECT_EQ(lines.front(), "earlier");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "ReadThread_UPD start ... ");
    EXPECT_EQ(lines[lines.size() - 2], "User select -> EDID lcd");
    EXPECT_EQ(lines[lines.size() - 1], "Go to application. End.");
    auto* memo = rig.find<QPlainTextEdit>("Memo_UPDATE");
    EXPECT_EQ(memo->toPlainText(), "Current version of FW -> ENE_EDID_KB\nUser select -> EDID lcd");

    // Back to the main window and Start again: the log keeps growing.
    rig.find<QPushButton>("EXIT_EDID")->click();
    EXPECT_TRUE(main->isVisible());
    const size_t before = lines.size();
    select(rig, "Keyboard testing");
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    ASSERT_TRUE(waitFor([&] { return rig.form("Keyboard_testing")->isVisible(); }));
    lines = logLines();
    EXPECT_GT(lines.size(), before);
    EXPECT_EQ(lines.front(), "earlier");
    EXPECT_EQ(lines[lines.size() - 2], "User select -> Keyboard testing");
}

TEST(UpdateWindow, ExitClearsTheLogAndDisablesItself) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    auto* memo = rig.find<QPlainTextEdit>("Memo_UPDATE");
    auto* exit = rig.find<QPushButton>("SpeedButton_UPD_EXIT");
    QWidget* upd = rig.form("UPDATE_FORM");
    EXPECT_FALSE(exit->isEnabled());
    upd->show();
    memo->appendPlainText("ERROR FW upgrade!");
    exit->setEnabled(true);
    exit->click();
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_FALSE(exit->isEnabled());
    EXPECT_FALSE(upd->isVisible());
    EXPECT_TRUE(rig.form("Form1")->isVisible());
}

TEST(UpdateWindow, GeometryAndControls) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    QWidget* upd = rig.form("UPDATE_FORM");
    EXPECT_EQ(upd->windowTitle(), "Update FW for PCB2 and PCB3");
    EXPECT_EQ(rig.find("Memo_UPDATE")->geometry(), QRect(16, 16, 457, 217));
    EXPECT_EQ(rig.find("CGauge_UPD")->geometry(), QRect(16, 240, 457, 17));
    EXPECT_EQ(rig.find("SpeedButton_UPD_EXIT")->geometry(), QRect(160, 272, 177, 49));
    EXPECT_EQ(rig.find<QTimer>("TimerMSG")->interval(), 200);
}

TEST(MainWindow, ExitEndsTheProgramEvenWithTheUpdateWindowUp) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    rig.form("UPDATE_FORM")->show();  // a failed upgrade leaves it up
    bool clicked = false, timedOut = false;
    QTimer click, fallback;
    click.setSingleShot(true);
    fallback.setSingleShot(true);
    QObject::connect(&click, &QTimer::timeout, [&] {
        clicked = true;
        rig.find<QPushButton>("Exit")->click();
    });
    QObject::connect(&fallback, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    click.start(0);
    fallback.start(2000);
    QCoreApplication::exec();
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(timedOut);
    EXPECT_FALSE(rig.form("Form1")->isVisible());
}

TEST(MainWindow, StartIsIgnoredWhileTheModeWindowIsAboutToOpen) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    select(rig, "EDID lcd");
    auto* timerRun = rig.find<QTimer>("Timer_RUN");
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    ASSERT_TRUE(waitFor([&] { return timerRun->isActive(); }));
    const size_t before = logLines().size();
    // A second Start in the 300 ms before Timer_RUN fires.
    select(rig, "ITE");
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    EXPECT_EQ(logLines().size(), before);
    ASSERT_TRUE(waitFor([&] { return rig.form("EDID_form")->isVisible(); }));
    EXPECT_FALSE(rig.form("ITE_FORM")->isVisible());
    const auto lines = logLines();
    EXPECT_EQ(lines[lines.size() - 2], "User select -> EDID lcd");
    EXPECT_EQ(rig.sim->openHandles(), 0u);
}
