#pragma once
// The base of every window but the main one: form name, caption, fixed client
// size, its ModeView, and helpers that place controls at exact positions.
#include <QWidget>
#include <string>

#include "jig/ftdi/FtdiApi.h"
#include "ui/QtModeView.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class TCGauge;

// What every window is built with.
struct AppContext {
    qj::FtdiApi& api;
    std::string programDir;  // the executable's folder, trailing separator included
};

// Courier New (or the closest fixed-pitch face) at a pixel size.
QFont courier(int pixelSize, bool bold = false);

// A control's text colour while it is enabled; disabled, it keeps the style's
// grey, so a coloured button that cannot be pressed looks it.
void textColour(QWidget* w, const QColor& c);

class ModeWindow : public QWidget {
    Q_OBJECT
public:
    ModeWindow(const QString& formName, const QString& caption, int clientWidth, int clientHeight,
               QWidget* parent = nullptr);

    QtModeView& view() { return *view_; }
    void setMemo(QPlainTextEdit* memo) { view_->setMemo(memo); }
    void setSecondMemo(QPlainTextEdit* memo) { view_->setSecondMemo(memo); }
    void setGauge(TCGauge* gauge) { view_->setGauge(gauge); }
    void setSaveDialog(const QString& title, const QString& filter, const QString& defaultName,
                       const QString& defaultExt) {
        view_->setSaveDialog({title, filter, defaultName, defaultExt});
    }
    void setOpenDialog(const QString& title, const QString& filter) { view_->setOpenDialog({title, filter, {}, {}}); }
    // Leaving the window: the main window comes back, this one hides.
    void exitToMain();
    // The button the window system's close box stands for. Without one, the
    // window's button whose name holds "EXIT" is taken.
    void setExitButton(QAbstractButton* b) { exit_ = b; }
    QAbstractButton* exitButton() const;

    // Control factories; `parent` defaults to the window itself.
    QPushButton* makeButton(const QString& name, const QString& caption, int x, int y, int w, int h,
                            QWidget* parent = nullptr);
    QPlainTextEdit* makeMemo(const QString& name, int x, int y, int w, int h, QWidget* parent = nullptr);
    QLabel* makeLabel(const QString& name, const QString& text, int x, int y, int w, int h, QWidget* parent = nullptr);
    QComboBox* makeCombo(const QString& name, int x, int y, int w, int h, QWidget* parent = nullptr);
    QCheckBox* makeCheck(const QString& name, const QString& caption, int x, int y, int w, int h,
                         QWidget* parent = nullptr);
    TCGauge* makeGauge(const QString& name, int x, int y, int w, int h, int maxValue, QWidget* parent = nullptr);
    QGroupBox* makeGroup(const QString& name, const QString& caption, int x, int y, int w, int h);
    QTimer* makeTimer(const QString& name, int intervalMs);

protected:
    // The close box never ends the program (only the main window does): when
    // the window is idle it does what EXIT does; while an operation runs, or
    // EXIT is disabled, it does nothing and the log (or a box, in a window
    // without one) says why.
    void closeEvent(QCloseEvent* e) override;
    // Whether an operation runs now. A window whose EXIT stays enabled while
    // busy (it stops the operation instead) must say so here.
    virtual bool operationRunning() const { return false; }
    virtual QString busyCloseNotice() const { return "Wait for the operation to finish."; }

private:
    QtModeView* view_;
    QAbstractButton* exit_ = nullptr;
};
