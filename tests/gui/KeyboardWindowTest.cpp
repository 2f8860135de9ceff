#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include "gui/GuiSupport.h"
#include "modes/keyboard/KeyboardCore.h"
#include "modes/keyboard/gui/TKeyboard_testing.h"
#include "ui/TCGauge.h"

using namespace qjt;
using qj::keyboard::KeyboardCore;

namespace {
uint32_t colourOf(QWidget* w) { return w->property("bgr").toUInt(); }
QString labelText(GuiRig& rig, const char* name) { return rig.find<QLabel>(name)->text(); }
uint32_t textColour(GuiRig& rig, const char* name) {
    return bgrFromColor(rig.find<QLabel>(name)->palette().color(QPalette::WindowText));
}
}  // namespace

TEST(KeyboardWindow, CellsSitAtTheirPixelsAndControlsAreAsSpecified) {
    ScratchDir dir;
    GuiRig rig("");
    QWidget* form = rig.form("Keyboard_testing");
    EXPECT_EQ(form->windowTitle(), "Keyboard_testing 01_07_2017");
    const std::pair<const char*, QRect> cells[] = {{"Shape2", QRect(20, 40, 17, 10)},
                                                   {"Shape32", QRect(518, 40, 17, 10)},
                                                   {"Shape35", QRect(35, 55, 17, 10)},
                                                   {"Shape992", QRect(518, 520, 17, 10)}};
    for (const auto& [name, r] : cells) {
        QWidget* c = form->findChild<QWidget*>(name);
        ASSERT_TRUE(c) << name;
        EXPECT_EQ(c->geometry(), r) << name;
        EXPECT_EQ(colourOf(c), qj::kAqua) << name;
    }
    int shapes = 0;
    for (QWidget* w : form->findChildren<QWidget*>(QRegularExpression("^Shape\\d+$"))) {
        ++shapes;
        EXPECT_TRUE(KeyboardCore::isCell(w->objectName().mid(5).toInt())) << w->objectName().toStdString();
        EXPECT_TRUE(form->rect().contains(w->geometry()));
    }
    EXPECT_EQ(shapes, 496);

    EXPECT_EQ(rig.find<QPushButton>("START_SCAN")->text(), "START SCAN");
    EXPECT_EQ(rig.find<QPushButton>("EXIT_KB_TEST")->text(), "EXIT");
    EXPECT_EQ(rig.find<QPushButton>("Clear")->text(), "Clear");
    EXPECT_EQ(rig.find<QCheckBox>("Buzzer_box")->text(), "Buzzer off");
    EXPECT_EQ(rig.find<QCheckBox>("CheckBox_HIDE")->text(), "Hide current");
    EXPECT_FALSE(rig.find<QCheckBox>("CheckBox_HIDE")->isEnabled());
    EXPECT_EQ(rig.find<QTimer>("Timer_KEYB")->interval(), 500);
    EXPECT_FALSE(rig.find<QTimer>("Timer_KEYB")->isActive());
    EXPECT_EQ(labelText(rig, "Label_keyb_con"), "Press start scan");
    EXPECT_EQ(textColour(rig, "Label_keyb_con"), qj::kRed);
    EXPECT_TRUE(rig.find<QLabel>("Label_keyb_con")->font().bold());
    EXPECT_EQ(labelText(rig, "Label_keybord"), " 2       6       11        16       21       26       31");
    const char* rows[] = {"1", "6", "11", "16", "21", "26", "31"};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(labelText(rig, ("Label" + std::to_string(k + 1)).c_str()), rows[k]);
}

TEST(KeyboardWindow, ScanPaintsCellsStopsAndExits) {
    ScratchDir dir;
    GuiRig rig("keys=1-2@0-999999999;3-7@0-999999999;12-20@0-999999999;1-32@0-999999999");
    QWidget* form = rig.form("Keyboard_testing");
    rig.form("Form1")->hide();
    form->show();
    auto* start = rig.find<QPushButton>("START_SCAN");
    auto* exit = rig.find<QPushButton>("EXIT_KB_TEST");
    auto* hide = rig.find<QCheckBox>("CheckBox_HIDE");
    auto* buzzer = rig.find<QCheckBox>("Buzzer_box");
    buzzer->setChecked(true);

    start->click();
    ASSERT_TRUE(waitFor([&] { return colourOf(rig.find("Shape372")) != qj::kAqua; }));
    EXPECT_EQ(start->text(), "STOP");
    EXPECT_FALSE(exit->isEnabled());
    EXPECT_TRUE(hide->isEnabled());
    EXPECT_EQ(labelText(rig, "Label_keyb_con"), "Ready to work");
    EXPECT_EQ(textColour(rig, "Label_keyb_con"), qj::kGreen);
    exit->click();  // disabled: nothing happens
    EXPECT_TRUE(form->isVisible());

    // A hidden pair, painted the way the scan paints one.
    static_cast<TKeyboard_testing*>(form)->view().setColor("Shape959", qj::kBlack);
    EXPECT_EQ(colourOf(rig.find("Shape959")), qj::kBlack);
    if (const char* shots = std::getenv("QJ_SHOTS")) form->grab().save(QString::fromUtf8(shots) + "/keyboard.png");

    hide->click();  // the pairs held now turn black
    ASSERT_TRUE(waitFor([&] { return colourOf(rig.find("Shape372")) == qj::kBlack; }));
    EXPECT_EQ(static_cast<TKeyboard_testing*>(form)->core().hiddenList(), (std::vector<int>{2, 32, 71, 372}));

    start->click();  // STOP
    ASSERT_TRUE(waitFor([&] { return start->text() == "START SCAN"; }));
    ASSERT_TRUE(waitFor([&] { return labelText(rig, "Label_keyb_con") == "Press start scan"; }));
    EXPECT_TRUE(exit->isEnabled());
    EXPECT_FALSE(hide->isEnabled());
    EXPECT_FALSE(hide->isChecked());
    EXPECT_FALSE(buzzer->isChecked());
    EXPECT_EQ(rig.sim->openHandles(), 0u);
    for (const char* c : {"Shape2", "Shape32", "Shape71", "Shape372"})
        EXPECT_EQ(colourOf(rig.find(c)), qj::kBlack) << c;
    EXPECT_EQ(colourOf(rig.find("Shape3")), qj::kAqua);

    exit->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(rig.form("Form1")->isVisible());
}

// A status or a cell repainted in the colour it already has must look the same
// as the first time: the label's text stays readable on the window's own
// background, and a cell keeps its rounded corners.
TEST(KeyboardWindow, RepaintingInTheSameColourKeepsTheLook) {
    ScratchDir dir;
    GuiRig rig("jig=none");
    QWidget* form = rig.form("Keyboard_testing");
    rig.form("Form1")->hide();
    form->show();
    const QColor back = form->palette().color(QPalette::Window);
    auto* status = rig.find<QLabel>("Label_keyb_con");
    auto corner = [](QWidget* w) { return w->grab().toImage().pixelColor(0, 0); };

    EXPECT_EQ(corner(status), back);
    rig.find<QPushButton>("START_SCAN")->click();  // red "Press start scan", then red "Device not found"
    ASSERT_TRUE(waitFor([&] { return status->text() == "Device not found"; }));
    EXPECT_EQ(textColour(rig, "Label_keyb_con"), qj::kRed);
    EXPECT_EQ(corner(status), back);

    auto& view = static_cast<TKeyboard_testing*>(form)->view();
    QWidget* cell = rig.find("Shape35");
    const QColor first = corner(cell);
    EXPECT_EQ(first, back);
    view.setColor("Shape35", qj::kAqua);  // Clear over a cell that was never hit
    view.setColor("Shape35", qj::kRed);
    view.setColor("Shape35", qj::kRed);
    EXPECT_EQ(corner(cell), back);
}
