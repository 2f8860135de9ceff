#pragma once
// ModeView for a Qt window. Calls from a worker thread are queued to the UI
// thread in the order issued; dialogs asked from a worker block until answered.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jig/ModeView.h"

class QPlainTextEdit;
class QWidget;
class TCGauge;

struct DialogSpec {
    QString title;
    QString filter;       // "Text|*.bin|other|*.*"
    QString defaultName;  // save dialogs
    QString defaultExt;
};

// A control that paints a colour of its own (a cell, a status text) instead of
// the view's background fill.
class BgrPaintable {
public:
    virtual ~BgrPaintable() = default;
    virtual void setBgr(uint32_t bgr) = 0;
};

class QtModeView : public QObject, public qj::ModeView {
    Q_OBJECT
public:
    explicit QtModeView(QWidget* window);

    void setMemo(QPlainTextEdit* memo);
    bool hasMemo() const { return !memo_.isNull(); }
    // The second memo of a two-language window (English lines).
    void setSecondMemo(QPlainTextEdit* memo);
    void setGauge(TCGauge* gauge);
    void setSaveDialog(const DialogSpec& d) { save_ = d; }
    void setOpenDialog(const DialogSpec& d) { open_ = d; }
    const DialogSpec& saveDialog() const { return save_; }
    const DialogSpec& openDialog() const { return open_; }
    // The accepted flag of the last dialog (set by the dialog's close query).
    bool accepted() const { return accepted_; }

    void log(const std::string& line) override;
    void logLang(qj::Lang lang, const std::string& line) override;
    void clearLog() override;
    void gaugeColor(uint32_t bgr) override;
    void gaugeMax(int max) override;
    void gaugePos(int pos) override;
    void setEnabled(const std::string& control, bool on) override;
    void setText(const std::string& control, const std::string& text) override;
    void setColor(const std::string& control, uint32_t bgr) override;
    void setChecked(const std::string& control, bool on) override;
    void setVisible(const std::string& control, bool on) override;
    void messageBox(qj::BoxKind kind, const std::string& text) override;
    std::optional<std::string> askSavePath() override;
    std::optional<std::string> askOpenPath() override;
    void showWindow(const std::string& form, bool visible) override;
    void armTimer(const std::string& timer) override;
    void handBack(std::function<void()> fn) override { onUi(std::move(fn)); }

    // Test hooks, process-wide: message boxes and file dialogs answered by the
    // test instead of a modal window.
    struct Hooks {
        std::function<void(qj::BoxKind, const std::string&)> box;
        std::function<std::optional<std::string>(bool save, const QString& form)> dialog;
    };
    static Hooks& hooks();

    // The controls a call named that the window does not have, in order (each
    // is also reported on stderr as it happens): a core and its window out of step.
    const std::vector<std::string>& unknownControls() const { return unknown_; }

    // Qt's file-dialog filter list from "Text|*.bin|other|*.*".
    static QStringList qtFilters(const QString& filter);

private:
    void onUi(std::function<void()> fn);
    QWidget* control(const std::string& name) const;
    std::optional<std::string> runDialog(bool save);

    QWidget* window_;
    QPointer<QPlainTextEdit> memo_, memoEn_;
    QPointer<TCGauge> gauge_;
    DialogSpec save_, open_;
    bool accepted_ = false;
    mutable std::vector<std::string> unknown_;
};

// Finds a top-level window by its form name (objectName).
QWidget* findForm(const QString& form);
