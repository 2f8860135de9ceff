// The jig's own firmware: the Intel HEX upgrade through its bootloader (115200
// baud) and the version 3 update (raw blocks at 921600), from the first line
// of the image transfer to the end. `firmware_bench --help` for the options.
#include "BenchTable.h"
#include "control/JigControl.h"

namespace {

bool runStart(qjb::Probe& p, const std::string& mode, const std::string& beginLine, const std::string& doneLine) {
    qjb::MarkingView view(p, {beginLine});
    qj::JigControl ctl(p.api(), view, qj::StartLog(p.dir() + "/Start_log.txt"), qjb::Probe::programDir());
    if (ctl.start(mode) != qj::JigControl::StartOutcome::UpgradeStarted) return false;
    ctl.waitUpgrade();
    return view.saw(doneLine);
}

// An ENE jig asked for the ITE mode is flashed with the ITE image.
bool upgrade(qjb::Probe& p) {
    return runStart(p, "ITE", "Update firmware ... ", "Exit from BOOT and RUN ... ");
}

// A version 3 jig on an older firmware; the user presses reset at 0.5 s.
bool updateV3(qjb::Probe& p) {
    return runStart(p, "MEC jtag", "Bootloader M328 ANSWER_OK", "UPDATE completed successfully.");
}

QJB_ENTRY(upgrade, "Firmware upgrade (Intel HEX)", "jig=ENE_EDID_KB");
QJB_ENTRY(updateV3, "Firmware update, version 3", "jig=M328_EPM240_v18,reset-after=500");

}  // namespace

int main(int argc, char** argv) { return qjb::runTable(argc, argv); }
