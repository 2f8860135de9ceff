#pragma once
// The EDID window without widgets: read the panel's 256-byte EEPROM to a file
// and write it from a file. Both operations are short and run on the calling
// (user-interface) thread; every wait on the jig is bounded.
#include <array>
#include <cstdint>
#include <string>

#include "jig/JigLink.h"
#include "jig/ModeView.h"

namespace qj::edid {

class EdidCore {
public:
    static constexpr size_t kImage = 256;
    // The jig forwards the chip's bytes as it clocks them out over I2C (about
    // 25 ms for the image); a write takes 16 page cycles of 5 ms. Seconds of
    // silence mean the EEPROM or the jig is gone.
    static constexpr uint32_t kReadAnswerMs = 3000;
    static constexpr uint32_t kReadyMs = 2000;
    static constexpr uint32_t kWriteStatusMs = 3000;

    // `view` is the EDID window: EDID_Memo, SaveDialog1, OpenDialog1.
    EdidCore(FtdiApi& api, ModeView& view);

    // Each returns true when the EEPROM was read (and the file saved) or written.
    bool EDID_READClick();
    bool EDID_WRITEClick();
    void EXIT_EDIDClick();

    // The image, then the two status bytes of the last read.
    const std::array<uint8_t, kImage + 2>& data() const { return data_; }

private:
    void logDump();
    void signal(bool ok);
    void readFailed();
    void writeFailed();

    ModeView& view_;
    JigLink link_;
    std::array<uint8_t, kImage + 2> data_{};
};

}  // namespace qj::edid
