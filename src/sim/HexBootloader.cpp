// The jig's Intel HEX bootloader: 115200 baud only; "U" wakes it, "pf" starts
// programming (the application section is erased), each record line is checked
// and written, "g" starts whatever the flash now holds.
#include <cstdio>

#include "sim/Bootloaders.h"

namespace qj::sim {

namespace {
constexpr uint8_t kXon = 0x11;
const std::string kBanner = "Q37BOOT 2.1\r\n";  // the XON follows

int hexDigit(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class HexBootloader final : public JigFirmware {
public:
    explicit HexBootloader(std::string previousIdent) : previous_(std::move(previousIdent)) {}
    std::string name() const override { return "hexboot"; }
    uint32_t baud() const override { return 115200; }
    void onReset(JigPort& port) override { port.switchTo(makeHexBootloader(previous_)); }

    size_t onInput(const uint8_t* d, size_t n, JigPort& port) override {
        const SimConfig& cfg = port.board().config();
        if (cfg.flag("boot-silent")) return n;  // fault: a bootloader that never answers
        switch (d[0]) {
        case 'U': {
            port.send(kBanner);
            port.send(kXon, cfg.num("boot-xon-delay", 0) * 1000);
            return 1;
        }
        case '\r':
        case '\n': return 1;
        case 'p':
            if (n < 3) return 0;
            if (d[1] != 'f' || d[2] != '\n') break;
            startProgramming(port);
            return 3;
        case 'g':
            if (n < 2) return 0;
            if (d[1] != '\n') break;
            run(port);
            return 2;
        case ':': {
            // A record line up to its line feed; the longest valid one is 11 + 2 * 255 characters.
            const size_t maxLine = 11 + 2 * 255 + 1;
            size_t lf = 0;
            while (lf < n && lf < maxLine && d[lf] != '\n') ++lf;
            if (lf == n && n < maxLine) return 0;
            line(d, lf, port);
            return lf < n ? lf + 1 : lf;
        }
        default: break;
        }
        char msg[80];
        std::snprintf(msg, sizeof msg, "Intel HEX bootloader: unexpected byte 0x%02X", d[0]);
        port.error(msg);
        return 1;
    }

private:
    void startProgramming(JigPort& port) {
        JigFlash& flash = port.board().model<JigFlash>();
        flash.hexImage.assign(flash.hexImage.size(), 0xFF);
        flash.hexLinesWritten = 0;
        flash.hexComplete = false;
        programming_ = true;
        port.send("PF_OK\r\n");
    }

    void refuse(JigPort& port, const std::string& why) {
        port.send("\r-ERR\r\n");
        port.send(kXon);
        port.error("Intel HEX bootloader: line refused: " + why);
    }

    void line(const uint8_t* d, size_t len, JigPort& port) {
        const SimConfig& cfg = port.board().config();
        std::vector<uint8_t> rec;
        if (len < 11 || (len - 1) % 2 != 0) return refuse(port, "bad length");
        for (size_t i = 1; i < len; i += 2) {
            const int hi = hexDigit(d[i]), lo = hexDigit(d[i + 1]);
            if (hi < 0 || lo < 0) return refuse(port, "not upper-case hex");
            rec.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
        if (rec.size() != size_t(rec[0]) + 5) return refuse(port, "count does not match the line");
        uint8_t sum = 0;
        for (uint8_t b : rec) sum = static_cast<uint8_t>(sum + b);
        if (sum != 0) return refuse(port, "bad checksum");
        const uint8_t count = rec[0], type = rec[3];
        const size_t addr = size_t(rec[1]) << 8 | rec[2];
        JigFlash& flash = port.board().model<JigFlash>();
        if (type == 0x01) {
            flash.hexComplete = programming_;
            port.send("EOF_OK\r\n");
            return;
        }
        if (type != 0x00) return refuse(port, "record type");
        if (!programming_) return refuse(port, "data before \"pf\"");
        if (addr + count > flash.hexImage.size()) return refuse(port, "beyond the application section");
        ++dataLines_;
        if (dataLines_ == cfg.num("boot-refuse-line", -1)) return refuse(port, "fault injected");
        for (size_t i = 0; i < count; ++i) flash.hexImage[addr + i] = rec[4 + i];
        ++flash.hexLinesWritten;
        port.send("OK\r\n");
        port.send(kXon);
    }

    void run(JigPort& port) {
        port.send("GO_OK\r\n");
        JigFlash& flash = port.board().model<JigFlash>();
        if (!programming_) {
            port.switchTo(startImage(previous_, previous_));
        } else if (flash.hexComplete) {
            port.switchTo(startImage(imageIdent(flash.hexImage.data(), flash.hexImage.size()), previous_));
        } else {
            port.switchTo(makeWedgedFirmware(previous_));  // half-written: nothing sane runs
        }
    }

    std::string previous_;
    bool programming_ = false;
    int64_t dataLines_ = 0;
};
}  // namespace

std::unique_ptr<JigFirmware> makeHexBootloader(const std::string& previousIdent) {
    return std::make_unique<HexBootloader>(previousIdent);
}

}  // namespace qj::sim
