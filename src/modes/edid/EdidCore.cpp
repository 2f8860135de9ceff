#include "modes/edid/EdidCore.h"

#include <cstdio>

#include "modes/common/ImageFile.h"
#include "jig/Text.h"
#include "modes/Modes.h"

namespace qj::edid {

namespace {
const char* kReadFailed = "EEPROM does not respond, check the connection !!!";
const char* kWriteFailed = "EEPROM does not respond, or write error! WP 7 pin = '0' ?";

bool isStatus(const uint8_t* p, const char* s) { return p[0] == uint8_t(s[0]) && p[1] == uint8_t(s[1]); }
}  // namespace

EdidCore::EdidCore(FtdiApi& api, ModeView& view) : view_(view), link_(api) { data_.fill(0xFF); }

void EdidCore::logDump() {
    for (const std::string& l : hexDumpLines(data_.data(), kImage)) view_.log(l);
}

// The jig's beeper: 'I' success, 'O' failure. Its one-byte answer is not
// awaited; the link is closed right after and the next open resets the queue.
void EdidCore::signal(bool ok) { link_.write({uint8_t(ok ? 'I' : 'O')}); }

void EdidCore::readFailed() {
    view_.log(kReadFailed);
    view_.log("");
    signal(false);
    link_.close();
}

void EdidCore::writeFailed() {
    view_.log(kWriteFailed);
    signal(false);
    link_.close();
}

bool EdidCore::EDID_READClick() {
    view_.clearLog();
    if (link_.open(mode(ModeId::Edid).open, [this](const std::string& s) { view_.log(s); }) != OpenResult::Ready) return false;
    view_.log("Reading EEPROM ...");
    std::vector<uint8_t> answer;
    if (link_.write({'E', 'r'}) != FT_OK || link_.collect(kImage + 2, answer, kReadAnswerMs) != Xfer::Ok) {
        readFailed();
        return false;
    }
    std::copy(answer.begin(), answer.end(), data_.begin());
    const uint8_t* status = data_.data() + kImage;
    if (isStatus(status, "ER")) {
        readFailed();
        return false;
    }
    if (!isStatus(status, "OK")) {
        // An answer out of step with the command: say so rather than end silently.
        view_.log("Unknown EEPROM status: " + hexBytes(status, 2, " "));
        signal(false);
        link_.close();
        return false;
    }
    view_.log("Reading from the EEPROM is completed successfully.");
    logDump();
    view_.log("");
    signal(true);
    link_.close();

    const auto path = view_.askSavePath();
    if (!path) {
        view_.log("Write to file is interrupted.");
        return false;
    }
    image::DumpFile f;
    if (!f.create(*path)) {
        view_.messageBox(BoxKind::Error, "Ошибка создания файла.");
        view_.log("");
        return false;
    }
    view_.log("Save the file: ");
    view_.log(*path);
    if (!f.write(data_.data(), kImage) || !f.finish()) {
        // A full disk must not pass for a saved dump.
        view_.messageBox(BoxKind::Error, "Ошибка создания файла.");
        view_.log("");
        return false;
    }
    return true;
}

bool EdidCore::EDID_WRITEClick() {
    view_.clearLog();
    if (link_.open(mode(ModeId::Edid).open, [this](const std::string& s) { view_.log(s); }) != OpenResult::Ready) return false;
    const auto path = view_.askOpenPath();
    if (!path) {
        view_.log("Write operation is interrupted.");
        link_.close();
        return false;
    }
    // A short file leaves 0xFF behind it. An empty file, or a name that is no
    // file, would otherwise write an all-0xFF image over the panel's EDID.
    std::vector<uint8_t> image;
    if (!image::load(*path, image, kImage).ok()) {
        view_.messageBox(BoxKind::Error, "Ошибка открытия файла.");
        view_.log("");
        link_.close();
        return false;
    }
    view_.log("Writing EEPROM ...");
    data_.fill(0xFF);
    std::copy(image.begin(), image.end(), data_.begin());

    std::vector<uint8_t> answer;
    if (link_.sendAwaitCount({'E', 'w'}, 1, true, answer, kReadyMs) != Xfer::Ok) {
        writeFailed();
        return false;
    }
    logDump();
    view_.log("");
    if (link_.write(data_.data(), kImage) != FT_OK || link_.awaitCount(2, true, answer, kWriteStatusMs) != Xfer::Ok) {
        writeFailed();
        return false;
    }
    bool ok = false;
    if (isStatus(answer.data(), "OK")) {
        view_.log("Writing data to EEPROM is completed successfully.");
        signal(true);
        ok = true;
    } else if (isStatus(answer.data(), "ER")) {
        view_.log(kWriteFailed);
        signal(false);
    } else {
        view_.log("Unknown EEPROM status: " + hexBytes(answer.data(), 2, " "));
        signal(false);
    }
    link_.close();
    return ok;
}

void EdidCore::EXIT_EDIDClick() {
    view_.clearLog();
    leaveMode(view_, ModeId::Edid);
}

}  // namespace qj::edid
