// The version 3 jig's bootloader, reached by the reset button: 921600 baud,
// "+" is answered by its banner ("V", any, "S", ...), "W" grants a block with
// "G", a block of 128 bytes is acknowledged with "+", "X" starts the image.
#include <cstdio>

#include "sim/Bootloaders.h"

namespace qj::sim {

namespace {
const std::string kBanner = "V1S_BOOT";

class V3Bootloader final : public JigFirmware {
public:
    explicit V3Bootloader(std::string previousIdent) : previous_(std::move(previousIdent)) {}
    std::string name() const override { return "v3boot"; }
    void onReset(JigPort& port) override { port.switchTo(makeV3Bootloader(previous_)); }

    size_t onInput(const uint8_t* d, size_t n, JigPort& port) override {
        const SimConfig& cfg = port.board().config();
        JigFlash& flash = port.board().model<JigFlash>();
        if (inBlock_) {
            if (n < 128) return 0;
            flash.v3Image.insert(flash.v3Image.end(), d, d + 128);
            inBlock_ = false;
            if (blocks_ != cfg.num("v3-no-plus", -1)) port.send(uint8_t{'+'});
            return 128;
        }
        switch (d[0]) {
        case '+': {
            // Fault "v3-short=N": the banner comes N bytes per "+".
            const size_t piece = static_cast<size_t>(cfg.num("v3-short", 0));
            if (cfg.flag("v3-bad-banner")) {
                // Fault: something answers, but not with "V?S" (a foreign or damaged loader).
                port.send("V1X_BOOT", 10000);
            } else if (piece == 0 && cfg.num("v3-late-tail", 0) > 0) {
                // Fault: the banner's last byte comes late, after the host has seen 7.
                port.send(kBanner.substr(0, 7));
                port.send(kBanner.substr(7), cfg.num("v3-late-tail", 0) * 1000);
            } else if (piece == 0) {
                port.send(kBanner);
            } else {
                for (size_t i = 0; i < piece; ++i) port.send(static_cast<uint8_t>(kBanner[bannerAt_++ % kBanner.size()]));
            }
            return 1;
        }
        case 'W':
            if (blocks_ == 0) flash.v3Image.clear();
            ++blocks_;
            if (blocks_ == cfg.num("v3-no-g", -1)) return 1;  // fault: the block is never granted
            port.send(uint8_t{'G'});
            inBlock_ = true;
            return 1;
        case 'X':
            if (blocks_ == 0) port.switchTo(startImage(previous_, previous_));
            else port.switchTo(startImage(imageIdent(flash.v3Image.data(), flash.v3Image.size()), previous_));
            return 1;
        default: break;
        }
        char msg[80];
        std::snprintf(msg, sizeof msg, "version 3 bootloader: unexpected byte 0x%02X", d[0]);
        port.error(msg);
        return 1;
    }

private:
    std::string previous_;
    bool inBlock_ = false;
    int64_t blocks_ = 0;
    size_t bannerAt_ = 0;
};
}  // namespace

std::unique_ptr<JigFirmware> makeV3Bootloader(const std::string& previousIdent) {
    return std::make_unique<V3Bootloader>(previousIdent);
}

}  // namespace qj::sim
