#include "jig/firmware/Bootloader.h"

#include "jig/Text.h"
#include "jig/firmware/IntelHex.h"

namespace qj {

std::vector<uint8_t> hexDataLine(uint16_t address, const uint8_t* data16) {
    uint8_t rec[21];
    rec[0] = 0x10;
    rec[1] = static_cast<uint8_t>(address >> 8);
    rec[2] = static_cast<uint8_t>(address);
    rec[3] = 0x00;
    uint8_t sum = 0x10 + rec[1] + rec[2];
    for (int i = 0; i < 16; ++i) {
        rec[4 + i] = data16[i];
        sum = static_cast<uint8_t>(sum + data16[i]);
    }
    rec[20] = static_cast<uint8_t>(-sum);
    const std::string text = ":" + hexBytes(rec, sizeof rec) + "\n";
    return {text.begin(), text.end()};
}

std::vector<uint8_t> hexEofLine() {
    const std::string s = ":00000001FF\n";
    return {s.begin(), s.end()};
}

std::string FlashJigImage(JigLink& link, ModeView& view, const std::vector<uint8_t>& image, uint32_t end) {
    auto fail = [&] {
        view.log(kErrorFwUpgrade);
        return kErrorFwUpgrade;
    };
    view.gaugeMax(static_cast<int>(end));
    std::vector<uint8_t> answer;
    if (link.sendAwaitCount({'p', 'f', '\n'}, 7, false, answer, BootDeadlines::kProgramAnswerMs) != Xfer::Ok)
        return fail();

    for (uint32_t addr = 0; addr <= end && addr + 16 <= image.size(); addr += 16) {
        if (link.write(hexDataLine(static_cast<uint16_t>(addr), image.data() + addr)) != FT_OK) return fail();
        if (link.drainTransmit() != Xfer::Ok) return fail();
        if (link.sendAwaitXonLine({}, answer, BootDeadlines::kLineAnswerMs) != Xfer::Ok) return fail();
        // A refused line is answered with "-" as its second byte.
        if (answer.size() != 2 && answer.size() != 3 && answer.size() >= 2 && answer[1] == '-') return fail();
        view.gaugePos(static_cast<int>(addr + 16));
    }

    link.write(hexEofLine());
    view.log(link.lastCount() == 12 ? "отправлено EOF корректно" : "отправлено МЕНЬШЕ байт");
    // The image is in; a bootloader that no longer answers has not confirmed it.
    if (link.awaitCount(7, false, answer, BootDeadlines::kEofAnswerMs) != Xfer::Ok) return fail();
    return kFwUpgradeOk;
}

}  // namespace qj
