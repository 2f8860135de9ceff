#pragma once
// The Nuvoton EC reached over JTAG through the keyboard connector, on the
// "M328_EPM240" and "NPCE" firmwares.
//   nuv=absent          no chip on the JTAG lines
//   nuv-id=HEX8         the chip's JTAG ID
//   nuv-flash=FILE      initial flash (128 KiB); nuv-flash-out=FILE written when the process ends
#include <cstdint>
#include <string>

#include "sim/SimConfig.h"

namespace qj::sim {

class JigPort;

class NuvJtagModel {
public:
    explicit NuvJtagModel(const SimConfig& cfg);
    size_t irShift(const uint8_t* data, size_t n, JigPort& port);

    bool present = true;
    uint32_t jtagId = 0x0FE2201F;
    uint8_t ir = 0;
};

}  // namespace qj::sim
