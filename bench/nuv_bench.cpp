// Nuvoton JTAG read and write through the paced virtual jig: the transfers
// against the time their bytes need on the wire at 921600 baud (the write also
// waits for 32 sector erases), and what they cost the host's CPU.
//
//   nuv_bench [EXTRA-SIM-KEYS]      e.g. nuv_bench latency-us=2000 nuv-erase-us=45000
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchSupport.h"
#include "jig/ftdi/FtdiApi.h"
#include "modes/nuvoton_jtag/NuvotonJtagCore.h"
#include "sim/SimConfig.h"
#include "sim/SimFtdi.h"

using namespace qj;
using namespace qjb;

namespace {

// Marks the phases of a transfer by their log lines.
class BenchView final : public NullView {
public:
    BenchView(CountingFtdi& c, std::string dumpPath, std::string imagePath)
        : c_(c), dump_(std::move(dumpPath)), image_(std::move(imagePath)) {}
    void log(const std::string& line) override {
        const Mark now{wallNow(), cpuNow(), c_.written + c_.read};
        if (line.rfind("Reading ...", 0) == 0 || line.rfind("Erase blocks...", 0) == 0) start = now;
        if (line.rfind("Write bytes ...", 0) == 0) writePhase = now;
        last = line;
    }
    std::optional<std::string> askSavePath() override { return dump_; }
    std::optional<std::string> askOpenPath() override { return image_; }
    Mark start, writePhase;
    std::string last;

private:
    CountingFtdi& c_;
    std::string dump_, image_;
};

std::string exeDir() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    const std::string p(buf, static_cast<size_t>(n));
    return p.substr(0, p.find_last_of('/') + 1);
}

}  // namespace

// One read (`write` false) or write of the whole flash, after the settings and
// the script; prints its figures. The write's bound adds the model's 32 sector
// erases to the wire time (its status polls overlap them).
bool runNuvTransfer(const std::string& spec, bool write, const std::string& dump, const std::string& image) {
    sim::SimFtdi simJig(spec);
    CountingFtdi api(simJig);
    BenchView view(api, dump, image);
    nuv::NuvotonJtagCore core(api, view, exeDir());
    core.BitBtn_SETTINGSClick();
    core.BitBtn_CONNECTClick();
    core.waitIdle();
    if (core.step() != nuv::NuvotonJtagCore::Step::Transfer) {
        std::fprintf(stderr, "nuv_bench: connect failed: %s\n", view.last.c_str());
        return false;
    }
    if (write) core.BitBtn_NUV_JTAG_WRClick();
    else core.BitBtn_NUV_JTAG_RDClick();
    core.waitIdle();
    const Mark end{wallNow(), cpuNow(), api.written + api.read};
    core.Timer_MSG_ERTimer();
    if (core.resultText() != "OK") {
        std::fprintf(stderr, "nuv_bench: the %s failed: %s\n", write ? "write" : "read", view.last.c_str());
        return false;
    }
    if (!write) {
        print("read", {end.wall - view.start.wall, wireSeconds(end.bytes - view.start.bytes), end.cpu - view.start.cpu});
        return true;
    }
    const double eraseSeconds =
        nuv::kSectors * static_cast<double>(sim::SimConfig(spec).num("nuv-erase-us", 20000)) * 1e-6;
    print("erase + write (wire + erase time)",
          {end.wall - view.start.wall, wireSeconds(end.bytes - view.start.bytes) + eraseSeconds,
           end.cpu - view.start.cpu});
    print("  write phase alone",
          {end.wall - view.writePhase.wall, wireSeconds(end.bytes - view.writePhase.bytes),
           end.cpu - view.writePhase.cpu});
    return true;
}

int main(int argc, char** argv) {
    std::string spec = "jig=M328_EPM240_v19,mode=paced";
    for (int i = 1; i < argc; ++i) spec += std::string(",") + argv[i];
    const std::string dump = "/tmp/nuv_bench_dump.bin";
    std::printf("virtual jig: %s, 921600 baud\n", spec.c_str());
    bool ok = runNuvTransfer(spec, false, dump, dump);
    ok = ok && runNuvTransfer(spec, true, dump, dump);
    std::remove(dump.c_str());
    return ok ? 0 : 1;
}
