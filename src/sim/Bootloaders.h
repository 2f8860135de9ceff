#pragma once
// The jig re-flashed: its two bootloaders, the flash they write, and the way an
// image names the firmware it holds.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/JigFirmware.h"

namespace qj::sim {

// The jig's own program memory, kept on the board across firmware changes so
// that tests can look at what was flashed.
struct JigFlash {
    explicit JigFlash(const SimConfig&) {}
    std::vector<uint8_t> hexImage = std::vector<uint8_t>(0x1800, 0xFF);  // application section (Intel HEX bootloader)
    int hexLinesWritten = 0;  // data lines accepted since the last "pf"
    bool hexComplete = false; // the end-of-file line came after "pf"
    std::vector<uint8_t> v3Image;  // blocks written by the version 3 bootloader
};

// An image names its firmware with the marker "JIGID:" followed by the
// identification text (at most 32 bytes) and a NUL. "" when there is none.
std::string imageIdent(const uint8_t* p, size_t n);
inline const char* const kImageIdentMarker = "JIGID:";

// The bootloader of a jig whose application answered `ident` ("" if none ran):
// the version 3 one for "M328_EPM240" jigs, the Intel HEX one otherwise.
std::unique_ptr<JigFirmware> makeBootloaderFor(const std::string& ident);
std::unique_ptr<JigFirmware> makeHexBootloader(const std::string& previousIdent);
std::unique_ptr<JigFirmware> makeV3Bootloader(const std::string& previousIdent);
// A jig that answers nothing (a broken or half-written application); its reset
// button still reaches the bootloader of its hardware.
std::unique_ptr<JigFirmware> makeWedgedFirmware(const std::string& ident);
// What a bootloader starts: the application named by the image, or a wedged
// jig when the image names none.
std::unique_ptr<JigFirmware> startImage(const std::string& ident, const std::string& hardwareIdent);

}  // namespace qj::sim
