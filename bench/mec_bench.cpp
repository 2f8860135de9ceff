// MEC16xx read of MAIN and INFO and write of MAIN through the virtual jig: its rows of the benchmark table
// (see bench/BenchTable.h), under line and USB timing against their bounds.
//
//   mec_bench [--timing line,usb,usb16] [--keys K=V,...]
#include <cstdio>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "jig/ftdi/FtdiApi.h"
#include "modes/mec/MecCore.h"
#include "sim/SimFtdi.h"

using namespace qj;

namespace {

// The table's entries: the transfer proper, from the last register step before it.
bool mecTableRun(qjb::Probe& p, bool write) {
    const std::string file = p.dir() + "/mec.bin";
    if (write && !qjb::writePattern(file, size_t(mec::kMainSize + mec::kInfoSize))) return false;
    qjb::MarkingView view(p, {"Write to reg FF3908h 105h", "Записали в регистр FF3904h 0"}, file, file);
    mec::MecCore core(p.api(), view);
    core.CheckBox_MEC16_RDClick(true);
    if (write) core.BitBtn_MEC16_WRITEClick();
    else core.BitBtn_RD_MEC16Click();
    core.waitIdle();
    return core.lastOutcome() == mec::MecCore::Outcome::Ok;
}
bool mecRead(qjb::Probe& p) { return mecTableRun(p, false); }
bool mecWrite(qjb::Probe& p) { return mecTableRun(p, true); }
QJB_ENTRY(mecRead, "MEC read MAIN + INFO", "jig=V42_Q37");
QJB_ENTRY(mecWrite, "MEC write MAIN", "jig=V42_Q37");

}  // namespace

int main(int argc, char** argv) { return qjb::runTable(argc, argv); }
