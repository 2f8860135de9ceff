// ENE KB90xx read and write with verify through the virtual jig: its rows of the benchmark table
// (see bench/BenchTable.h), under line and USB timing against their bounds.
//
//   ene_bench [--timing line,usb,usb16] [--keys K=V,...]
#include <cstdio>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "jig/ftdi/FtdiApi.h"
#include "modes/ene/EneCore.h"
#include "sim/SimFtdi.h"

using namespace qj;

namespace {

// The table's entries: the transfer proper, from its first log line on.
bool eneTableRun(qjb::Probe& p, bool write) {
    const std::string image = p.dir() + "/image.bin", dump = p.dir() + "/dump.bin";
    if (write && !qjb::writePattern(image, 128 * 1024)) return false;
    qjb::MarkingView view(p, {"Reading KB90XX ...", "There is a writing KB90XX..."}, dump, image);
    ene::EneCore core(p.api(), view);
    if (write) core.KB901X_WRITEClick();
    else core.KB901X_READClick();
    core.waitIdle();
    return core.lastOutcome() == ene::EneCore::Outcome::Ok;
}
bool eneRead(qjb::Probe& p) { return eneTableRun(p, false); }
bool eneWrite(qjb::Probe& p) { return eneTableRun(p, true); }
QJB_ENTRY(eneRead, "ENE read", "jig=ENE_EDID_KB,ene-pattern=random");
QJB_ENTRY(eneWrite, "ENE write + verify", "jig=ENE_EDID_KB");

}  // namespace

int main(int argc, char** argv) { return qjb::runTable(argc, argv); }
