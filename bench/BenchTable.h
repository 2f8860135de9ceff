#pragma once
// The benchmark table: every transfer that exists, under line timing and under
// USB timing, each against the bound its own timing model gives.
//
// An entry is a named function that runs one operation on the backend it is
// handed. A bench source adds itself with a few lines:
//
//     bool npceRead(qjb::Probe& p) {
//         qjb::MarkingView view(p, {"Reading ..."}, p.dir() + "/dump.bin");  // measured from this line
//         npce::NpceCore core(p.api(), view);
//         core.NPCE_READClick();
//         core.waitIdle();
//         return core.lastOutcome() == npce::NpceCore::Outcome::Ok;
//     }
//     QJB_ENTRY(npceRead, "NPCE read", "jig=NPCE_Q37");
//
// Every bench source is linked into the one runner with its main() renamed:
// keep its helpers in an anonymous namespace so that their names cannot clash.
//
// The runner builds the virtual jig from the entry's keys and the timing's,
// twice: on the ideal clock (the line and USB times charged, the host costing
// nothing), which gives the bound, and in real time, which gives the wall time,
// the CPU time and the peak memory. The ratio wall / bound is what the host
// adds. Each operation runs in a child process of its own, so the peak memory
// is its own too.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "jig/ModeView.h"
#include "jig/ftdi/FtdiApi.h"

namespace qjb {

class Probe {
public:
    virtual ~Probe() = default;
    // The jig to drive; the bytes crossing it are counted.
    virtual qj::FtdiApi& api() = 0;
    // The measured part, when it is not the whole call (for example from the
    // transfer's first log line on). A later call moves the mark. Any thread.
    virtual void begin() = 0;
    virtual void end() = 0;
    // The figures are per unit (the keyboard: per report).
    virtual void perUnit(uint64_t n) = 0;
    // A scratch folder for the entry's files, removed afterwards.
    virtual const std::string& dir() const = 0;
    // The programs' folder (with a trailing '/'), where the build puts the
    // jig's firmware images.
    static std::string programDir();
};

struct Entry {
    std::string name;
    std::string keys;  // the virtual jig the operation needs
    std::function<bool(Probe&)> run;  // false: the operation failed
};

bool addEntry(Entry e);
#define QJB_ENTRY(fn, name, keys) [[maybe_unused]] static const bool qjbEntry_##fn = qjb::addEntry({name, keys, fn})

// A window that stays silent but marks the probe's start at the first log
// line that begins with one of `beginLines`, remembers every line, and answers
// the file dialogs.
class MarkingView : public qj::NullView {
public:
    MarkingView(Probe& p, std::vector<std::string> beginLines, std::string savePath = {}, std::string openPath = {});
    void log(const std::string& line) override;
    // Both memos of a two-language window count.
    void logLang(qj::Lang, const std::string& line) override { log(line); }
    std::optional<std::string> askSavePath() override { return save_; }
    std::optional<std::string> askOpenPath() override { return open_; }
    bool saw(const std::string& line) const;

private:
    Probe& p_;
    mutable std::mutex mu_;  // lines come from the operation's worker
    std::vector<std::string> begin_, lines_;
    bool begun_ = false;
    std::string save_, open_;
};

// Writes `n` bytes of a fixed pseudo-random pattern to `path`.
bool writePattern(const std::string& path, size_t n, uint32_t seed = 1);

// The runner's command line (`--help`): runs the entries linked in.
int runTable(int argc, char** argv);

}  // namespace qjb
