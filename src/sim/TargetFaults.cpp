#include "sim/TargetFaults.h"

#include "sim/NorFlash.h"

namespace qj::sim {

namespace {
constexpr int64_t kMany = 1'000'000'000;
constexpr int64_t kLongestBlockUs = 10'000'000;
}  // namespace

// Each fault once: its kind, its key after the prefix, its range, its value
// when not given ("never", or the model's block time) and where it is kept.
struct TargetFaults::Fault {
    Kind kind;
    const char* name;
    int64_t min, max, unset;
    int64_t TargetFaults::*value;
};

std::vector<TargetFaults::Fault> TargetFaults::table(const Decl& d) {
    return {
        {SilentAfter, "silent-after", 0, kMany, -1, &TargetFaults::silentAfter_},
        {OverlongAt, "overlong-at", 1, kMany, 0, &TargetFaults::overlongAt_},
        {LostAt, "lost-at", 1, kMany, 0, &TargetFaults::lostAt_},
        {BlockUs, "block-us", 0, kLongestBlockUs, d.blockUs, &TargetFaults::blockUs_},
        {Stuck, "stuck", 0, d.cells - 1, -1, &TargetFaults::stuckAt_},
        {StuckLen, "stuck-len", 1, d.cells, 1, &TargetFaults::stuckLen_},
    };
}

std::vector<KeySpec> TargetFaults::keys(const Decl& d, std::vector<KeySpec> own) {
    for (const Fault& f : table(d))
        if (d.kinds & f.kind) own.push_back(KeySpec::number(d.prefix + "-" + f.name, f.min, f.max));
    return own;
}

// A kind the model does not take stays unset, whatever the configuration holds.
TargetFaults::TargetFaults(const SimConfig& cfg, const Decl& d, NorFlash& nor) {
    for (const Fault& f : table(d))
        this->*f.value = d.kinds & f.kind ? cfg.num(d.prefix + "-" + f.name, f.unset) : f.unset;
    nor.stick(stuckAt_, stuckLen_, d.stuckThroughErase);
}

}  // namespace qj::sim
