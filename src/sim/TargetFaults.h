#pragma once
// The faults every target model can be given, each a key under the model's
// prefix P ("ene", "mec", ...), declared and read here once:
//   P-silent-after=N   after N commands the jig answers none of them
//   P-overlong-at=N    the Nth block answer carries one byte too many
//   P-lost-at=N        from the Nth block on the target is lost
//   P-block-us=N       the jig's time per block (paced mode)
//   P-stuck=ADDR       a flash cell that keeps its value (P-stuck-len=N: N cells from ADDR)
// A model takes the kinds it names. What counts as a command or a block is the
// model's: it counts them from 1 since the jig started and asks about its count.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimConfig.h"
#include "sim/SimKeys.h"

namespace qj::sim {

class NorFlash;

struct TargetFaults {
    enum Kind : unsigned {
        SilentAfter = 1u << 0,
        OverlongAt = 1u << 1,
        LostAt = 1u << 2,
        BlockUs = 1u << 3,
        Stuck = 1u << 4,
        StuckLen = 1u << 5,
    };
    // What a model takes: its prefix, its kinds, how many cells a stuck cell
    // may be among, whether a stuck cell also keeps its value through an erase,
    // and its block time when P-block-us is not given.
    struct Decl {
        std::string prefix;
        unsigned kinds = 0;
        int64_t cells = 0;
        bool stuckThroughErase = false;
        int64_t blockUs = 0;
    };

    // A model's key list: its own keys, then those of `d`'s kinds.
    static std::vector<KeySpec> keys(const Decl& d, std::vector<KeySpec> own);

    // Reads the faults from `cfg` and gives the stuck cells, if any, to `nor`.
    TargetFaults(const SimConfig& cfg, const Decl& d, NorFlash& nor);

    // The kth command goes unanswered.
    bool silentAt(int64_t k) const { return silentAfter_ >= 0 && k > silentAfter_; }
    // The kth block answer carries one byte too many.
    bool overlongAt(int64_t k) const { return overlongAt_ > 0 && k == overlongAt_; }
    // The target is lost by its kth block (and stays lost).
    bool lostAt(int64_t k) const { return lostAt_ > 0 && k >= lostAt_; }
    int64_t blockUs() const { return blockUs_; }

private:
    struct Fault;
    static std::vector<Fault> table(const Decl& d);

    int64_t silentAfter_ = -1, overlongAt_ = 0, lostAt_ = 0, blockUs_ = 0;
    int64_t stuckAt_ = -1, stuckLen_ = 1;
};

}  // namespace qj::sim
