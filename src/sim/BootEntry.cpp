#include "sim/AppFirmware.h"
#include "sim/Bootloaders.h"
#include "sim/SimKeys.h"

#include <cstring>

namespace qj::sim {

std::string imageIdent(const uint8_t* p, size_t n) {
    const size_t m = std::strlen(kImageIdentMarker);
    for (size_t i = 0; i + m <= n; ++i) {
        if (std::memcmp(p + i, kImageIdentMarker, m) != 0) continue;
        std::string id;
        for (size_t k = i + m; k < n && p[k] != 0 && id.size() < 32; ++k) id += static_cast<char>(p[k]);
        return id;
    }
    return "";
}

std::unique_ptr<JigFirmware> makeBootloaderFor(const std::string& ident) {
    if (ident.find("M328_EPM240") != std::string::npos) return makeV3Bootloader(ident);
    return makeHexBootloader(ident);
}

namespace {
class WedgedFirmware final : public JigFirmware {
public:
    explicit WedgedFirmware(std::string ident) : ident_(std::move(ident)) {}
    std::string name() const override { return "wedged"; }
    size_t onInput(const uint8_t*, size_t n, JigPort&) override { return n; }
    void onReset(JigPort& port) override { port.switchTo(makeBootloaderFor(ident_)); }

private:
    std::string ident_;  // tells which hardware (and so which bootloader) this is
};
}  // namespace

std::unique_ptr<JigFirmware> makeWedgedFirmware(const std::string& ident) {
    return std::make_unique<WedgedFirmware>(ident);
}

std::unique_ptr<JigFirmware> startImage(const std::string& ident, const std::string& hardwareIdent) {
    if (ident.empty()) return makeWedgedFirmware(hardwareIdent);
    return makeApplicationFirmware(ident);
}

// "?" asks the application to hand over to the Intel HEX bootloader; it confirms
// with "!" at its own speed and then listens at 115200 only. A version 3 jig has
// no "?": its bootloader is reached by the reset button, and its application
// lets the bootloader's wake-up "+" pass unanswered.
void registerBootEntry(AppFirmware& fw) {
    const std::string ident = fw.ident();
    fw.onResetDo([ident](JigPort& port) { port.switchTo(makeBootloaderFor(ident)); });
    if (ident.find("M328_EPM240") != std::string::npos) {
        fw.on('+', [](const uint8_t*, size_t, JigPort&) -> size_t { return 1; });
        return;
    }
    fw.on('?', [ident](const uint8_t*, size_t, JigPort& port) -> size_t {
        if (port.board().config().flag("no-boot-entry")) return 1;  // an application without boot entry
        port.send(uint8_t{'!'});
        port.switchTo(makeHexBootloader(ident));
        return 1;
    });
}

std::vector<KeySpec> bootloaderKeys() {
    return {
        KeySpec::flag("no-boot-entry"),
        KeySpec::flag("boot-silent"),
        KeySpec::number("boot-xon-delay", 0, 600'000),
        KeySpec::number("boot-refuse-line", 1, 1'000'000),
        KeySpec::number("v3-short", 1, 6),
        KeySpec::flag("v3-bad-banner"),
        KeySpec::number("v3-late-tail", 1, 1000),
        KeySpec::number("v3-no-g", 1, 1'000'000),
        KeySpec::number("v3-no-plus", 1, 1'000'000),
    };
}

}  // namespace qj::sim
