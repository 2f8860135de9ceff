// ITE read and gateway write (sector erase, 128-byte chunks, verify) of 128 KiB
// through the paced virtual jig: how close each transfer comes to its bound, the
// time its bytes need on the wire at 921600 baud plus the time the virtual jig
// models for the chip and the jig's own work, and what it costs the host's CPU.
//
//   ite_bench [EXTRA-SIM-KEYS]      e.g. ite_bench ite-block-us=22000 ite-byte-us=1800
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchSupport.h"
#include "BenchTable.h"
#include "modes/ite/IteCore.h"
#include "sim/IteModel.h"
#include "sim/SimFtdi.h"

using namespace qj;
using namespace qjb;

namespace {

const char* kBoardLine =
    "Bench board PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 STB=6 AFD=7 INIT=8 SLIN=9 KSI4=3 "
    "KSI5=4\n";

// Marks the moment the transfer proper starts (its start line in the English memo).
class BenchView final : public NullView {
public:
    BenchView(CountingFtdi& c, sim::SimFtdi& s, std::string path) : c_(c), s_(s), path_(std::move(path)) {}
    void log(const std::string&) override {}
    void logLang(Lang lang, const std::string& line) override {
        if (lang != Lang::En) return;
        if (line == "READ, please wait ..." || line == "WRITE, please wait ...") {
            start = {wallNow(), cpuNow(), c_.written + c_.read};
            startChipUs = chipUs(s_);
        }
        if (!line.empty()) last = line;
    }
    std::optional<std::string> askSavePath() override { return path_; }
    std::optional<std::string> askOpenPath() override { return path_; }
    static int64_t chipUs(sim::SimFtdi& s) {
        int64_t us = 0;
        s.withLock([&] { us = s.board().model<sim::IteModel>().chipUs; });
        return us;
    }
    Mark start;
    int64_t startChipUs = 0;
    std::string last;

private:
    CountingFtdi& c_;
    sim::SimFtdi& s_;
    std::string path_;
};

}  // namespace

// One read or write with the settings and the connection check before it, as
// the window's user goes; "MB connection ITE.txt" in the current directory
// must hold the board as its first line. Prints the figures; false on a failure.
bool runIte(const std::string& spec, bool write, const std::string& file) {
    sim::SimFtdi simJig(spec);
    CountingFtdi api(simJig);
    BenchView view(api, simJig, file);
    ite::IteCore core(api, view);
    core.FormCreate();
    core.ITE_ComboBox_MB_SWITCHSelect(2);
    core.ITE_SETUP_BitBtnClick();
    core.ITE_CHECK_CON_BitBtnClick();
    core.waitIdle();
    if (core.lastOutcome() != ite::IteCore::Outcome::Ok) {
        std::fprintf(stderr, "ite_bench: no chip: %s\n", view.last.c_str());
        return false;
    }
    const Mark op{wallNow(), cpuNow(), api.written + api.read};
    const int64_t opChipUs = BenchView::chipUs(simJig);
    if (write) core.ITE_WRITE_BitBtnClick();
    else core.ITE_READ_BitBtnClick();
    core.waitIdle();
    const Mark end{wallNow(), cpuNow(), api.written + api.read};
    if (core.lastOutcome() != ite::IteCore::Outcome::Ok) {
        std::fprintf(stderr, "ite_bench: the %s failed: %s\n", write ? "write" : "read", view.last.c_str());
        return false;
    }
    const double chip = static_cast<double>(BenchView::chipUs(simJig) - view.startChipUs) * 1e-6;
    const double hostWaits = write ? 0.3 : 0.0;
    const std::string name = write ? "write + verify" : "read";
    print((name + " (transfer)").c_str(), {end.wall - view.start.wall,
                                           wireSeconds(end.bytes - view.start.bytes) + chip + hostWaits,
                                           end.cpu - view.start.cpu});
    // The whole click also holds the identification, the erase's many short
    // exchanges and the fixed pauses (0.5 s before a read's blocks, 0.8 s in a write).
    const double allChip = static_cast<double>(BenchView::chipUs(simJig) - opChipUs) * 1e-6;
    print((name + " (whole click)").c_str(),
          {end.wall - op.wall, wireSeconds(end.bytes - op.bytes) + allChip + (write ? 0.8 : 0.5), end.cpu - op.cpu});
    std::printf("%-34s modelled chip time %.3f s\n", "", chip);
    return true;
}

namespace {

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

// In a folder of its own: the ITE window reads its wiring list from the current directory.
int main(int argc, char** argv) {
    std::string spec = "jig=ITE2_PROJ_Q37,mode=paced,ite-block-us=2000,ite-byte-us=20";
    for (int i = 1; i < argc; ++i) spec += std::string(",") + argv[i];
    char tmpl[] = "/tmp/ite_bench_XXXXXX";
    if (!mkdtemp(tmpl) || chdir(tmpl) != 0) return 1;
    const std::string dir = tmpl;
    if (std::FILE* f = std::fopen(ite::kWiringFile, "wb")) {
        std::fputs(kBoardLine, f);
        std::fclose(f);
    }
    // Half the flash in use, as on most boards: erased bytes cost the jig nothing.
    const std::string image = dir + "/image.bin", dump = dir + "/dump.bin";
    std::vector<uint8_t> bytes(131072, 0xFF);
    uint32_t seed = 1;
    for (size_t i = 0; i < bytes.size() / 2; ++i) bytes[i] = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    if (std::FILE* f = std::fopen(image.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::printf("virtual jig: %s, 921600 baud\n", spec.c_str());
    bool ok = runIte(spec, false, dump);
    ok = runIte(spec, true, image) && ok;
    for (const std::string& p : {image, dump, dir + "/" + ite::kWiringFile}) std::remove(p.c_str());
    std::remove(dir.c_str());
    return ok ? 0 : 1;
}
