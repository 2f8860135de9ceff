// NPCE read and erase + write + verify through the virtual jig: its rows of the benchmark table
// (see bench/BenchTable.h), under line and USB timing against their bounds.
//
//   npce_bench [--timing line,usb,usb16] [--keys K=V,...]
#include <cstdio>
#include <string>

#include "BenchTable.h"
#include "modes/npce/NpceCore.h"
#include "sim/SimConfig.h"
#include "sim/SimFtdi.h"

using namespace qj;

namespace {

// The table's entries: the transfer proper, from its first log line on.
bool npceTableRun(qjb::Probe& p, bool write) {
    const std::string image = p.dir() + "/image.bin", dump = p.dir() + "/dump.bin";
    if (write && !qjb::writePattern(image, size_t(npce::kImageSize))) return false;
    qjb::MarkingView view(p, {"Reading ...", "Erase ..."}, dump, image);
    npce::NpceCore core(p.api(), view);
    if (write) core.NPCE_WRITEClick();
    else core.NPCE_READClick();
    core.waitIdle();
    return core.lastOutcome() == npce::NpceCore::Outcome::Ok;
}
bool npceRead(qjb::Probe& p) { return npceTableRun(p, false); }
bool npceWrite(qjb::Probe& p) { return npceTableRun(p, true); }
QJB_ENTRY(npceRead, "NPCE read", "jig=NPCE_Q37");
QJB_ENTRY(npceWrite, "NPCE erase + write + verify", "jig=NPCE_Q37,npce-erase-ms=500");

}  // namespace

int main(int argc, char** argv) { return qjb::runTable(argc, argv); }
