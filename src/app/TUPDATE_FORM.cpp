#include "app/TUPDATE_FORM.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "control/JigControl.h"
#include "ui/TCGauge.h"

TUPDATE_FORM::TUPDATE_FORM(const AppContext&) : ModeWindow(qj::kUpdateForm, "Update FW for PCB2 and PCB3", 499, 370) {
    // Always on top, no border icons.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setCursor(Qt::PointingHandCursor);
    memo_ = makeMemo("Memo_UPDATE", 16, 16, 457, 217);
    memo_->setFont(courier(11));
    // A vertical scroll bar only: long lines (an image path) wrap.
    memo_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMemo(memo_);
    TCGauge* gauge = makeGauge("CGauge_UPD", 16, 240, 457, 17, 100);
    gauge->setForeColor(0xFF0000);  // blue bar
    setGauge(gauge);
    exit_ = makeButton(qj::kUpdateExitButton, "EXIT", 160, 272, 177, 49);
    exit_->setFont(courier(27, true));
    exit_->setEnabled(false);
    connect(exit_, &QPushButton::clicked, this, &TUPDATE_FORM::SpeedButton_UPD_EXITClick);
    timerMsg_ = makeTimer(qj::kResetPromptTimer, 200);
    connect(timerMsg_, &QTimer::timeout, this, &TUPDATE_FORM::TimerMSGTimer);
}

void TUPDATE_FORM::SpeedButton_UPD_EXITClick() {
    // While the upgrade still waits for the user, EXIT means "give up": the
    // thread ends with its failure and offers EXIT again.
    if (control_ && control_->upgradeRunning()) {
        control_->requestGiveUp();
        return;
    }
    memo_->clear();
    exit_->setEnabled(false);
    hide();
}

void TUPDATE_FORM::closeEvent(QCloseEvent* e) {
    if (isVisible() && exit_->isEnabled()) exit_->click();
    e->setAccepted(!isVisible());
}

void TUPDATE_FORM::TimerMSGTimer() {
    timerMsg_->stop();
    view().messageBox(qj::BoxKind::Information, " Please press the reset button on the JIG!");
}
