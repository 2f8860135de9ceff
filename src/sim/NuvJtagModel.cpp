#include "sim/NuvJtagModel.h"

#include "sim/AppFirmware.h"
#include "sim/SimKeys.h"

namespace qj::sim {

NuvJtagModel::NuvJtagModel(const SimConfig& cfg) : present(cfg.str("nuv", "present") != "absent") {
    if (cfg.has("nuv-id")) jtagId = static_cast<uint32_t>(std::stoul(cfg.str("nuv-id"), nullptr, 16));
}

size_t NuvJtagModel::irShift(const uint8_t* data, size_t n, JigPort& port) {
    if (n < 3) return 0;
    ir = data[2];
    port.send(uint8_t{'K'});
    return 3;
}

void registerNuvJtagCommands(AppFirmware& fw) {
    fw.on('J', 'i', [](const uint8_t* d, size_t n, JigPort& p) { return p.board().model<NuvJtagModel>().irShift(d, n, p); });
}

std::vector<KeySpec> nuvJtagKeys() {
    return {
        KeySpec::choice("nuv", "present|absent"),
        KeySpec::hex("nuv-id", 8),
        KeySpec::inFile("nuv-flash"),
        KeySpec::outFile("nuv-flash-out"),
    };
}

}  // namespace qj::sim
