#pragma once
// The base block of an EDID image in plain words, and the two checks a
// technician makes before writing one into a panel: the fixed header and the
// checksum of each 128-byte block.
#include <cstdint>
#include <string>
#include <vector>

namespace qj::edid {

struct BlockCheck {
    int block = 0;
    bool valid = false;
    uint8_t stored = 0, expected = 0;  // byte 127 as stored, and the value that makes the block sum to 0
};

struct Checks {
    bool header = false;              // 00 FF FF FF FF FF FF 00
    std::vector<BlockCheck> blocks;   // the base block and the extensions the image holds
    bool good() const;
};

// `image`: the EEPROM's bytes (128 or more for a base block).
Checks check(const std::vector<uint8_t>& image);
// One line a fact: header, manufacturer, product code, serial number, date of
// manufacture, version, preferred timing, monitor name and serial, extension
// count, and each block's checksum.
std::vector<std::string> describe(const std::vector<uint8_t>& image);

}  // namespace qj::edid
