// The keyboard tester's scan: one key held, figures per report ("U" out, the
// report back), over 200 reports after the first. `keyboard_bench --help`.
#include <atomic>

#include "BenchTable.h"
#include "modes/keyboard/KeyboardCore.h"

namespace {

constexpr uint64_t kReports = 200;

bool perReport(qjb::Probe& p) {
    qjb::MarkingView view(p, {});
    qj::keyboard::KeyboardCore core(p.api(), view);
    std::atomic<uint64_t> seen{0};
    std::atomic<bool> keyed{true};
    core.setObserver([&](const qj::keyboard::KeyboardCore::Report& r) {
        keyed = keyed && !r.pairs.empty();
        const uint64_t n = ++seen;
        if (n == 1) p.begin();
        if (n == kReports + 1) {
            p.end();
            core.START_SCANClick();  // STOP
        }
    });
    core.FormCreate();
    core.START_SCANClick();
    core.waitIdle();
    p.perUnit(kReports);
    return seen.load() == kReports + 1 && keyed && !core.linkError();
}

QJB_ENTRY(perReport, "Keyboard scan, per report", "jig=ENE_EDID_KB,keys=1-2@0-1000000");

}  // namespace

int main(int argc, char** argv) { return qjb::runTable(argc, argv); }
