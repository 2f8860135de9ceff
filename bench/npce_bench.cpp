// Nuvoton NPCE read and erase + write + verify through the paced virtual jig:
// how close the transfer comes to the time the bytes need on the wire at
// 921600 baud (plus the chip's own erase time), and what it costs the host's
// CPU while it waits.
//
//   npce_bench [EXTRA-SIM-KEYS]      e.g. npce_bench npce-erase-ms=2000 latency-us=2000
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "modes/npce/NpceCore.h"
#include "sim/SimConfig.h"
#include "sim/SimFtdi.h"

using namespace qj;
using namespace qjb;

namespace {

// Marks the moment the transfer proper starts (its start line in the log).
class BenchView final : public NullView {
public:
    BenchView(CountingFtdi& c, std::string dumpPath, std::string imagePath)
        : c_(c), dump_(std::move(dumpPath)), image_(std::move(imagePath)) {}
    void log(const std::string& line) override {
        if (line == "Reading ..." || line == "Erase ...") start = {wallNow(), cpuNow(), c_.written + c_.read};
        last = line;
    }
    std::optional<std::string> askSavePath() override { return dump_; }
    std::optional<std::string> askOpenPath() override { return image_; }
    Mark start;
    std::string last;

private:
    CountingFtdi& c_;
    std::string dump_, image_;
};

}  // namespace

// One NPCE read (`write` false) or write with verify; prints its figures.
// The chip's erase time (npce-erase-ms) counts into the write's bound.
bool runNpce(const std::string& spec, bool write, const std::string& dump, const std::string& image) {
    sim::SimFtdi simJig(spec);
    const double eraseS = write ? static_cast<double>(sim::SimConfig(spec).num("npce-erase-ms", 0)) / 1000.0 : 0.0;
    CountingFtdi api(simJig);
    BenchView view(api, dump, image);
    npce::NpceCore core(api, view);
    const Mark op{wallNow(), cpuNow(), 0};
    if (write) core.NPCE_WRITEClick();
    else core.NPCE_READClick();
    core.waitIdle();
    const Mark end{wallNow(), cpuNow(), api.written + api.read};
    if (core.lastOutcome() != npce::NpceCore::Outcome::Ok) {
        std::fprintf(stderr, "npce_bench: the %s failed: %s\n", write ? "write" : "read", view.last.c_str());
        return false;
    }
    auto bound = [eraseS](uint64_t bytes) { return wireSeconds(bytes) + eraseS; };
    const std::string name = write ? "npce erase+write+verify" : "npce read";
    print((name + " (transfer)").c_str(),
          {end.wall - view.start.wall, bound(end.bytes - view.start.bytes), end.cpu - view.start.cpu});
    print((name + " (whole click)").c_str(), {end.wall - op.wall, bound(end.bytes), end.cpu - op.cpu});
    return true;
}

int main(int argc, char** argv) {
    std::string spec = "jig=NPCE_Q37,mode=paced,npce-erase-ms=500";
    for (int i = 1; i < argc; ++i) spec += std::string(",") + argv[i];
    const std::string dump = "/tmp/npce_bench_dump.bin";
    std::printf("virtual jig: %s, 921600 baud\n", spec.c_str());
    bool ok = runNpce(spec, false, dump, dump);
    ok = ok && runNpce(spec, true, dump, dump);
    std::remove(dump.c_str());
    return ok ? 0 : 1;
}
