#pragma once
// The jig's application images: Intel HEX files (found by findJigFile), decoded
// into the 6144-byte flash image that the bootloader takes line by line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jig/ModeView.h"

namespace qj {

constexpr size_t kHexFileLimit = 32768;   // bytes read from an image file at most
constexpr size_t kJigImageSize = 0x1800;  // the application section the bootloader writes

// Outcome texts of the upgrade, compared by the caller.
inline const std::string kErrorFileSearch = "ERROR FILE SEARCH";
inline const std::string kErrorFileFormat = "ERROR file format";
inline const std::string kErrorFwUpgrade = "ERROR FW upgrade!";
inline const std::string kFwUpgradeOk = "FW UPGRADE OK";

// Where and why decoding stopped (for tools; the log only says "Wrong file format!").
struct HexDecodeResult {
    bool ok = true;
    size_t offset = 0;   // file offset of the offending record
    std::string reason;  // empty when ok
    bool sawEof = false;
};

// Decodes the records of `data` into `image` (kJigImageSize bytes, filled by the
// caller). Line ends after a data record are skipped without being looked at.
HexDecodeResult decodeJigHex(const uint8_t* data, size_t n, std::vector<uint8_t>& image);

struct JigImage {
    std::vector<uint8_t> flash = std::vector<uint8_t>(kJigImageSize, 0xFF);
    uint32_t end = 0;       // address of the last byte that is not 0xFF
    std::string outcome;    // empty when loaded, else kErrorFileSearch or kErrorFileFormat
    HexDecodeResult decode;
    bool loaded() const { return outcome.empty(); }
};

// loadJigImage: the image called `file` (a mode's image), looked up from the
// program folder (`programDir` ends in a separator) by findJigFile. Logs to the
// update window and sets its gauge maximum.
JigImage loadJigImage(const std::string& file, const std::string& programDir, ModeView& view);
// The same for an explicit path (qjig hex).
JigImage loadJigImageFile(const std::string& path, ModeView& view);

}  // namespace qj
