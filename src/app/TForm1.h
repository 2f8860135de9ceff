#pragma once
// The main window: the mode selector, Start and Exit, and the two timers.
#include <QWidget>
#include <memory>

#include "ui/ModeWindow.h"

namespace qj {
class JigControl;
}
class QComboBox;
class QPushButton;
class QTimer;
class TUPDATE_FORM;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(const AppContext& ctx);
    ~TForm1() override;
    // Called once every window exists: the jig control reports to the update window.
    void attachUpdateWindow(TUPDATE_FORM* update);
    qj::JigControl& control() { return *control_; }

    void ExitClick();
    void MAIN_CONNECTClick();
    void Timer_5SECTimer();
    void Timer_RUNTimer();

protected:
    // The main form: closing it ends the program, whatever else is still up.
    void closeEvent(QCloseEvent* e) override;

private:
    AppContext ctx_;
    QComboBox* selector_;
    QPushButton* start_;
    QTimer* timer5_;
    QTimer* timerRun_;
    TUPDATE_FORM* update_ = nullptr;
    std::unique_ptr<qj::JigControl> control_;
};
