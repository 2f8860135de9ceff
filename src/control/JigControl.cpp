#include "control/JigControl.h"

#include <utility>

#include "jig/Text.h"
#include "jig/firmware/JigFiles.h"
#include "jig/firmware/StandIn.h"
#include "jig/firmware/V3Update.h"

namespace qj {

void ReadThread_UPD::start() {
    running_ = true;
    thread_.start([this] {
        c_.Execute();
        running_ = false;
    });
}

JigControl::JigControl(FtdiApi& api, ModeView& view, StartLog log, std::string programDir)
    : api_(api), view_(view), log_(std::move(log)), programDir_(std::move(programDir)), link_(api), thread_(*this) {}

JigControl::~JigControl() {
    // Closing the program while the upgrade waits for the user's reset must not
    // keep the program hanging for the rest of that wait.
    requestGiveUp();
    thread_.join();
}

JigControl::StartOutcome JigControl::start(const std::string& mode) {
    if (mode == kPromptItem) return StartOutcome::Nothing;
    // A second Start while the upgrade thread owns the link would share it.
    if (thread_.running()) return StartOutcome::Busy;
    thread_.join();
    mode_ = mode;

    log_.append("**************************************");
    log_.append(dateTimeNow());
    log_.append("**************************************");
    link_.open(OpenOptions::mainWindowOptions("NOT CLOSE FTDI Handle"), [this](const std::string& s) { log_.append(s); });
    JigIdent = link_.ident();
    identified_ = link_.identified();

    if (identified_ == Identified::NoDevice) {
        view_.messageBox(BoxKind::Error, "JIG not connected to the USB port!");
        return StartOutcome::NoJig;
    }
    if (contains(JigIdent, "M328_EPM240") && mode != "MEC jtag") {
        view_.messageBox(BoxKind::Information, "Sorry. \nFor JIG version 3 please use programm version 5.XX or higher!");
        link_.close();
        return StartOutcome::Version3Refused;
    }
    // A stand-in image flashed into a real jig leaves it without a program.
    const std::string image = imageToFlash();
    if (!image.empty() && !api_.ReachesVirtualJig(link_.handle()) && isStandInFile(image)) {
        const std::string why = standInRefusal(image);
        log_.append(why);
        link_.close();
        view_.messageBox(BoxKind::Error, why);
        return StartOutcome::StandInRefused;
    }
    for (const std::string& l : waitingDeviceNotice()) log_.append(l);
    log_.append("ReadThread_UPD start ... ");
    GiveUpRequested = false;
    thread_.start();
    return StartOutcome::UpgradeStarted;
}

std::string JigControl::imageToFlash() const {
    // Looked up as the upgrade looks it up, in every folder that may hold it.
    if (contains(JigIdent, "M328_EPM240"))
        return contains(JigIdent, "M328_EPM240_v19") ? "" : findJigFile(kV3ImageFile, programDir_).path;
    if (runsModeFirmware()) return "";
    const Mode* m = modeByItem(mode_);
    return m ? findJigFile(m->image, programDir_).path : "";
}

bool JigControl::runsModeFirmware() const {
    const Mode* m = modeByItem(mode_);
    return identified_ == Identified::Answered && m && contains(JigIdent, m->firmware);
}

std::vector<std::string> JigControl::waitingDeviceNotice() const {
    if (identified_ != Identified::NoAnswer || link_.deviceCount() < 2 || !link_.isOpen()) return {};
    const std::string k = std::to_string(link_.deviceIndex());
    return {std::to_string(link_.deviceCount()) + " FTDI devices, none answered: waiting for the bootloader on device " +
                k + ".",
            "The JIG must be device " + k + " (unplug the other FTDI devices otherwise)."};
}

std::string JigControl::Timer_RUNTimer() {
    log_.append("User select -> " + mode_);
    log_.append("Go to application. End.");
    const Mode* m = modeByItem(mode_);
    return m ? m->form : "";
}

void JigControl::Timer_5SECTimer() {
    constexpr int64_t kTickJitterMs = 250;  // a timer may fire a little early
    if (api_.clock().nowMs() + kTickJitterMs >= fiveSecondsDeadline_.load()) FiveSecondsElapsed.store(true);
}

bool JigControl::fiveSecondsElapsed() {
    return FiveSecondsElapsed.load() || api_.clock().nowMs() >= fiveSecondsDeadline_;
}

void JigControl::armFiveSeconds() {
    FiveSecondsElapsed = false;
    fiveSecondsDeadline_ = api_.clock().nowMs() + 5000;
    view_.armTimer(kFiveSecondTimer);
}

void JigControl::Execute() {
    if (contains(JigIdent, "M328_EPM240")) {
        link_.close();
        view_.showWindow(kUpdateForm, true);
        if (UpdateJigV3() == V3Result::Ok) {
            view_.showWindow(kUpdateForm, false);
            view_.gaugePos(0);
            view_.armTimer(kRunTimer);
        } else {
            view_.setEnabled(kUpdateExitButton, true);
            view_.showWindow(kMainForm, true);
        }
        return;
    }
    view_.showWindow(kUpdateForm, true);
    view_.log("Current version of FW -> " + JigIdent);
    view_.log("User select -> " + mode_);
    if (runsModeFirmware()) {
        view_.armTimer(kRunTimer);
        view_.showWindow(kUpdateForm, false);
        link_.close();
        return;
    }
    bootAndFlash();
}

}  // namespace qj
