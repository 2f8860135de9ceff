#pragma once
// The MEC16xx target behind the jig's JTAG connector (the "V42" firmware's plain
// forms and the "M328_EPM240" firmware's EPM240 forms).
//   mec=absent         no MEC: the JTAG ID reads FF FF FF FF, registers are silent
//   mec-fwp=1          the write-protect pin is active
//   mec-bootlock=1     the boot block is locked
//   mec-flash=FILE     initial MAIN block (192 KiB); mec-info=FILE the INFO block (2 KiB)
//   mec-flash-out=FILE MAIN and INFO written there when the process ends
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimConfig.h"

namespace qj::sim {

class JigPort;

class MecModel {
public:
    explicit MecModel(const SimConfig& cfg);
    size_t readId(JigPort& port);

    bool present = true;
    uint32_t jtagId = 0x0000A4B7;  // a made-up MEC16xx JTAG ID, sent least significant byte first
};

}  // namespace qj::sim
