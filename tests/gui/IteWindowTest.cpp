#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "gui/GuiSupport.h"
#include "modes/ite/IteCore.h"
#include "modes/ite/gui/TITE_FORM.h"
#include "sim/IteModel.h"
#include "ui/TCGauge.h"

using namespace qjt;

namespace {

const char* kLine =
    "Board Y2 PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 STB=6 AFD=7 INIT=8 SLIN=9 KSI4=3 KSI5=4";

TEST(IteWindow, BoardSettingsCheckReadLanguageAndExit) {
    ScratchDir dir;
    writeFile(qj::ite::kWiringFile, std::string(kLine) + "\r\n");
    GuiRig rig("jig=ITE2_PROJ_Q37");
    auto* ite = static_cast<TITE_FORM*>(rig.form("ITE_FORM"));
    ASSERT_NE(ite, nullptr);
    EXPECT_EQ(ite->windowTitle(), "ITE 02_02_2018");
    auto* board = rig.find<QComboBox>("ITE_ComboBox_MB_SWITCH");
    auto* mirror = rig.find<QCheckBox>("ITE_CheckBox");
    auto* setup = rig.find<QPushButton>("ITE_SETUP_BitBtn");
    auto* check = rig.find<QPushButton>("ITE_CHECK_CON_BitBtn");
    auto* read = rig.find<QPushButton>("ITE_READ_BitBtn");
    auto* write = rig.find<QPushButton>("ITE_WRITE_BitBtn");
    auto* exit = rig.find<QPushButton>("ITE_EXIT_BitBtn");
    auto* lang = rig.find<QCheckBox>("CheckBox_RUS_ENG");
    auto* memoRu = rig.find<QPlainTextEdit>("ITE_Memo1");
    auto* memoEn = rig.find<QPlainTextEdit>("ITE_Memo_ENG");
    auto* gauge = rig.find<TCGauge>("SPEED_ITE_CGauge");
    EXPECT_EQ(setup->text(), "Apply settings");
    EXPECT_EQ(check->text(), "Check connection");
    EXPECT_EQ(rig.find<QCheckBox>("CheckBox_BL_SEC")->text(), "if set->block_erase  else->chip_erase ");
    EXPECT_TRUE(rig.find<QCheckBox>("CheckBox_BL_SEC")->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{mirror, setup, check, read, write}) EXPECT_FALSE(w->isEnabled());
    EXPECT_TRUE(mirror->isChecked());
    EXPECT_EQ(gauge->maxValue(), 256);
    ASSERT_EQ(board->count(), 3);
    EXPECT_EQ(board->currentIndex(), 0);
    EXPECT_EQ(board->itemText(1), "*** EXTERNAL BOARD ***");
    EXPECT_EQ(board->itemText(2), kLine);
    EXPECT_TRUE(memoRu->toPlainText().startsWith(QString(35, ' ') + QString::fromUtf8("Порядок подключения:")));
    EXPECT_TRUE(memoEn->toPlainText().startsWith(QString(31, ' ') + "__ Step by step __\n\n 1  Connect"));

    // Start in the main window opens this one.
    auto* sel = rig.find<QComboBox>("MAIN_SELECTOR");
    sel->setCurrentIndex(sel->findText("ITE"));
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    ASSERT_TRUE(waitFor([&] { return ite->isVisible(); }, 5000));
    EXPECT_TRUE(memoRu->isVisible());
    EXPECT_FALSE(memoEn->isVisible());

    board->setCurrentIndex(2);
    emit board->activated(2);
    EXPECT_TRUE(setup->isEnabled());
    EXPECT_TRUE(mirror->isEnabled());
    EXPECT_EQ(board->property("bgr").toUInt(), qj::kSkyBlue);
    setup->click();
    EXPECT_TRUE(check->isEnabled());
    check->click();
    ASSERT_TRUE(waitFor([&] { return ite->core().idle() && read->isEnabled(); }));
    EXPECT_TRUE(write->isEnabled());

    rig.saveAnswers.push_back(dir.file("dump.bin"));
    read->click();
    EXPECT_FALSE(exit->isEnabled());
    closeByWindowSystem(ite);  // refused while the read runs, in both languages
    ASSERT_TRUE(waitFor([&] { return ite->core().idle() && exit->isEnabled() && setup->isEnabled(); }, 10000));
    EXPECT_TRUE(memoRu->toPlainText().contains(QString::fromUtf8("Мы все прочитали ")));
    EXPECT_TRUE(memoEn->toPlainText().contains("Reading complete. "));
    EXPECT_TRUE(memoRu->toPlainText().contains("Wait for the operation to finish."));
    EXPECT_TRUE(memoEn->toPlainText().contains("Wait for the operation to finish."));
    EXPECT_TRUE(ite->isVisible());
    std::vector<uint8_t> flash;
    rig.sim->withLock([&] { flash = rig.sim->board().model<qj::sim::IteModel>().flash; });
    EXPECT_EQ(readBytes(dir.file("dump.bin")), flash);
    EXPECT_EQ(gauge->progress(), 512);
    EXPECT_EQ(gauge->foreColor(), qj::kLime);
    if (const char* shots = std::getenv("QJ_SHOTS")) ite->grab().save(QString::fromUtf8(shots) + "/ite-read.png");

    lang->click();
    EXPECT_FALSE(memoRu->isVisible());
    EXPECT_TRUE(memoEn->isVisible());
    if (const char* shots = std::getenv("QJ_SHOTS")) ite->grab().save(QString::fromUtf8(shots) + "/ite-english.png");

    exit->click();
    ASSERT_TRUE(waitFor([&] { return rig.form("Form1")->isVisible() && !ite->isVisible(); }));
    EXPECT_TRUE(memoRu->toPlainText().isEmpty());
    EXPECT_TRUE(memoEn->toPlainText().isEmpty());
    EXPECT_EQ(gauge->progress(), 0);
    EXPECT_EQ(rig.sim->openHandles(), 0u);
    EXPECT_TRUE(rig.boxes.empty());
}

TEST(IteWindow, MissingListIsOneRedItem) {
    ScratchDir dir;
    GuiRig rig("jig=ITE2_PROJ_Q37");
    auto* board = rig.find<QComboBox>("ITE_ComboBox_MB_SWITCH");
    ASSERT_EQ(board->count(), 1);
    EXPECT_EQ(board->itemText(0), "File [MB connection ITE.txt] not found. Please read manual!");
    EXPECT_EQ(board->palette().color(QPalette::Text), QColor(0xFF, 0, 0));
}

}  // namespace
