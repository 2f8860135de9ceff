#include <cstring>

#include "control/JigControl.h"
#include "jig/Text.h"
#include "jig/firmware/Bootloader.h"
#include "jig/firmware/IntelHex.h"
#include "jig/firmware/V3Update.h"

namespace qj {

namespace {
const char* const kNoBootloader = "You did not press the reset button or error response BOOT_loader";
const char* const kPushReset = "*** PLEASE PUSH RESET BUTTON ! ***";
}  // namespace

// Boot entry, the wait for the bootloader's banner, flashing and the restart.
// Waits: "?" gets 5 reads of 300 ms; the banner wait is the 5 seconds of
// Timer_5SEC (one "U" per 20 ms slice); the bootloader's answers are bounded by
// BootDeadlines. A device that fails under us ends like a silent bootloader.
void JigControl::bootAndFlash() {
    auto giveUp = [&](const char* line) {
        view_.log(line);
        link_.close();
        view_.setEnabled(kUpdateExitButton, true);
    };

    if (identified_ != Identified::NoAnswer) {
        view_.log("Command go to BOOT ... ");
        link_.write({'?'});
        uint8_t b = 0;
        if (!link_.readByteRetrying(5, b) || b != '!') view_.log("*** FAULT ANSWER. PLEASE push reset button ***");
    } else {
        for (const std::string& l : waitingDeviceNotice()) view_.log(l);
        view_.log(kPushReset);
    }

    view_.gaugePos(0);
    link_.setBaud(115200);
    link_.setTimeouts(300, 300);
    link_.eventChar(0x11);  // the XON that ends the banner and every line's answer
    armFiveSeconds();
    uint8_t banner[32];
    std::memset(banner, 0, sizeof banner);
    size_t stored = 0;
    for (int attemptsLeft = 3;;) {
        link_.purge();
        for (;;) {
            link_.write({'U'});
            uint32_t rx = 0, tx = 0;
            const bool alive = api_.WaitQueues(link_.handle(), 1, false, BootDeadlines::kWakeSliceMs) == FT_OK &&
                               link_.status(rx, tx) == FT_OK;
            if (!alive || fiveSecondsElapsed() || GiveUpRequested.load()) return giveUp(kNoBootloader);
            if (rx > 0) break;
        }
        stored = 0;
        uint8_t b = 0;
        while (stored < 16 && link_.readByteRetrying(3, b)) {
            banner[stored++] = b;
            if (b == 0x11) break;
        }
        if (stored > 0 && banner[stored - 1] == 0x11) break;
        if (--attemptsLeft == 0) return giveUp(kNoBootloader);
        view_.log(kPushReset);
    }
    view_.log(hexBytes(banner, stored));
    view_.log("BOOT Q37 connected - " + printable(banner, stored));
    view_.log("Update firmware ... ");

    const Mode* m = modeByItem(mode_);
    JigImage img = loadJigImage(m ? m->image : "", programDir_, view_);
    const std::string outcome = img.loaded() ? FlashJigImage(link_, view_, img.flash, img.end) : img.outcome;
    if (outcome == kErrorFileFormat) view_.log("Error format .hex file for Q37!");
    else if (outcome == kErrorFwUpgrade) view_.log("Flashing Q37 error!");
    else if (outcome == kFwUpgradeOk) view_.log("Exit from BOOT and RUN ... ");

    // Whatever happened, the bootloader is told to start the application.
    std::vector<uint8_t> farewell;
    link_.sendAwaitCount({'g', '\n'}, 5, false, farewell, BootDeadlines::kRunAnswerMs);
    link_.close();

    if (outcome == kFwUpgradeOk) {
        view_.showWindow(kUpdateForm, false);
        view_.armTimer(kRunTimer);
    } else {
        view_.setEnabled(kUpdateExitButton, true);
    }
}

V3Result JigControl::UpdateJigV3() {
    return runV3Update(V3UpdateContext{api_, view_, log_, programDir_, JigIdent, GiveUpRequested});
}

}  // namespace qj
