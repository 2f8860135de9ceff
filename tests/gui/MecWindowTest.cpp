#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "gui/GuiSupport.h"
#include "modes/mec/MecCore.h"
#include "modes/mec/gui/TMEC16_Form.h"
#include "sim/MecModel.h"
#include "ui/TCGauge.h"

using namespace qjt;

namespace {

uint bgr(QWidget* w) { return w->property("bgr").toUInt(); }

// Start "MEC jtag" on a version 3 jig with old firmware: the update, then the
// window with its check and a read of MAIN and INFO.
TEST(MecWindow, StartOnAVersion3JigUpdatesItThenChecksAndReads) {
    ScratchDir dir;
    GuiRig rig("jig=M328_EPM240_v18,reset-after=800");
    auto* mec = static_cast<TMEC16_Form*>(rig.form("MEC16_Form"));
    ASSERT_NE(mec, nullptr);
    EXPECT_EQ(mec->windowTitle(), "Read and Write MEC   19_03_17");
    const std::pair<const char*, const char*> captions[] = {
        {"BitBtn_MEC16", "Check connect to MEC"},   {"BitBtn_RD_MEC16", "Read FLASH MEC "},
        {"BitBtn_MEC16_ERASE", "Erase FLASH MEC16"}, {"BitBtn_MEC16_WRITE", "Write FLASH MEC16"},
        {"EXIT_MEC16", "STOP and EXIT"},             {"BitBtn_MEC16_HELP", "HELP"},
    };
    for (const auto& [name, text] : captions) EXPECT_EQ(rig.find<QPushButton>(name)->text(), text) << name;
    EXPECT_EQ(rig.find<QLabel>("Label_BootLock_MEC")->text(), "If Green - no Boot_Lock");
    EXPECT_EQ(rig.find<QLabel>("Label_MEC16_FWP")->text(), "If Green - Erase/Write allowed");
    EXPECT_FALSE(rig.find<QCheckBox>("CheckBox_write_mec16")->isEnabled());
    EXPECT_EQ(rig.find<QCheckBox>("CheckBox_MEC16_RD")->text(), "Also need read INFO");
    EXPECT_EQ(rig.find<QCheckBox>("CheckBox_erase_mec16")->text(), "Also need erase INFO");
    auto* fwp = rig.find("Shape_FWP_MEC16");
    auto* lock = rig.find("Shape_BootLock_MEC");
    EXPECT_EQ(bgr(fwp), qj::kBlack);
    EXPECT_EQ(bgr(lock), qj::kBlack);
    auto* gauge = rig.find<TCGauge>("CGauge_MEC16");
    EXPECT_EQ(gauge->maxValue(), 768);
    auto* memo = rig.find<QPlainTextEdit>("Memo_MEC16");
    QStringList lines = memo->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[3], QString::fromUtf8("Перед записью нужно стереть! Автоматом пока не делает. "));
    EXPECT_EQ(lines[10], QString::fromUtf8("запись на тройку доделать!"));

    auto* sel = rig.find<QComboBox>("MAIN_SELECTOR");
    sel->setCurrentIndex(sel->findText("MEC jtag"));
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    ASSERT_TRUE(waitFor([&] { return mec->isVisible(); }, 10000));
    EXPECT_EQ(rig.sim->jigFirmware(), "M328_EPM240");
    EXPECT_FALSE(rig.form("Form1")->isVisible());

    rig.find<QPushButton>("BitBtn_MEC16_HELP")->click();
    EXPECT_TRUE(memo->toPlainText().contains(QString::fromUtf8("5-TCLK mec16")));

    rig.find<QPushButton>("BitBtn_MEC16")->click();
    EXPECT_TRUE(mec->core().idle());
    EXPECT_TRUE(memo->toPlainText().contains("Version FW -> M328_EPM240_v19"));
    EXPECT_TRUE(memo->toPlainText().contains("ID from MEC -> 0000 A4B7h"));
    EXPECT_EQ(bgr(fwp), qj::kGreen);
    EXPECT_EQ(bgr(lock), qj::kGreen);
    if (const char* shots = std::getenv("QJ_SHOTS")) mec->grab().save(QString::fromUtf8(shots) + "/mec-check.png");

    rig.find<QCheckBox>("CheckBox_MEC16_RD")->click();
    rig.saveAnswers.push_back(dir.file("dump.bin"));
    rig.find<QPushButton>("BitBtn_RD_MEC16")->click();
    ASSERT_TRUE(waitFor([&] { return mec->core().idle(); }, 10000));
    EXPECT_TRUE(memo->toPlainText().contains("Read INFO complete."));
    std::vector<uint8_t> flash;
    rig.sim->withLock([&] {
        auto& m = rig.sim->board().model<qj::sim::MecModel>();
        flash = m.main;
        flash.insert(flash.end(), m.info.begin(), m.info.end());
    });
    EXPECT_EQ(readBytes(dir.file("dump.bin")), flash);
    EXPECT_EQ(gauge->maxValue(), 192);
    EXPECT_EQ(gauge->progress(), 192);
    EXPECT_EQ(gauge->foreColor(), qj::kGreen);
    EXPECT_EQ(rig.sim->openHandles(), 0u);
    if (const char* shots = std::getenv("QJ_SHOTS")) mec->grab().save(QString::fromUtf8(shots) + "/mec-read.png");

    // Leaving keeps the log and the gauge.
    const QString log = memo->toPlainText();
    rig.find<QPushButton>("EXIT_MEC16")->click();
    ASSERT_TRUE(waitFor([&] { return rig.form("Form1")->isVisible() && !mec->isVisible(); }));
    EXPECT_EQ(memo->toPlainText(), log);
    EXPECT_EQ(gauge->progress(), 192);
    EXPECT_TRUE(rig.sim->errors().empty());
}

}  // namespace

namespace {
// "STOP and EXIT" stops a read; the close box must not: it waits for the end.
TEST(MecWindow, CloseBoxDuringAReadNeitherStopsItNorLeaves) {
    ScratchDir dir;
    GuiRig rig("jig=V42_Q37", binDir(), GuiRig::Clock::RealTime);  // a read takes about 2 s
    auto* mec = static_cast<TMEC16_Form*>(rig.form("MEC16_Form"));
    rig.form("Form1")->hide();
    mec->show();
    rig.saveAnswers.push_back(dir.file("dump.bin"));
    rig.find<QPushButton>("BitBtn_RD_MEC16")->click();
    ASSERT_FALSE(mec->core().idle());
    closeByWindowSystem(mec);
    EXPECT_TRUE(mec->isVisible());
    ASSERT_TRUE(waitFor([&] { return mec->core().idle(); }, 15000));
    EXPECT_TRUE(rig.find<QPlainTextEdit>("Memo_MEC16")->toPlainText().contains("Wait for the operation to finish."));
    EXPECT_EQ(readBytes(dir.file("dump.bin")).size(), 196608u);
    closeByWindowSystem(mec);
    EXPECT_FALSE(mec->isVisible());
    EXPECT_TRUE(rig.form("Form1")->isVisible());
}
}  // namespace

namespace {
// The erase runs on the worker: the window's event loop goes on, and what the
// user clicks meanwhile is what a busy click is elsewhere: nothing.
TEST(MecWindow, EraseKeepsTheWindowAliveAndIgnoresClicksMeanwhile) {
    GuiRig rig("jig=V42_Q37,mec-erase-ms=1500", binDir(), GuiRig::Clock::RealTime);
    auto* mec = static_cast<TMEC16_Form*>(rig.form("MEC16_Form"));
    rig.form("Form1")->hide();
    mec->show();
    auto* memo = rig.find<QPlainTextEdit>("Memo_MEC16");
    auto* erase = rig.find<QPushButton>("BitBtn_MEC16_ERASE");
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);

    erase->click();
    EXPECT_EQ(mec->core().busy(), "ERASE");
    ASSERT_TRUE(waitFor([&] { return memo->toPlainText().contains(QString::fromUtf8("Отправили команду стирания.")); },
                        5000));
    const int before = ticks;
    ASSERT_TRUE(waitFor([&] { return ticks >= before + 5; }, 1000));  // the loop runs while the jig is busy
    EXPECT_FALSE(mec->core().idle());
    erase->click();
    rig.find<QPushButton>("BitBtn_MEC16_HELP")->click();
    rig.find<QPushButton>("EXIT_MEC16")->click();
    closeByWindowSystem(mec);
    EXPECT_TRUE(mec->isVisible());
    ASSERT_TRUE(waitFor([&] { return mec->core().idle(); }, 15000));
    const QString log = memo->toPlainText();
    EXPECT_TRUE(log.contains(QString::fromUtf8("Стирание завершено успешно.")));
    EXPECT_TRUE(log.contains("Wait for the operation to finish."));
    EXPECT_FALSE(log.contains(QString::fromUtf8("5-TCLK mec16")));  // HELP added nothing
    int erases = 0;
    for (const auto& w : rig.sim->hostWrites()) erases += std::string(w.begin(), w.end()) == "wFF390800000107";
    EXPECT_EQ(erases, 1);
    EXPECT_TRUE(mec->isVisible());
    EXPECT_EQ(rig.sim->openHandles(), 0u);
}
}  // namespace
