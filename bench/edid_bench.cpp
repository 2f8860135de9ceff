// EDID read and write of the panel's 256-byte EEPROM, from the operation's
// first log line on. `edid_bench --help` for the options (the table's).
#include "BenchTable.h"
#include "modes/edid/EdidCore.h"

namespace {

bool edidRead(qjb::Probe& p) {
    qjb::MarkingView view(p, {"Reading EEPROM ..."}, p.dir() + "/edid.bin");
    qj::edid::EdidCore core(p.api(), view);
    return core.EDID_READClick();
}

bool edidWrite(qjb::Probe& p) {
    const std::string image = p.dir() + "/edid.bin";
    if (!qjb::writePattern(image, qj::edid::EdidCore::kImage)) return false;
    qjb::MarkingView view(p, {"Writing EEPROM ..."}, {}, image);
    qj::edid::EdidCore core(p.api(), view);
    return core.EDID_WRITEClick();
}

QJB_ENTRY(edidRead, "EDID read", "jig=ENE_EDID_KB");
QJB_ENTRY(edidWrite, "EDID write", "jig=ENE_EDID_KB");

}  // namespace

int main(int argc, char** argv) { return qjb::runTable(argc, argv); }
