#pragma once
// The version 3 jig's update: the raw image to its own bootloader at 921600
// baud, in blocks of 128 bytes.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "jig/ModeView.h"
#include "jig/StartLog.h"
#include "jig/ftdi/FtdiApi.h"

namespace qj {

constexpr size_t kV3ImageLimit = 131072;  // the image buffer; a longer file is cut
constexpr size_t kV3Block = 128;
inline const std::string kV3ImageFile = "M328_EPM240_v19.qjf";

// Bounds (ms, backend clock). The wake-up waits for the user to find and press
// the reset button, so it is long; EXIT of the update window ends it sooner.
struct V3Deadlines {
    static constexpr uint32_t kWakeUpMs = 120000;
    static constexpr uint32_t kWakeSliceMs = 20;     // one "+" per slice while waiting
    static constexpr uint32_t kBlockAnswerMs = 2000;  // "G" after "W", "+" after a block (one page write)
};

struct V3UpdateContext {
    FtdiApi& api;
    ModeView& view;        // the update window
    const StartLog& log;   // "Start_log.txt"
    const std::string& programDir;
    const std::string& ident;     // JigIdent
    std::atomic<bool>& giveUp;    // set by the update window's EXIT
};

// The version 3 image at `path` in a kV3ImageLimit buffer filled with 0xFF (a
// longer file is cut); `length` the bytes read. False when it cannot be opened.
bool readV3Image(const std::string& path, std::vector<uint8_t>& image, size_t& length);

enum class V3Result { Ok, Error };

// UpdateJigV3.
V3Result runV3Update(const V3UpdateContext& c);

}  // namespace qj
