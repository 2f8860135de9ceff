// MEC16xx read (MAIN and INFO) and write (MAIN) through the paced virtual jig:
// how close the transfer comes to the time the bytes need on the wire at
// 921600 baud, and what it costs the host's CPU while it waits.
//
//   mec_bench [EXTRA-SIM-KEYS]      e.g. mec_bench jig=M328_EPM240_v19 latency-us=2000
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "BenchTable.h"
#include "jig/ftdi/FtdiApi.h"
#include "modes/mec/Mec16Core.h"
#include "sim/SimFtdi.h"

using namespace qj;
using namespace qjb;

namespace {

// Marks the moment the transfer proper starts: the last register step before it.
class BenchView final : public NullView {
public:
    BenchView(CountingFtdi& c, std::string path) : c_(c), path_(std::move(path)) {}
    void log(const std::string& line) override {
        if (!started && (line == "Write to reg FF3908h 105h" || line == "Записали в регистр FF3904h 0")) {
            start = {wallNow(), cpuNow(), c_.written + c_.read};
            started = true;
        }
        if (line.find("complete") != std::string::npos || line.find("MEC") != std::string::npos) last = line;
    }
    std::optional<std::string> askSavePath() override { return path_; }
    std::optional<std::string> askOpenPath() override { return path_; }
    Mark start;
    bool started = false;
    std::string last;

private:
    CountingFtdi& c_;
    std::string path_;
};

bool runOne(const std::string& spec, bool write, const std::string& path) {
    sim::SimFtdi simJig(spec);
    CountingFtdi api(simJig);
    BenchView view(api, path);
    mec::Mec16Core core(api, view);
    core.CheckBox_MEC16_RDClick(true);
    const Mark op{wallNow(), cpuNow(), 0};
    if (write) core.BitBtn_MEC16_WRITEClick();
    else core.BitBtn_RD_MEC16Click();
    core.waitIdle();
    const Mark end{wallNow(), cpuNow(), api.written + api.read};
    if (core.lastOutcome() != mec::Mec16Core::Outcome::Ok || !view.started) {
        std::fprintf(stderr, "mec_bench: the %s failed: %s\n", write ? "write" : "read", view.last.c_str());
        return false;
    }
    const std::string name = write ? "write MAIN" : "read MAIN+INFO";
    print((name + " (transfer)").c_str(),
          {end.wall - view.start.wall, wireSeconds(end.bytes - view.start.bytes), end.cpu - view.start.cpu});
    print((name + " (whole click, with identify)").c_str(),
          {end.wall - op.wall, wireSeconds(end.bytes), end.cpu - op.cpu});
    return true;
}

}  // namespace

// Entries a runner of several benchmarks can call.
bool runMecRead(const std::string& spec, const std::string& dump) { return runOne(spec, false, dump); }
bool runMecWrite(const std::string& spec, const std::string& image) { return runOne(spec, true, image); }

namespace {

// The table's entries: the transfer proper, from the last register step before it.
bool mecTableRun(qjb::Probe& p, bool write) {
    const std::string file = p.dir() + "/mec.bin";
    if (write && !qjb::writePattern(file, size_t(mec::kMainSize + mec::kInfoSize))) return false;
    qjb::MarkingView view(p, {"Write to reg FF3908h 105h", "Записали в регистр FF3904h 0"}, file, file);
    mec::Mec16Core core(p.api(), view);
    core.CheckBox_MEC16_RDClick(true);
    if (write) core.BitBtn_MEC16_WRITEClick();
    else core.BitBtn_RD_MEC16Click();
    core.waitIdle();
    return core.lastOutcome() == mec::Mec16Core::Outcome::Ok;
}
bool mecRead(qjb::Probe& p) { return mecTableRun(p, false); }
bool mecWrite(qjb::Probe& p) { return mecTableRun(p, true); }
QJB_ENTRY(mecRead, "MEC read MAIN + INFO", "jig=V42_Q37");
QJB_ENTRY(mecWrite, "MEC write MAIN", "jig=V42_Q37");

}  // namespace

int main(int argc, char** argv) {
    std::string spec = "jig=V42_Q37,mode=paced";
    for (int i = 1; i < argc; ++i) spec += std::string(",") + argv[i];
    const std::string dump = "/tmp/mec_bench_dump.bin";
    std::printf("virtual jig: %s, 921600 baud\n", spec.c_str());
    bool ok = runMecRead(spec, dump);
    // The dump is MAIN and INFO: the write takes its first 196,608 bytes.
    ok = ok && runMecWrite(spec, dump);
    std::remove(dump.c_str());
    return ok ? 0 : 1;
}
