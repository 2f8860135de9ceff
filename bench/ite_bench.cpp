// ITE read and gateway write (sector erase, write, verify) through the virtual jig: its rows of the benchmark table
// (see bench/BenchTable.h), under line and USB timing against their bounds.
//
//   ite_bench [--timing line,usb,usb16] [--keys K=V,...]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchTable.h"
#include "modes/ite/IteCore.h"
#include "sim/IteModel.h"
#include "sim/SimFtdi.h"

using namespace qj;

namespace {

const char* kBoardLine =
    "Bench board PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 STB=6 AFD=7 INIT=8 SLIN=9 KSI4=3 "
    "KSI5=4\n";

// The table's entries: settings and connection check first, then the transfer
// proper from its first line. The runner's child process works in the
// entry's scratch folder, where the window finds its wiring list.
bool iteTableRun(qjb::Probe& p, bool write) {
    const std::string file = p.dir() + (write ? "/image.bin" : "/dump.bin");
    if (::chdir(p.dir().c_str()) != 0) return false;
    std::FILE* f = std::fopen(ite::kWiringFile, "wb");
    if (!f) return false;
    const bool listed = std::fputs(kBoardLine, f) >= 0;
    if (std::fclose(f) != 0 || !listed) return false;
    if (write) {  // half the flash in use, the rest erased
        const std::vector<uint8_t> erased(65536, 0xFF);
        if (!qjb::writePattern(file, erased.size())) return false;
        std::FILE* img = std::fopen(file.c_str(), "ab");
        if (!img) return false;
        const bool appended = std::fwrite(erased.data(), 1, erased.size(), img) == erased.size();
        if (std::fclose(img) != 0 || !appended) return false;
    }
    qjb::MarkingView view(p, {"READ, please wait ...", "WRITE, please wait ..."}, file, file);
    ite::IteCore core(p.api(), view);
    core.FormCreate();
    core.ITE_ComboBox_MB_SWITCHSelect(2);
    core.ITE_SETUP_BitBtnClick();
    core.ITE_CHECK_CON_BitBtnClick();
    core.waitIdle();
    if (core.lastOutcome() != ite::IteCore::Outcome::Ok) return false;
    if (write) core.ITE_WRITE_BitBtnClick();
    else core.ITE_READ_BitBtnClick();
    core.waitIdle();
    return core.lastOutcome() == ite::IteCore::Outcome::Ok;
}
bool iteRead(qjb::Probe& p) { return iteTableRun(p, false); }
bool iteWrite(qjb::Probe& p) { return iteTableRun(p, true); }
QJB_ENTRY(iteRead, "ITE read", "jig=ITE2_PROJ_Q37,ite-block-us=2000,ite-byte-us=20");
QJB_ENTRY(iteWrite, "ITE write + verify", "jig=ITE2_PROJ_Q37,ite-block-us=2000,ite-byte-us=20");

}  // namespace

int main(int argc, char** argv) { return qjb::runTable(argc, argv); }
