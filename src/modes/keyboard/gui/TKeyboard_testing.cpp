#include "modes/keyboard/gui/TKeyboard_testing.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "modes/keyboard/KeyboardCore.h"
#include "modes/Modes.h"
#include "ui/TCGauge.h"
#include "ui/TShape.h"

namespace {
using qj::keyboard::KeyboardCore;

class StatusLabel : public QLabel, public BgrPaintable {
public:
    using QLabel::QLabel;
    void setBgr(uint32_t bgr) override {
        setProperty("bgr", QVariant::fromValue<uint>(bgr));
        QPalette p = palette();
        p.setColor(QPalette::WindowText, colorFromBgr(bgr));
        setPalette(p);
    }
};
}  // namespace

QRect TKeyboard_testing::cellRect(int i, int j) {
    return QRect(20 + 15 * (j - 2) + 8 * ((j - 1) / 5), 40 + 15 * (i - 1) + 5 * ((i - 1) / 5), 17, 10);
}

TKeyboard_testing::TKeyboard_testing(const AppContext& ctx)
    : CoreWindow(qj::mode(qj::ModeId::Keyboard).form.c_str(),
                 QString::fromUtf8("Keyboard_testing 01_07_2017"), 580, 548) {
    core_ = std::make_unique<KeyboardCore>(ctx.api, view());
    setFont(courier(13));

    for (int i = 1; i <= 31; ++i)
        for (int j = i + 1; j <= 32; ++j)
            new TShape(QString::fromStdString(KeyboardCore::cellName((i - 1) * 32 + j)), cellRect(i, j),
                       qj::kAqua, 3, this);

    // Column numbers over the columns 2, 6, 11, ... 31; row numbers at the right.
    auto* cols = makeLabel("Label_keybord", " 2       6       11        16       21       26       31", 16, 20, 540, 16);
    cols->setFont(courier(15, true));
    const int rows[] = {1, 6, 11, 16, 21, 26, 31};
    for (int k = 0; k < 7; ++k) {
        const QRect c = cellRect(rows[k], 32);
        auto* l = makeLabel(QString("Label%1").arg(k + 1), QString::number(rows[k]), c.right() + 8, c.top() - 3, 28, 16);
        l->setFont(courier(15, true));
    }

    auto* status = new StatusLabel("Press start scan", this);
    status->setObjectName(KeyboardCore::kStatusLabel);
    status->setGeometry(20, 296, 250, 26);
    status->setFont(courier(18, true));
    view().setColor(KeyboardCore::kStatusLabel, qj::kRed);

    auto* start = makeButton(KeyboardCore::kStartButton, "START SCAN", 20, 336, 160, 44);
    auto* clear = makeButton("Clear", "Clear", 196, 336, 90, 44);
    auto* buzzer = makeCheck(KeyboardCore::kBuzzerBox, "Buzzer off", 20, 394, 200, 22);
    auto* hide = makeCheck(KeyboardCore::kHideBox, "Hide current", 20, 420, 200, 22);
    hide->setEnabled(false);
    auto* exit = makeButton(KeyboardCore::kExitButton, "EXIT", 20, 470, 160, 49);
    setExitButton(exit);
    for (QPushButton* b : {start, exit}) b->setFont(courier(20, true));
    clear->setFont(courier(16, true));
    buzzer->setFont(courier(15, true));
    hide->setFont(courier(15, true));
    auto* timer = makeTimer("Timer_KEYB", 500);

    connect(start, &QPushButton::clicked, this, [this] { START_SCANClick(); });
    connect(exit, &QPushButton::clicked, this, [this] { EXIT_KB_TESTClick(); });
    connect(clear, &QPushButton::clicked, this, [this] { ClearClick(); });
    // toggled, not clicked: the scan's stop unchecks the box through the view.
    connect(buzzer, &QCheckBox::toggled, this, [this](bool on) { core_->Buzzer_boxClick(on); });
    connect(hide, &QCheckBox::clicked, this, [this](bool on) { CheckBox_HIDEClick(on); });
    connect(timer, &QTimer::timeout, this, [this] { Timer_KEYBTimer(); });
    FormCreate();
}

void TKeyboard_testing::FormCreate() { core_->FormCreate(); }
void TKeyboard_testing::START_SCANClick() { core_->START_SCANClick(); }
void TKeyboard_testing::EXIT_KB_TESTClick() { core_->EXIT_KB_TESTClick(); }
void TKeyboard_testing::ClearClick() { core_->ClearClick(); }
void TKeyboard_testing::CheckBox_HIDEClick(bool checked) { core_->CheckBox_HIDEClick(checked); }
// The scan measures its own 500 ms on the backend's clock and never needs this
// timer to give up; a tick still means the jig is lost.
void TKeyboard_testing::Timer_KEYBTimer() { core_->Timer_KEYBTimer(); }
