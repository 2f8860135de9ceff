#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "gui/GuiSupport.h"
#include "modes/npce/NpceCore.h"
#include "modes/npce/gui/TNPCE_FORM.h"
#include "sim/NpceModel.h"
#include "ui/TCGauge.h"

using namespace qjt;

namespace {

TEST(NpceWindow, StartReadThenWriteThroughTheAdapter) {
    ScratchDir dir;
    GuiRig rig("jig=NPCE_Q37,kestra=1-2");
    auto* npce = static_cast<TNPCE_FORM*>(rig.form("NPCE_FORM"));
    ASSERT_NE(npce, nullptr);
    EXPECT_EQ(npce->windowTitle(), "NPCE288N/388N external board KESTRA 01_07_2017");
    auto* board = rig.find<QCheckBox>("CheckBox_EXTBOARD");
    auto* read = rig.find<QPushButton>("NPCE_READ");
    auto* write = rig.find<QPushButton>("NPCE_WRITE");
    auto* exit = rig.find<QPushButton>("EXIT_NPCE");
    auto* gauge = rig.find<TCGauge>("CGauge_NPCE");
    auto* memo = rig.find<QPlainTextEdit>("NPCE_Memo");
    ASSERT_TRUE(board && read && write && exit && gauge && memo);
    EXPECT_EQ(board->text(), "Set if use KESTRA");
    EXPECT_FALSE(board->isChecked());
    EXPECT_EQ(read->text(), "Nuvoton_READ");
    EXPECT_EQ(write->text(), "Nuvoton_WRITE");
    EXPECT_EQ(gauge->maxValue(), 512);

    auto* sel = rig.find<QComboBox>("MAIN_SELECTOR");
    sel->setCurrentIndex(sel->findText("NUVOTON spi"));
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    ASSERT_TRUE(waitFor([&] { return npce->isVisible(); }, 5000));
    EXPECT_FALSE(rig.form("Form1")->isVisible());

    board->click();
    rig.saveAnswers.push_back(dir.file("dump.bin"));
    read->click();
    auto idle = [&] { return npce->core().idle() && read->isEnabled() && write->isEnabled() && exit->isEnabled(); };
    ASSERT_TRUE(waitFor(idle, 10000));
    EXPECT_TRUE(memo->toPlainText().contains("KESTRA found! (1-2)"));
    EXPECT_TRUE(memo->toPlainText().contains("Reading complete ..."));
    std::vector<uint8_t> flash;
    rig.sim->withLock([&] { flash = rig.sim->board().model<qj::sim::NpceModel>().flash; });
    EXPECT_EQ(readBytes(dir.file("dump.bin")), flash);
    EXPECT_EQ(gauge->progress(), 512);
    EXPECT_EQ(gauge->foreColor(), qj::kGreen);

    std::vector<uint8_t> image(5000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i % 251);
    writeBytes(dir.file("in.bin"), image);
    rig.openAnswers.push_back(dir.file("in.bin"));
    write->click();
    ASSERT_TRUE(waitFor(idle, 10000));
    EXPECT_TRUE(memo->toPlainText().contains("Nuvoton chip is programmed succesfully!"));
    EXPECT_EQ(gauge->foreColor(), qj::kYellow);
    if (const char* shots = std::getenv("QJ_SHOTS")) npce->grab().save(QString::fromUtf8(shots) + "/npce-write.png");
    rig.sim->withLock([&] { flash = rig.sim->board().model<qj::sim::NpceModel>().flash; });
    image.resize(131072, 0xFF);
    EXPECT_EQ(flash, image);
    EXPECT_EQ(rig.sim->openHandles(), 0u);
    EXPECT_TRUE(rig.boxes.empty());

    // Leaving keeps the log and the gauge.
    exit->click();
    ASSERT_TRUE(waitFor([&] { return rig.form("Form1")->isVisible() && !npce->isVisible(); }));
    EXPECT_FALSE(memo->toPlainText().isEmpty());
    EXPECT_EQ(gauge->progress(), 512);
}

}  // namespace
