#pragma once
// The jig's JTAG lines as the EPM240 and NPCE firmwares drive them, shared by the
// MEC16xx and the Nuvoton JTAG targets: the CPLD's pin registers ("SR" clears
// them, "SW r v" writes one), the switch of the lines between SPI and JTAG
// ("JX" JTAG, "JS" SPI) and the JTAG reset ("J1"). Each answers one byte.
#include <array>
#include <cstdint>

#include "sim/SimConfig.h"

namespace qj::sim {

class JigPort;

class JtagLines {
public:
    explicit JtagLines(const SimConfig&) {}
    size_t command(const uint8_t* data, size_t n, JigPort& port);

    std::array<uint8_t, 256> reg{};  // CPLD registers written by "SW"
    bool jtag = false;               // the lines are JTAG ("JX") rather than SPI ("JS")
    int cpldResets = 0;              // "SR"
    int tapResets = 0;               // "J1"
};

}  // namespace qj::sim
