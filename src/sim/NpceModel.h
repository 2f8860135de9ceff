#pragma once
// The Nuvoton NPCE's SPI flash behind the "NPCE" firmware (and its adapter).
//   npce=absent          no flash: the ID reads FF FF FF FF
//   npce-id=HEX6         the JEDEC ID (manufacturer, type, capacity)
//   npce-flash=FILE      initial flash (128 KiB); npce-flash-out=FILE written when the process ends
#include <cstdint>
#include <string>

#include "sim/SimConfig.h"

namespace qj::sim {

class JigPort;

class NpceModel {
public:
    explicit NpceModel(const SimConfig& cfg);
    size_t readId(JigPort& port);

    bool present = true;
    uint32_t jedecId = 0xEF4012;
};

}  // namespace qj::sim
