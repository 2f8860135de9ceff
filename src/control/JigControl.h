#pragma once
// The main window's jig control without widgets: Start, the upgrade thread
// ReadThread_UPD, and the mode dispatch of Timer_RUN, all read from the mode
// table. The GUI's TForm1, the CLI's "start" and the tests drive this object.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jig/JigLink.h"
#include "jig/ModeView.h"
#include "jig/StartLog.h"
#include "jig/Worker.h"
#include "jig/firmware/V3Update.h"
#include "modes/Modes.h"

namespace qj {

class JigControl;

class ReadThread_UPD {
public:
    explicit ReadThread_UPD(JigControl& c) : c_(c) {}
    void start();
    bool running() const { return running_.load(); }
    void join() { thread_.join(); }

private:
    JigControl& c_;
    std::atomic<bool> running_{false};
    WorkerThread thread_;
};

class JigControl {
public:
    enum class StartOutcome { Nothing, Busy, NoJig, Version3Refused, StandInRefused, UpgradeStarted };

    // `view` is the update window (Memo_UPDATE, CGauge_UPD, SpeedButton_UPD_EXIT)
    // and reaches the other windows and timers by name; message boxes too.
    // `programDir` is the executable's folder with its trailing separator.
    JigControl(FtdiApi& api, ModeView& view, StartLog log, std::string programDir);
    ~JigControl();

    // MAIN_CONNECTClick for the selected item text. The caller clears the update
    // window's log first (it owns that memo).
    StartOutcome start(const std::string& mode);
    // Timer_5SECTimer. A tick long before the current wait's five seconds are
    // up belongs to an earlier arming (the timer of a previous run, firing just
    // as this run re-arms it) and is ignored.
    void Timer_5SECTimer();
    // Timer_RUNTimer: appends the dispatch lines; returns the form to show
    // instead of the main window, or "" when the mode matches none.
    std::string Timer_RUNTimer();

    // The body of ReadThread_UPD (runs on that thread).
    void Execute();
    bool upgradeRunning() const { return thread_.running(); }
    void waitUpgrade() { thread_.join(); }

    const StartLog& startLog() const { return log_; }
    ModeView& view() { return view_; }
    FtdiApi& api() { return api_; }
    const std::string& programDir() const { return programDir_; }

    // FiveSecondsElapsed: set by Timer_5SEC on the UI thread; the upgrade thread
    // also checks its own deadline on the backend clock, so the bound holds
    // without an event loop (CLI) or with a virtual clock (tests).
    std::atomic<bool> FiveSecondsElapsed{false};
    bool fiveSecondsElapsed();
    void armFiveSeconds();

    // The update window's EXIT while an upgrade waits for the user: give up.
    std::atomic<bool> GiveUpRequested{false};
    void requestGiveUp() { GiveUpRequested.store(true); }

    // The version 3 update (raw image at 921600 baud).
    V3Result UpdateJigV3();
    // Steps 3.2 to 10 of the upgrade: boot entry, bootloader, flashing, restart.
    void bootAndFlash();
    // With several devices and none answering, the upgrade waits on the one
    // device the link kept: the lines that tell the user which one (none otherwise).
    std::vector<std::string> waitingDeviceNotice() const;

private:
    // The image the upgrade would send for the identified jig and the mode
    // ("" when the jig already runs the mode's firmware).
    std::string imageToFlash() const;
    // Whether the identified jig already runs the firmware the mode needs.
    bool runsModeFirmware() const;

    FtdiApi& api_;
    ModeView& view_;
    StartLog log_;
    std::string programDir_;
    JigLink link_;
    std::string JigIdent;
    Identified identified_ = Identified::NoDevice;
    std::string mode_;
    std::atomic<int64_t> fiveSecondsDeadline_{0};
    ReadThread_UPD thread_;
};

}  // namespace qj
