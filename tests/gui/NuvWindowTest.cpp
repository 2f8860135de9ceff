#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

#include "gui/GuiSupport.h"
#include "modes/nuv/NuvCore.h"
#include "modes/nuv/gui/TForm_NUVOTON_JTAG.h"
#include "sim/NuvModel.h"
#include "ui/TCGauge.h"

using namespace qjt;

namespace {

TEST(NuvWindow, StartSettingsConnectAndRead) {
    ScratchDir dir;
    GuiRig rig("jig=NPCE_Q37");
    auto* nuv = static_cast<TForm_NUVOTON_JTAG*>(rig.form("Form_NUVOTON_JTAG"));
    ASSERT_NE(nuv, nullptr);
    EXPECT_EQ(nuv->windowTitle(), "NUVOTON JTAG 1_07_2017");
    auto* memo = rig.find<QPlainTextEdit>("Memo_NUV_JTAG");
    const QStringList memoLines = memo->toPlainText().split('\n');
    ASSERT_EQ(memoLines.size(), 12);
    // The block's own text keeps the no-break space (toPlainText() would turn it into a blank).
    EXPECT_EQ(memo->document()->findBlockByNumber(1).text(),
              QString::fromUtf8("1\u00A0Connect the flat cable motherboard and programmer (30 pin). "));
    EXPECT_EQ(memoLines[3], "3 Check 1 to 1 or 1 to 30? Select the checkbox in the settings.");
    auto* pin1 = rig.find<QCheckBox>("CheckBox1");
    EXPECT_EQ(pin1->text(), "Pin 1 connected  to pin 1 on the MB keyboard connector (30 pin FFC)");
    EXPECT_TRUE(pin1->isChecked());
    auto* settings = rig.find<QPushButton>("BitBtn_SETTINGS");
    auto* connectBtn = rig.find<QPushButton>("BitBtn_CONNECT");
    auto* read = rig.find<QPushButton>("BitBtn_NUV_JTAG_RD");
    auto* write = rig.find<QPushButton>("BitBtn_NUV_JTAG_WR");
    EXPECT_EQ(connectBtn->text(), "Check connect to Nuvoton");
    EXPECT_TRUE(settings->isEnabled() && settings->isDefault());
    for (QPushButton* b : {connectBtn, read, write, rig.find<QPushButton>("BitBtnFILE_OPEN")}) EXPECT_FALSE(b->isEnabled());
    EXPECT_FALSE(rig.find<QLabel>("StaticText_in_counter")->isVisibleTo(nuv));
    auto* gauge = rig.find<TCGauge>("CGauge_progrss");
    EXPECT_EQ(gauge->maxValue(), 512);

    auto* sel = rig.find<QComboBox>("MAIN_SELECTOR");
    sel->setCurrentIndex(sel->findText("NUVOTON jtag"));
    rig.find<QPushButton>("MAIN_CONNECT")->click();
    ASSERT_TRUE(waitFor([&] { return nuv->isVisible(); }, 5000));

    // Settings on a jig without the CPLD: wire by hand, then power.
    settings->click();
    ASSERT_EQ(rig.boxes.size(), 2u);
    EXPECT_EQ(rig.boxes[0].text, "Please connect GND and: \nA7 B19 C10 D21 E20");
    EXPECT_FALSE(settings->isEnabled());
    EXPECT_TRUE(connectBtn->isEnabled());

    connectBtn->click();
    ASSERT_TRUE(waitFor([&] { return nuv->core().idle() && read->isEnabled(); }, 10000));
    EXPECT_TRUE(write->isEnabled());
    EXPECT_TRUE(memo->toPlainText().endsWith("I`m ready to READ or WRITE."));
    EXPECT_EQ(gauge->foreColor(), qj::kYellow);

    rig.saveAnswers.push_back(dir.file("dump.bin"));
    read->click();
    // Timer_MSG_ER shows the last box and releases the chip, 100 ms after the worker ends.
    ASSERT_TRUE(waitFor([&] { return nuv->core().idle() && rig.boxes.size() == 3; }, 10000));
    EXPECT_EQ(rig.boxes[2].kind, qj::BoxKind::Information);
    EXPECT_EQ(rig.boxes[2].text, "Please disconnect the power supply from the motherboard!");
    std::vector<uint8_t> flash;
    rig.sim->withLock([&] { flash = rig.sim->board().model<qj::sim::NuvModel>().flash; });
    EXPECT_EQ(readBytes(dir.file("dump.bin")), flash);
    EXPECT_EQ(gauge->progress(), 512);
    EXPECT_EQ(gauge->foreColor(), qj::kGreen);
    EXPECT_TRUE(settings->isEnabled());
    EXPECT_FALSE(read->isEnabled() || write->isEnabled() || connectBtn->isEnabled());
    EXPECT_EQ(rig.sim->openHandles(), 0u);
    if (const char* shots = std::getenv("QJ_SHOTS")) nuv->grab().save(QString::fromUtf8(shots) + "/nuv-read.png");

    rig.find<QPushButton>("BitBtn_EXIT_NUV")->click();
    ASSERT_TRUE(waitFor([&] { return rig.form("Form1")->isVisible() && !nuv->isVisible(); }));
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_EQ(gauge->progress(), 0);
}

}  // namespace
