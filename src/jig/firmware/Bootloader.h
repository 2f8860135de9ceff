#pragma once
// The jig's Intel HEX bootloader at 115200 baud: the image goes as 16-byte data
// records, each answered by a line closed with XON.
#include <cstdint>
#include <string>
#include <vector>

#include "jig/JigLink.h"
#include "jig/ModeView.h"

namespace qj {

// Bounds on the bootloader's answers (ms, on the backend clock). The bootloader
// answers within milliseconds (a 16-byte line costs one flash page write of
// about 5 ms); these are generous so that only a dead or absent bootloader
// reaches them.
struct BootDeadlines {
    static constexpr uint32_t kWakeSliceMs = 20;        // one "U" per slice while waiting for the banner
    static constexpr uint32_t kProgramAnswerMs = 3000;  // "pf": the application section is erased first
    static constexpr uint32_t kLineAnswerMs = 2000;     // one data line, up to its XON
    static constexpr uint32_t kEofAnswerMs = 3000;      // the end-of-file line
    static constexpr uint32_t kRunAnswerMs = 2000;      // "g": the bootloader's farewell
};

// The 44-byte data line for the 16 bytes at `address`: ":10", address, "00",
// the data, the checksum, all upper-case hex, and one line feed.
std::vector<uint8_t> hexDataLine(uint16_t address, const uint8_t* data16);
// The end-of-file line ":00000001FF" and line feed.
std::vector<uint8_t> hexEofLine();

// FlashJigImage: sends `image` up to the block holding `end`; returns
// kFwUpgradeOk or kErrorFwUpgrade. The link is at 115200 and the bootloader
// has answered its banner.
std::string FlashJigImage(JigLink& link, ModeView& view, const std::vector<uint8_t>& image, uint32_t end);

}  // namespace qj
