#pragma once
// The keyboard tester without widgets. The jig scans the 32 contacts of the
// keyboard's cable and reports every connected pair; each pair has a cell
// "Shape<code>", code = (first - 1) * 32 + second. The scan runs on the worker
// ReadThread_keyboard until STOP; the cells are painted through the view (the
// window queues that to its UI thread) and the core keeps its own copy of each
// cell's colour for the red/yellow toggle.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "jig/JigLink.h"
#include "jig/ModeView.h"
#include "jig/Worker.h"

namespace qj::keyboard {

class KeyboardCore;

// The busy state while a scan runs, by the name the window knows it.
QJ_BUSY_STATES(Busy, Keyboard)

// The scan's worker thread: runs KeyboardCore::Execute once per START SCAN.
using ReadThread_keyboard = ReadThread<KeyboardCore>;

class KeyboardCore : public Operations<Busy> {
public:
    static constexpr size_t kReportSize = 1024;
    static constexpr size_t kHiddenMax = 1000;
    static constexpr uint32_t kWatchdogMs = 500;      // Timer_KEYB
    static constexpr int64_t kBuzzerOffPauseMs = 100;
    static constexpr uint32_t kPollSliceMs = 50;      // longest wait between looks at the clear request

    // Object names of the window's controls (and the cells, cellName).
    static constexpr const char* kStatusLabel = "Label_keyb_con";
    static constexpr const char* kStartButton = "START_SCAN";
    static constexpr const char* kExitButton = "EXIT_KB_TEST";
    static constexpr const char* kBuzzerBox = "Buzzer_box";
    static constexpr const char* kHideBox = "CheckBox_HIDE";

    enum class Hide { None, Start, End };

    // One complete report as the scan handled it (for the CLI and the tests).
    struct Report {
        std::vector<uint8_t> bytes;              // up to and including '&'
        std::vector<std::pair<int, int>> pairs;  // (first, second) as reported
        bool keyFound = false;                   // a cell was painted
    };
    using Observer = std::function<void(const Report&)>;

    // `view` is the keyboard window: the cells Shape2..Shape992 and the
    // controls above; EXIT goes back to the main window.
    KeyboardCore(FtdiApi& api, ModeView& view);
    ~KeyboardCore();  // asks a running scan to stop and waits for it

    void FormCreate();
    void START_SCANClick();
    void EXIT_KB_TESTClick();
    void ClearClick() { clearRequest_.store(true); }
    void CheckBox_HIDEClick(bool checked);
    // The state of Buzzer_box (checked: "Buzzer off").
    void Buzzer_boxClick(bool checked) { buzzerOff_.store(checked); }
    // Timer_KEYB's tick: the jig is lost. The scan also measures the same
    // 500 ms on the backend's clock, so it needs no timer to give up.
    void Timer_KEYBTimer() { linkError_.store(true); }
    // The body of ReadThread_keyboard: the scan loop.
    void Execute();

    // Called on the worker after each complete report; set before a scan starts.
    void setObserver(Observer o) { observer_ = std::move(o); }

    std::string busyState() const { return busy(); }
    bool scanning() const { return !busy_.idle(); }
    void waitIdle() { thread_.join(); }
    uint32_t cellColor(int code) const;
    std::vector<int> hiddenList() const;
    Hide hideState() const;
    bool linkError() const { return linkError_.load(); }
    bool overflowed() const { return overflow_.load(); }

    static bool isCell(int code);
    static std::string cellName(int code) { return "Shape" + std::to_string(code); }
    // The pairs of a report up to its '&': '>' starts a group; a group's first
    // byte is the first contact, each later byte a second contact.
    static std::vector<std::pair<int, int>> parsePairs(const uint8_t* p, size_t n);

private:
    void setStatus(const std::string& text, uint32_t colour);
    void handleReport();
    void buzz();
    void paint(int code, uint32_t colour);
    void paintAllAqua();
    void armWatchdog();
    bool watchdogExpired();
    void stop(bool error);

    std::atomic<bool> stopRequest_{false};
    std::atomic<bool> clearRequest_{false};
    std::atomic<bool> linkError_{false};
    std::atomic<bool> overflow_{false};
    std::atomic<bool> buzzerOff_{false};

    mutable std::mutex hideMu_;  // hide state and hidden list: the UI thread and the worker
    Hide hide_ = Hide::None;
    std::vector<int> hidden_;

    std::array<std::atomic<uint32_t>, 1025> cells_;
    std::array<uint8_t, kReportSize> report_{};
    size_t reportLen_ = 0;
    bool watchdogOn_ = false;
    int64_t watchdogEnd_ = 0;
    Observer observer_;
    ReadThread_keyboard thread_{*this};
};

}  // namespace qj::keyboard
