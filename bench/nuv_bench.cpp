// Nuvoton JTAG read and erase + write (after the settings and the script) through the virtual jig: its rows of the benchmark table
// (see bench/BenchTable.h), under line and USB timing against their bounds.
//
//   nuv_bench [--timing line,usb,usb16] [--keys K=V,...]
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchTable.h"
#include "jig/ftdi/FtdiApi.h"
#include "modes/nuv/NuvCore.h"
#include "sim/SimConfig.h"
#include "sim/SimFtdi.h"

using namespace qj;

namespace {

// The table's entries: settings and script first, then the transfer proper
// from its first log line on.
bool nuvTableRun(qjb::Probe& p, bool write) {
    const std::string image = p.dir() + "/image.bin", dump = p.dir() + "/dump.bin";
    if (write && !qjb::writePattern(image, size_t(nuv::kImageSize))) return false;
    qjb::MarkingView view(p, {"Reading ...", "Erase blocks..."}, dump, image);
    nuv::NuvCore core(p.api(), view, qjb::Probe::programDir());
    core.BitBtn_SETTINGSClick();
    core.BitBtn_CONNECTClick();
    core.waitIdle();
    if (core.step() != nuv::NuvCore::Step::Transfer) return false;
    if (write) core.BitBtn_NUV_JTAG_WRClick();
    else core.BitBtn_NUV_JTAG_RDClick();
    core.waitIdle();
    p.end();
    core.Timer_MSG_ERTimer();
    return core.lastOutcome() == qj::Outcome::Ok;
}
bool nuvRead(qjb::Probe& p) { return nuvTableRun(p, false); }
bool nuvWrite(qjb::Probe& p) { return nuvTableRun(p, true); }
QJB_ENTRY(nuvRead, "Nuvoton JTAG read", "jig=M328_EPM240_v19");
QJB_ENTRY(nuvWrite, "Nuvoton JTAG erase + write", "jig=M328_EPM240_v19");

}  // namespace

int main(int argc, char** argv) { return qjb::runTable(argc, argv); }
