#include "jig/firmware/V3Update.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "jig/JigLink.h"
#include "jig/Text.h"
#include "jig/firmware/JigFiles.h"

namespace qj {

bool readV3Image(const std::string& path, std::vector<uint8_t>& image, size_t& length) {
    std::error_code ec;
    std::FILE* f = std::filesystem::is_regular_file(path, ec) ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!f) return false;
    // Filled with 0xFF, so the last block's tail past the image is erased flash.
    image.assign(kV3ImageLimit, 0xFF);
    length = std::fread(image.data(), 1, kV3ImageLimit, f);
    std::fclose(f);
    return true;
}

std::string runV3Update(const V3UpdateContext& c) {
    if (contains(c.ident, "M328_EPM240_v19")) return "OK";

    const JigFileLookup file = findJigFile(kV3ImageFile, c.programDir);
    std::vector<uint8_t> image;
    size_t length = 0;
    if (!file.found || !readV3Image(file.path, image, length)) {
        c.view.log("ERROR open file " + file.path + (file.found ? "" : " " + file.lookedIn()));
        return "ERROR";
    }
    if (length == 0) {
        c.view.log("ERROR short file.");
        return "ERROR";
    }
    c.view.log("Loaded to buffer bytes (dec): " + std::to_string(length));

    uint32_t count = 0;
    if (c.api.CreateDeviceInfoList(count) != FT_OK || count == 0) return "ERROR";
    c.log.append("JIG ver3 start update FW");
    if (count != 1) {
        c.log.append("JIG ver3 start update FW");
        c.view.log("Please disconnect other device and replay!");
        return "ERROR";
    }
    FT_HANDLE h = nullptr;
    if (c.api.Open(0, h) != FT_OK) {
        c.log.append("ERROR FT_Open != FT_OK");
        c.view.log("ERROR FT_Open != FT_OK");
        return "ERROR";
    }
    JigLink link(c.api);
    link.adopt(h);  // closed on every way out by the link's destructor

    c.view.log("Founded FTDI device, wait answer. (RESET pushed?)");
    c.api.ResetDevice(h);
    c.api.SetBaudRate(h, 921600);
    c.api.SetDataCharacteristics(h, 8, 0, 0);
    c.api.SetTimeouts(h, 300, 300);
    c.view.armTimer("TimerMSG");
    // The user may give up waiting through EXIT; once the bootloader answers,
    // the transfer is not to be interrupted.
    c.view.setEnabled("SpeedButton_UPD_EXIT", true);

    // Wake-up: "+" until 7 or more bytes wait; the bootloader runs once the user
    // has pressed reset. Short answers stay queued and add up.
    Clock& clock = c.api.clock();
    const int64_t wakeEnd = clock.nowMs() + V3Deadlines::kWakeUpMs;
    std::vector<uint8_t> answer;
    for (;;) {
        link.write({'+'});
        uint32_t rx = 0, tx = 0;
        const bool alive = c.api.WaitQueues(h, 7, false, V3Deadlines::kWakeSliceMs) == FT_OK &&
                           link.status(rx, tx) == FT_OK;
        if (alive && rx >= 7) {
            answer.resize(rx);
            uint32_t got = 0;
            link.read(answer.data(), rx, got);
            answer.resize(got);
            if (got >= 3 && answer[0] == 'V' && answer[2] == 'S') break;
            // Not the bootloader's banner: drop it and ask again, within the
            // same bound, since a device that keeps talking must not hold us.
            link.purge();
        }
        if (!alive || c.giveUp.load() || clock.nowMs() >= wakeEnd) {
            c.log.append("No answer from the bootloader. Update stopped.");
            c.view.log("No answer from the bootloader. Update stopped.");
            return "ERROR";
        }
    }
    c.view.setEnabled("SpeedButton_UPD_EXIT", false);
    // The banner may be longer than the 7 bytes waited for, and the "+" sent
    // while the user reached for reset may each be answered: let the line fall
    // quiet, or a late banner byte would be taken for the grant of block 1.
    link.settle();
    c.view.log("Readed bytes answer -> " + std::to_string(answer.size()));
    c.view.log("Readed bytes (hex)  -> " + hexBytes(answer.data(), 3) + " " +
               hexBytes(answer.data() + 3, answer.size() - 3));
    c.view.log("Bootloader M328 ANSWER_OK");
    c.log.append("Bootloader answer OK");
    c.view.timeStamp();

    link.eventChar('+');  // a block's acknowledgement (its grant "G" waits for the timer)
    c.view.gaugePos(0);
    c.view.gaugeMax(static_cast<int>(length / kV3Block));
    size_t offset = 0;
    int blocks = 0;
    // Blocks cover the image; a length that is a multiple of 128 gets one more
    // block of 0xFF, except at the end of the buffer.
    do {
        uint8_t b = 0;
        if (link.sendAwaitByte({'W'}, b, V3Deadlines::kBlockAnswerMs) != Xfer::Ok || b != 'G') {
            c.log.append("ERROR protocol! Update stopped.(G)");
            c.view.log("ERROR protocol! Update stopped.(G)");
            return "ERROR";
        }
        link.write(image.data() + offset, kV3Block);
        offset += kV3Block;
        if (link.awaitByte(b, V3Deadlines::kBlockAnswerMs) != Xfer::Ok || b != '+') {
            c.log.append("ERROR protocol! Update stopped.(+)");
            c.view.log("ERROR protocol! Update stopped.(+)");
            return "ERROR";
        }
        c.view.gaugePos(++blocks);
    } while (offset <= length && offset < kV3ImageLimit);

    link.write({'X'});
    link.close();
    c.view.log("UPDATE completed successfully.");
    c.log.append("UPDATE FW successfully.");
    return "OK";
}

}  // namespace qj
