// ENE KB90xx read and write-with-verify through the paced virtual jig: how close
// the transfer comes to the time the bytes need on the wire at 921600 baud, and
// what it costs the host's CPU while it waits.
//
//   ene_bench [EXTRA-SIM-KEYS]      e.g. ene_bench latency-us=2000
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "jig/ftdi/FtdiApi.h"
#include "modes/ene/Kb901xCore.h"
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
        if (line == "Reading KB90XX ..." || line == "There is a writing KB90XX...")
            start = {wallNow(), cpuNow(), c_.written + c_.read};
        if (line.rfind("!!!", 0) == 0 || line == "Reading completed successfully.") result = line;
    }
    std::optional<std::string> askSavePath() override { return dump_; }
    std::optional<std::string> askOpenPath() override { return image_; }
    Mark start;
    std::string result;

private:
    CountingFtdi& c_;
    std::string dump_, image_;
};

bool runOne(const std::string& spec, bool write, const std::string& dump, const std::string& image) {
    sim::SimFtdi simJig(spec);
    CountingFtdi api(simJig);
    BenchView view(api, dump, image);
    ene::Kb901xCore core(api, view);
    const Mark op{wallNow(), cpuNow(), 0};
    if (write) core.KB901X_WRITEClick();
    else core.KB901X_READClick();
    core.waitIdle();
    const Mark end{wallNow(), cpuNow(), api.written + api.read};
    if (core.lastOutcome() != ene::Kb901xCore::Outcome::Ok) {
        std::fprintf(stderr, "ene_bench: the %s failed: %s\n", write ? "write" : "read", view.result.c_str());
        return false;
    }
    auto bound = [](uint64_t bytes) { return qjb::wireSeconds(bytes); };
    const std::string name = write ? "write + verify" : "read";
    print((name + " (transfer)").c_str(),
          {end.wall - view.start.wall, bound(end.bytes - view.start.bytes), end.cpu - view.start.cpu});
    print((name + " (whole click, with identify)").c_str(), {end.wall - op.wall, bound(end.bytes), end.cpu - op.cpu});
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string spec = "jig=ENE_EDID_KB,mode=paced,ene-pattern=random";
    for (int i = 1; i < argc; ++i) spec += std::string(",") + argv[i];
    const std::string dir = "/tmp/";
    const std::string dump = dir + "ene_bench_dump.bin";
    std::printf("virtual jig: %s, 921600 baud\n", spec.c_str());
    bool ok = runOne(spec, false, dump, dump);
    ok = ok && runOne(spec, true, dump, dump);
    std::remove(dump.c_str());
    return ok ? 0 : 1;
}
