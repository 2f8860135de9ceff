#pragma once
// The ITE EC behind the "ITE2" firmware, reached through the keyboard connector.
//   ite=absent            no chip answers
//   ite-id=HHLL           the chip ID (registers 0 and 1)
//   ite-board=TEXT        the wiring line the target is reached by
//   ite-ext=absent|1-2|31-32|both   how the external board is fitted
//   ite-flash=FILE        initial flash; ite-flash-out=FILE written when the process ends
#include <array>
#include <cstdint>
#include <string>

#include "sim/SimConfig.h"

namespace qj::sim {

class AppFirmware;
class JigPort;

class IteModel {
public:
    explicit IteModel(const SimConfig& cfg);
    // 'S': enter set-up mode; the pin frames then come until "QQQ".
    size_t enterSetup(AppFirmware& fw, JigPort& port);
    size_t setupFrame(AppFirmware& fw, const uint8_t* data, size_t n, JigPort& port);

    bool present = true;
    std::array<uint8_t, 65536> pins{};  // contact number per two-letter code, as the set-up mode received it
    int framesTaken = 0;
};

}  // namespace qj::sim
