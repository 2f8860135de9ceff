#pragma once
// The update window: the upgrade's log and progress, and EXIT once it failed.
#include "ui/ModeWindow.h"

namespace qj {
class JigControl;
}
class QPlainTextEdit;
class QPushButton;

class TUPDATE_FORM : public ModeWindow {
    Q_OBJECT
public:
    explicit TUPDATE_FORM(const AppContext& ctx);
    void setControl(qj::JigControl* c) { control_ = c; }
    QPlainTextEdit* memo() const { return memo_; }

    void SpeedButton_UPD_EXITClick();
    void TimerMSGTimer();

protected:
    // No close box: a close request from the window system (a key) is EXIT
    // when EXIT is offered, and nothing otherwise.
    void closeEvent(QCloseEvent* e) override;

private:
    qj::JigControl* control_ = nullptr;
    QPlainTextEdit* memo_;
    QPushButton* exit_;
    QTimer* timerMsg_;
};
