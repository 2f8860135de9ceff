#include "sim/IteModel.h"

#include "sim/AppFirmware.h"
#include "sim/SimKeys.h"

namespace qj::sim {

IteModel::IteModel(const SimConfig& cfg) : present(cfg.str("ite", "present") != "absent") {}

size_t IteModel::enterSetup(AppFirmware& fw, JigPort& port) {
    port.send(uint8_t{'*'});
    fw.beginModal([this, &fw](const uint8_t* d, size_t n, JigPort& p) { return setupFrame(fw, d, n, p); });
    return 1;
}

// Three bytes a frame: two code letters and a contact number; "QQQ" ends the set-up.
size_t IteModel::setupFrame(AppFirmware& fw, const uint8_t* d, size_t n, JigPort& port) {
    if (n < 3) return 0;
    if (d[0] == 'Q' && d[1] == 'Q' && d[2] == 'Q') {
        fw.endModal();
    } else {
        pins[static_cast<size_t>(d[0]) << 8 | d[1]] = d[2];
        ++framesTaken;
    }
    port.send(uint8_t{'+'});
    return 3;
}

void registerIteCommands(AppFirmware& fw) {
    AppFirmware* f = &fw;
    fw.on('S', [f](const uint8_t*, size_t, JigPort& p) { return p.board().model<IteModel>().enterSetup(*f, p); });
}

std::vector<KeySpec> iteKeys() {
    return {
        KeySpec::choice("ite", "present|absent"),
        KeySpec::hex("ite-id", 4),
        KeySpec::text("ite-board"),
        KeySpec::choice("ite-ext", "absent|1-2|31-32|both"),
        KeySpec::inFile("ite-flash"),
        KeySpec::outFile("ite-flash-out"),
    };
}

}  // namespace qj::sim
