#pragma once
// A laptop keyboard on the jig's 32-contact connector: a script of key presses
// over time decides which contact pairs are connected when the jig scans.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimConfig.h"

namespace qj::sim {

class KeyboardMatrix {
public:
    struct Press {
        uint8_t first = 0, second = 0;  // contacts as the jig reports them
        int64_t fromMs = 0, toMs = 0;   // connected while fromMs <= t < toMs
    };
    // A press given without its release lasts this long (a tap).
    static constexpr int64_t kTapMs = 150;

    // Keys: keys=A-B@T0[-T1];... (contacts A and B connected from T0 ms to T1 ms
    // after power-on, a tap when T1 is missing), keyboard-delay=MS (the report
    // starts MS ms late: a slow jig), keyboard-flood=N (every report is N bytes
    // of groups with no end mark: a babbling jig).
    explicit KeyboardMatrix(const SimConfig& cfg);

    // Parses a keys= script; throws std::invalid_argument.
    static std::vector<Press> parseScript(const std::string& script);

    // The report for a scan at `ms`: groups of pairs sharing their first contact,
    // in script order of first appearance, ended by '&'.
    std::vector<uint8_t> report(int64_t ms) const;

    std::vector<Press> presses;
    int64_t delayMs = 0;
    int64_t flood = 0;
    std::string scriptError;  // reported by the firmware on the first scan
    int scans = 0;
};

}  // namespace qj::sim
