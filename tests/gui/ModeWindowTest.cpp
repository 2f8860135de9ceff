#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QImage>
#include <QRegularExpression>
#include <thread>

#include "gui/GuiSupport.h"
#include "ui/ModeWindow.h"
#include "jig/Worker.h"
#include "ui/TCGauge.h"

using namespace qjt;

TEST(ModeWindow, WorkerCallsArriveOnTheUiThreadInOrder) {
    ModeWindow w("Test_form", "test", 300, 200);
    auto* memo = w.makeMemo("Test_Memo", 0, 0, 300, 150);
    auto* gauge = w.makeGauge("CGauge_Test", 0, 160, 300, 20, 512);
    auto* button = w.makeButton("Test_BUTTON", "GO", 0, 180, 40, 20);
    w.setMemo(memo);
    w.setGauge(gauge);
    std::thread worker([&] {
        w.view().setEnabled("Test_BUTTON", false);
        for (int i = 0; i < 100; ++i) {
            w.view().log("line " + std::to_string(i));
            w.view().gaugePos(i);
        }
        w.view().gaugeColor(0x00FFFF);
        w.view().setEnabled("Test_BUTTON", true);
        w.view().log("end");
    });
    worker.join();
    EXPECT_TRUE(memo->toPlainText().isEmpty());  // nothing touched the widgets from the worker
    ASSERT_TRUE(waitFor([&] { return memo->toPlainText().endsWith("end"); }));
    const QStringList lines = memo->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 101);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(lines[i], QString("line %1").arg(i));
    EXPECT_EQ(gauge->progress(), 99);
    EXPECT_EQ(gauge->foreColor(), 0x00FFFFu);
    EXPECT_TRUE(button->isEnabled());
}

TEST(ModeWindow, TwoLanguageLinesLandInBothMemosInOrder) {
    ModeWindow w("Test_form", "test", 300, 200);
    auto* ru = w.makeMemo("Test_Memo_RU", 0, 0, 300, 90);
    auto* en = w.makeMemo("Test_Memo_ENG", 0, 100, 300, 90);
    w.setMemo(ru);
    w.setSecondMemo(en);
    std::thread worker([&] {
        w.view().log2("Отправляем настройки.", "Send the settings.");
        w.view().logLang(qj::Lang::Ru, "только в русском");
        w.view().log2("Настройки все отправлены.", "All settings sent.");
    });
    worker.join();
    ASSERT_TRUE(waitFor([&] { return en->toPlainText().endsWith("sent."); }));
    EXPECT_EQ(ru->toPlainText(), QString::fromUtf8("Отправляем настройки.\nтолько в русском\nНастройки все отправлены."));
    EXPECT_EQ(en->toPlainText(), "Send the settings.\nAll settings sent.");
    w.view().clearLog();
    EXPECT_TRUE(ru->toPlainText().isEmpty() && en->toPlainText().isEmpty());
}

TEST(ModeWindow, DialogFiltersAndTimeStamp) {
    EXPECT_EQ(QtModeView::qtFilters("BIN file KB90XX (*.bin)|*.bin|other|*.*"),
              (QStringList{"BIN file KB90XX (*.bin)", "other (*.*)"}));
    EXPECT_EQ(QtModeView::qtFilters(QString::fromUtf8("BIN файлы EEPROM (*.bin)|*.bin|Другие|*.*")),
              (QStringList{QString::fromUtf8("BIN файлы EEPROM (*.bin)"), QString::fromUtf8("Другие (*.*)")}));
    ModeWindow w("Test_form", "test", 300, 200);
    auto* memo = w.makeMemo("Test_Memo", 0, 0, 300, 150);
    w.setMemo(memo);
    w.view().timeStamp();
    EXPECT_TRUE(QRegularExpression("^Current time  \\d\\d:\\d\\d:\\d\\d$").match(memo->toPlainText()).hasMatch())
        << memo->toPlainText().toStdString();
}

TEST(ModeWindow, EveryModeWindowExitsToTheMainWindow) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    const std::pair<const char*, const char*> exits[] = {
        {"EDID_form", "EXIT_EDID"},    {"KB901X_forms", "EXIT_KB901X"}, {"Keyboard_testing", "EXIT_KB_TEST"},
        {"MEC16_Form", "EXIT_MEC16"},  {"ITE_FORM", "ITE_EXIT_BitBtn"}, {"NPCE_FORM", "EXIT_NPCE"},
        {"Form_NUVOTON_JTAG", "BitBtn_EXIT_NUV"},
    };
    QWidget* main = rig.form("Form1");
    for (const auto& [form, exit] : exits) {
        QWidget* w = rig.form(form);
        ASSERT_TRUE(w) << form;
        main->hide();
        w->show();
        auto* b = w->findChild<QPushButton*>(exit);
        ASSERT_TRUE(b) << exit;
        b->click();
        EXPECT_FALSE(w->isVisible()) << form;
        EXPECT_TRUE(main->isVisible()) << form;
    }
}

TEST(ModeWindow, CloseBoxOfAnIdleWindowIsItsExitAndNeverEndsTheProgram) {
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    bool ended = false;
    const auto c = QObject::connect(qApp, &QGuiApplication::lastWindowClosed, [&] { ended = true; });
    QWidget* main = rig.form("Form1");
    for (const char* form : {"EDID_form", "KB901X_forms", "Keyboard_testing", "MEC16_Form", "ITE_FORM", "NPCE_FORM",
                             "Form_NUVOTON_JTAG"}) {
        QWidget* w = rig.form(form);
        main->hide();
        w->show();
        closeByWindowSystem(w);
        EXPECT_FALSE(w->isVisible()) << form;
        EXPECT_TRUE(main->isVisible()) << form;
    }
    // EXIT's own work is done: the EDID window's log is cleared.
    rig.find<QPlainTextEdit>("EDID_Memo")->appendPlainText("Reading EEPROM ...");
    rig.form("EDID_form")->show();
    closeByWindowSystem(rig.form("EDID_form"));
    EXPECT_TRUE(rig.find<QPlainTextEdit>("EDID_Memo")->toPlainText().isEmpty());

    // The update window has no close box: a close request does nothing until it offers EXIT.
    QWidget* update = rig.form("UPDATE_FORM");
    update->show();
    closeByWindowSystem(update);
    EXPECT_TRUE(update->isVisible());
    rig.find<QPushButton>("SpeedButton_UPD_EXIT")->setEnabled(true);
    closeByWindowSystem(update);
    EXPECT_FALSE(update->isVisible());
    EXPECT_FALSE(ended);
    QObject::disconnect(c);
}

namespace {
QJ_BUSY_STATES(Busy, Reading)
}  // namespace

TEST(ModeWindow, BusyStateIsHandedBackOnlyAfterTheLastUpdatesAreShown) {
    ModeWindow w("Test_form", "test", 300, 200);
    auto* memo = w.makeMemo("Test_Memo", 0, 0, 300, 150);
    auto* button = w.makeButton("Test_BUTTON", "GO", 0, 180, 40, 20);
    w.setMemo(memo);
    qj::BusyState<Busy> busy;
    busy.set(Busy::Reading);
    button->setEnabled(false);
    std::thread worker([&] {
        w.view().log("Reading completed successfully.");
        w.view().setEnabled("Test_BUTTON", true);
        w.view().handBack([&] { busy.set(Busy::NONE); });
    });
    worker.join();
    EXPECT_EQ(busy.text(), "Reading");  // still the worker's until the UI has caught up
    ASSERT_TRUE(waitFor([&] { return busy.idle(); }));
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(memo->toPlainText(), "Reading completed successfully.");
}

TEST(ModeWindow, ACallNamingAControlTheWindowDoesNotHaveIsReported) {
    ModeWindow w("Test_form", "test", 300, 200);
    w.makeButton("Test_BUTTON", "GO", 0, 180, 40, 20);
    w.view().setEnabled("Test_BUTTON", false);
    w.view().setText("Test_BUTON", "typo");
    w.view().setColor("Other_Form_LABEL", 0x0000FF);
    EXPECT_EQ(w.view().unknownControls(), (std::vector<std::string>{"Test_BUTON", "Other_Form_LABEL"}));
}

TEST(ModeWindow, ButtonFaceRestoresTheStyleAndOwnPaintersGetTheirColour) {
    ModeWindow w("Test_form", "test", 300, 200);
    auto* combo = w.makeCombo("Test_COMBO", 0, 0, 100, 20);
    const QColor before = combo->palette().color(QPalette::Button);
    w.view().setColor("Test_COMBO", 0x00FFFF);
    EXPECT_EQ(combo->palette().color(QPalette::Button), QColor(255, 255, 0));
    EXPECT_TRUE(combo->autoFillBackground());
    w.view().setColor("Test_COMBO", qj::kButtonFace);
    EXPECT_EQ(combo->palette().color(QPalette::Button), before);
    EXPECT_FALSE(combo->autoFillBackground());

    struct Cell : QWidget, BgrPaintable {
        using QWidget::QWidget;
        void setBgr(uint32_t b) override { got.push_back(b); }
        std::vector<uint32_t> got;
    };
    auto* cell = new Cell(&w);
    cell->setObjectName("Shape2");
    w.view().setColor("Shape2", 0x0000FF);
    w.view().setColor("Shape2", 0x0000FF);  // the same colour twice still reaches the cell
    EXPECT_EQ(cell->got, (std::vector<uint32_t>{0x0000FF, 0x0000FF}));
    EXPECT_FALSE(cell->autoFillBackground());
}

// A coloured READ or WRITE caption shows its colour while the button can be
// pressed, and the style's grey while it cannot, as EXIT does.
TEST(ModeWindow, ColouredButtonsLookDisabledWhenDisabled) {
    GuiRig rig("jig=ENE_EDID_KB");
    // Whether some pixel of the button is clearly of the tint (green or red).
    auto tinted = [](QWidget* w, bool green) {
        const QImage img = w->grab().toImage();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                const int main = green ? c.green() : c.red();
                const int other = std::max(green ? c.red() : c.green(), c.blue());
                if (main - other > 60) return true;
            }
        return false;
    };
    const std::pair<const char*, bool> buttons[] = {{"ITE_READ_BitBtn", true}, {"ITE_WRITE_BitBtn", false},
                                                    {"NPCE_READ", true},       {"NPCE_WRITE", false}};
    for (const auto& [name, green] : buttons) {
        auto* b = rig.find<QPushButton>(name);
        ASSERT_NE(b, nullptr) << name;
        b->setEnabled(true);
        EXPECT_TRUE(tinted(b, green)) << name;
        b->setEnabled(false);
        EXPECT_FALSE(tinted(b, green)) << name;
    }
}
