#pragma once
// A display panel's 256-byte EDID EEPROM behind the jig's I2C pins.
#include <array>
#include <cstdint>
#include <string>

#include "sim/SimConfig.h"

namespace qj::sim {

class EepromModel {
public:
    static constexpr size_t kSize = 256;

    // Keys: eeprom=FILE (contents; shorter files are padded with 0xFF, longer
    // ones cut), eeprom-out=FILE (contents written back when the jig goes away),
    // eeprom-wp=1 (write protect: writes answer "ER"), eeprom-absent=1 (no chip:
    // reads and writes answer "ER"), eeprom-silent=1 (the jig never answers an
    // 'E' command), eeprom-status=XY (two characters answered instead of "OK"),
    // eeprom-flaky=ADDR (every second read returns the byte at ADDR with its
    // lowest bit flipped).
    explicit EepromModel(const SimConfig& cfg);
    ~EepromModel();
    EepromModel(const EepromModel&) = delete;
    EepromModel& operator=(const EepromModel&) = delete;

    std::array<uint8_t, kSize> mem{};
    bool writeProtected = false;
    bool absent = false;
    bool silent = false;
    int64_t flaky = -1;
    std::string okStatus = "OK";
    std::string loadError;  // eeprom=FILE could not be read (reported by the firmware)
    int reads = 0, writes = 0;

    // A plausible 1920x1080 panel: a valid base block, no extension.
    static std::array<uint8_t, kSize> sampleEdid();

private:
    std::string out_;
};

}  // namespace qj::sim
