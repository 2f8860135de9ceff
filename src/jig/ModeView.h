#pragma once
// The only way a mode core reaches the user. The GUI window implements it (calls
// from a worker thread are queued to the UI thread, in order); the CLI prints;
// tests record. Controls and windows are named by their object names.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "jig/Colours.h"

namespace qj {

enum class BoxKind { Error, Information, Warning };

// The two memos of a two-language window (the ITE window): Russian in the
// window's log memo, English in its second memo.
enum class Lang { Ru, En };

// Object names that several parts give: the main window, the update window and
// its EXIT, and the one-shot timers of those two windows.
inline constexpr const char* kMainForm = "Form1";
inline constexpr const char* kUpdateForm = "UPDATE_FORM";
inline constexpr const char* kUpdateExitButton = "SpeedButton_UPD_EXIT";
inline constexpr const char* kRunTimer = "Timer_RUN";
inline constexpr const char* kFiveSecondTimer = "Timer_5SEC";
inline constexpr const char* kResetPromptTimer = "TimerMSG";

class ModeView {
public:
    virtual ~ModeView() = default;

    virtual void log(const std::string& line) = 0;
    // Clears the log memo (and the second memo of a two-language window).
    virtual void clearLog() = 0;
    // One memo of a two-language window: Russian lines go to the log memo,
    // English lines to the second memo (a view without one drops them).
    virtual void logLang(Lang lang, const std::string& line) {
        if (lang == Lang::Ru) log(line);
    }
    // The same line in both languages, in the same order in both memos.
    void log2(const std::string& ru, const std::string& en) {
        logLang(Lang::Ru, ru);
        logLang(Lang::En, en);
    }
    void log2(const std::string& both) { log2(both, both); }

    // Logs the window's time label followed by the local time of day.
    void timeStamp() { timeStamp(timeLabel()); }
    void timeStamp(const std::string& label) { log(label + timeNow()); }
    // The stamp in both memos of a two-language window, each memo with its own
    // label ("Текущее время  " and the window's label, "Current time  ").
    void timeStamp2() {
        const std::string t = timeNow();
        log2("Текущее время  " + t, timeLabel() + t);
    }
    // The label of timeStamp(): "Current time  " unless the window has its own.
    const std::string& timeLabel() const { return timeLabel_; }
    void setTimeLabel(std::string label) { timeLabel_ = std::move(label); }
    // The local time of day in the long time format (a test view fixes it).
    virtual std::string timeNow() const;

    virtual void gaugeColor(uint32_t bgr) = 0;  // 0x00BBGGRR
    virtual void gaugeMax(int max) = 0;
    virtual void gaugePos(int pos) = 0;

    // Named controls of the window (object names).
    virtual void setEnabled(const std::string& control, bool on) = 0;
    virtual void setText(const std::string& control, const std::string& text) = 0;
    virtual void setColor(const std::string& control, uint32_t bgr) = 0;
    virtual void setChecked(const std::string& control, bool on) = 0;
    virtual void setVisible(const std::string& control, bool on) { (void)control, (void)on; }

    // A modal box with one OK button. From a worker thread it is queued.
    virtual void messageBox(BoxKind kind, const std::string& text) = 0;
    // The window's save or open dialog; nothing when the user cancelled.
    virtual std::optional<std::string> askSavePath() = 0;
    virtual std::optional<std::string> askOpenPath() = 0;

    // Windows by form name (kMainForm, kUpdateForm, a mode's form) and one-shot
    // timers by name (kRunTimer, kFiveSecondTimer, kResetPromptTimer).
    virtual void showWindow(const std::string& form, bool visible) = 0;
    virtual void armTimer(const std::string& timer) = 0;

    // Runs `fn` once every update issued so far has reached the user. A worker
    // hands its busy state back through this, so a new operation cannot start
    // before the end of the last one is on the screen.
    virtual void handBack(std::function<void()> fn) { fn(); }

private:
    std::string timeLabel_ = "Current time  ";
};

// A view that discards everything (for cores run without a front end).
class NullView : public ModeView {
public:
    void log(const std::string&) override {}
    void clearLog() override {}
    void gaugeColor(uint32_t) override {}
    void gaugeMax(int) override {}
    void gaugePos(int) override {}
    void setEnabled(const std::string&, bool) override {}
    void setText(const std::string&, const std::string&) override {}
    void setColor(const std::string&, uint32_t) override {}
    void setChecked(const std::string&, bool) override {}
    void messageBox(BoxKind, const std::string&) override {}
    std::optional<std::string> askSavePath() override { return std::nullopt; }
    std::optional<std::string> askOpenPath() override { return std::nullopt; }
    void showWindow(const std::string&, bool) override {}
    void armTimer(const std::string&) override {}
};

}  // namespace qj
