#include "sim/NpceModel.h"

#include "sim/AppFirmware.h"
#include "sim/SimKeys.h"

namespace qj::sim {

NpceModel::NpceModel(const SimConfig& cfg) : present(cfg.str("npce", "present") != "absent") {
    if (cfg.has("npce-id")) jedecId = static_cast<uint32_t>(std::stoul(cfg.str("npce-id"), nullptr, 16));
}

// 'Z': the JEDEC ID, most significant byte first, and one more byte.
size_t NpceModel::readId(JigPort& port) {
    uint8_t id[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (present) {
        id[0] = static_cast<uint8_t>(jedecId >> 16);
        id[1] = static_cast<uint8_t>(jedecId >> 8);
        id[2] = static_cast<uint8_t>(jedecId);
        id[3] = 0x00;
    }
    port.send(id, sizeof id);
    return 1;
}

void registerNpceCommands(AppFirmware& fw) {
    fw.on('Z', [](const uint8_t*, size_t, JigPort& p) { return p.board().model<NpceModel>().readId(p); });
}

std::vector<KeySpec> npceKeys() {
    return {
        KeySpec::choice("npce", "present|absent"),
        KeySpec::hex("npce-id", 6),
        KeySpec::inFile("npce-flash"),
        KeySpec::outFile("npce-flash-out"),
    };
}

}  // namespace qj::sim
