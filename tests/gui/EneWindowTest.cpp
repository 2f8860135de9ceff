#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/TForm1.h"
#include "gui/GuiSupport.h"
#include "modes/ene/EneWiring.h"
#include "modes/ene/EneCore.h"
#include "modes/ene/gui/TKB901X_forms.h"
#include "sim/EneModel.h"
#include "ui/TCGauge.h"

using namespace qjt;

namespace {

uint bgr(QWidget* w) { return w->property("bgr").toUInt(); }

TEST(EneWindow, StartWiringHintReadToAFileAndExitRestoresThePrompts) {
    ScratchDir dir;
    writeFile(qj::ene::kWiringFile, "Quillbook 7 KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\r\n");
    GuiRig rig("jig=ENE_EDID_KB,ene-pattern=random");
    auto* ene = static_cast<TKB901X_forms*>(rig.form("KB901X_forms"));
    ASSERT_NE(ene, nullptr);
    EXPECT_EQ(ene->windowTitle(), "KB9010/9012/9016/9022  and KESTRA 01/07/2017");
    EXPECT_EQ(rig.find<QGroupBox>("GroupBox_KB901X")->title(), " Help for FFC cable connection  ");
    EXPECT_EQ(rig.find<QPushButton>("KB901X_READ")->text(), "KB90XX_READ");
    EXPECT_EQ(rig.find<QPushButton>("KB901X_WRITE")->text(), "KB90XX_WRITE");
    EXPECT_EQ(rig.find<TCGauge>("CGauge_KB901X")->maxValue(), 32768);

    // Start in the main window opens this one.
    auto* sel = rig.find<QComboBox>("MAIN_SELECTOR");
    sel->setCurrentIndex(sel->findText("ENE KB90XX"));
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    ASSERT_TRUE(waitFor([&] { return ene->isVisible(); }, 5000));
    EXPECT_FALSE(rig.form("Form1")->isVisible());

    auto* board = rig.find<QComboBox>("ComboBox_KB901X");
    auto* cable = rig.find<QComboBox>("ComboBox_KB901X_FFC");
    auto* pin1 = rig.find<QCheckBox>("CheckBox_KB901X");
    auto* label = rig.find<QLabel>("Label_result");
    ASSERT_EQ(board->count(), 2);
    EXPECT_EQ(board->itemText(0), "External board - KESTRA");
    EXPECT_EQ(board->itemText(1), "Quillbook 7 KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11");
    EXPECT_EQ(cable->count(), 8);
    for (QComboBox* c : {board, cable}) {
        EXPECT_TRUE(c->isEnabled());
        EXPECT_EQ(c->currentIndex(), -1);
        EXPECT_EQ(bgr(c), qj::kYellow);
    }
    EXPECT_EQ(board->placeholderText(), "Select MB or KESTRA here");
    EXPECT_EQ(cable->placeholderText(), "Select FFC cable you used");
    EXPECT_TRUE(pin1->isEnabled() && pin1->isChecked());

    // Board and cable: the hint, and the combos lose their prompt colour.
    cable->setCurrentIndex(0);
    emit cable->activated(0);
    board->setCurrentIndex(1);
    emit board->activated(1);
    EXPECT_EQ(label->text(), "Please connect GND and:  A7 B8 C9 D10 E11");
    EXPECT_EQ(bgr(board), qj::kButtonFace);
    EXPECT_EQ(bgr(cable), qj::kButtonFace);
    EXPECT_EQ(board->palette().color(QPalette::Button), QApplication::palette(board).color(QPalette::Button));
    pin1->click();
    EXPECT_EQ(label->text(), "Please connect GND and:  A12 B11 C10 D9 E8");
    if (const char* shots = std::getenv("QJ_SHOTS")) ene->grab().save(QString::fromUtf8(shots) + "/ene-hint.png");

    // Read to a file.
    rig.saveAnswers.push_back(dir.file("dump.bin"));
    auto* exit = rig.find<QPushButton>("EXIT_KB901X");
    rig.find<QPushButton>("KB901X_READ")->click();
    auto* memo = rig.find<QPlainTextEdit>("KB901X_Memo");
    ASSERT_TRUE(waitFor([&] { return ene->core().idle() && exit->isEnabled() &&
                                     rig.find<QPushButton>("KB901X_WRITE")->isEnabled(); }, 10000));
    EXPECT_TRUE(memo->toPlainText().contains("Reading completed successfully."));
    std::vector<uint8_t> flash;
    rig.sim->withLock([&] { flash = rig.sim->board().model<qj::sim::EneModel>().flash; });
    EXPECT_EQ(readBytes(dir.file("dump.bin")), flash);
    auto* gauge = rig.find<TCGauge>("CGauge_KB901X");
    EXPECT_EQ(gauge->progress(), 32768);
    EXPECT_EQ(gauge->foreColor(), qj::kGreen);
    if (const char* shots = std::getenv("QJ_SHOTS")) ene->grab().save(QString::fromUtf8(shots) + "/ene-read.png");
    EXPECT_EQ(rig.sim->openHandles(), 0u);

    // Leaving restores the prompts, clears the log and the gauge.
    exit->click();
    ASSERT_TRUE(waitFor([&] { return rig.form("Form1")->isVisible() && !ene->isVisible(); }));
    if (const char* shots = std::getenv("QJ_SHOTS")) ene->grab().save(QString::fromUtf8(shots) + "/ene-exit.png");
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_EQ(gauge->progress(), 0);
    for (QComboBox* c : {board, cable}) {
        EXPECT_EQ(c->currentIndex(), -1);
        EXPECT_EQ(bgr(c), qj::kYellow);
        EXPECT_TRUE(c->isEnabled());
    }
    EXPECT_EQ(board->placeholderText(), "Select MB or KESTRA here");
    EXPECT_EQ(cable->placeholderText(), "Select FFC cable you used");
    EXPECT_TRUE(rig.boxes.empty());
}

TEST(EneWindow, ChoosingTheAdapterDetectsItAndShowsWhereToConnect) {
    ScratchDir dir;
    writeFile(qj::ene::kWiringFile, "Quillbook 7 KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\n");
    GuiRig rig("jig=ENE_EDID_KB,kestra=31-32");
    auto* board = rig.find<QComboBox>("ComboBox_KB901X");
    board->setCurrentIndex(0);
    emit board->activated(0);
    EXPECT_EQ(rig.find<QLabel>("Label_result")->text(), " Selected KESTRA board ");
    ASSERT_EQ(rig.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes[0].kind, qj::BoxKind::Information);
    EXPECT_EQ(rig.boxes[0].text, " Please connect\n B20 C19 D16 E21 \n then  READ or WRITE!");
    EXPECT_FALSE(rig.find("ComboBox_KB901X_FFC")->isEnabled());
    EXPECT_FALSE(rig.find("CheckBox_KB901X")->isEnabled());
    EXPECT_TRUE(rig.find<QPlainTextEdit>("KB901X_Memo")->toPlainText().contains("KESTRA found! (31-32)"));
    EXPECT_EQ(rig.sim->openHandles(), 0u);
}

}  // namespace

namespace {

// The window as Timer_RUN leaves it: up, with the main window hidden.
void openEne(GuiRig& rig) {
    rig.form("Form1")->hide();
    rig.form("KB901X_forms")->show();
}

TEST(EneWindow, DuringAReadTheWiringChoiceAndTheCloseBoxWaitForItsEnd) {
    ScratchDir dir;
    writeFile(qj::ene::kWiringFile, "Quillbook 7 KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\n");
    GuiRig rig("jig=ENE_EDID_KB", binDir(), GuiRig::Clock::RealTime);  // a read takes about 1.5 s
    auto* ene = static_cast<TKB901X_forms*>(rig.form("KB901X_forms"));
    openEne(rig);
    auto* board = rig.find<QComboBox>("ComboBox_KB901X");
    board->setCurrentIndex(1);
    emit board->activated(1);
    QWidget* wiring[] = {board, rig.find("ComboBox_KB901X_FFC"), rig.find("CheckBox_KB901X")};

    rig.saveAnswers.push_back(dir.file("dump.bin"));
    rig.find<QPushButton>("KB901X_READ")->click();
    ASSERT_FALSE(ene->core().idle());
    for (QWidget* w : wiring) EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    ene->ComboBox_KB901XSelect(0);  // the adapter cannot be half-chosen under a running read
    EXPECT_EQ(ene->core().boardIndex(), 1);
    closeByWindowSystem(ene);
    EXPECT_TRUE(ene->isVisible());
    EXPECT_FALSE(rig.form("Form1")->isVisible());

    ASSERT_TRUE(waitFor([&] { return ene->core().idle(); }, 15000));
    const QString log = rig.find<QPlainTextEdit>("KB901X_Memo")->toPlainText();
    EXPECT_TRUE(log.contains("Wait for the operation to finish.\n"));
    EXPECT_TRUE(log.contains("Reading completed successfully."));
    EXPECT_EQ(readBytes(dir.file("dump.bin")).size(), 131072u);
    for (QWidget* w : wiring) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(rig.boxes.empty());

    closeByWindowSystem(ene);  // idle now: EXIT's work
    EXPECT_FALSE(ene->isVisible());
    EXPECT_TRUE(rig.form("Form1")->isVisible());
    EXPECT_TRUE(rig.find<QPlainTextEdit>("KB901X_Memo")->toPlainText().isEmpty());
}

TEST(EneWindow, WithoutAWiringListNothingCanBeChosenBeforeOrAfterExit) {
    ScratchDir dir;  // no wiring list in it
    GuiRig rig("jig=ENE_EDID_KB");
    openEne(rig);
    auto expectNothingToChoose = [&] {
        for (const char* c : {"ComboBox_KB901X", "ComboBox_KB901X_FFC", "CheckBox_KB901X"})
            EXPECT_FALSE(rig.find(c)->isEnabled()) << c;
        for (const char* c : {"ComboBox_KB901X", "ComboBox_KB901X_FFC"})
            EXPECT_EQ(bgr(rig.find(c)), qj::kButtonFace) << c;
        EXPECT_EQ(rig.find<QLabel>("Label_result")->text(), "Create base of connections KB90XX !");
    };
    expectNothingToChoose();
    rig.find<QPushButton>("EXIT_KB901X")->click();
    openEne(rig);
    expectNothingToChoose();
}

}  // namespace
