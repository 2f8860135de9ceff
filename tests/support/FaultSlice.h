#pragma once
// A slice of the fault sweep for the real backends: the Nth call of a kind
// fails (`--fault`) while qjig runs an operation, on whichever backend the
// caller puts in front (the sim backend, tty through qjig-sim, libftdi
// through the emulated FT232R). Every run must end within its bound, say why
// it failed, never leave a dump that looks whole, and close every handle it
// opened.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace qjt {

struct FaultCase {
    std::string name;
    std::string spec;                    // the virtual jig
    std::vector<std::string> args;       // qjig's words; "{dump}" and "{image}" are replaced
    std::string fault;                   // --fault
    int status = 1;                      // 0: the operation survives the fault (the line that says so below)
    std::vector<std::string> texts;      // status 1: one of them is printed; status 0: all of them
};
inline void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

std::vector<FaultCase> faultSlice();

// Runs one case through qjig with `front` before its words ({"--backend",
// "libftdi"}, ...) and checks every promise; `boundMs` of real time.
void runFaultCase(const FaultCase& c, const std::vector<std::string>& front, int64_t boundMs);

}  // namespace qjt
