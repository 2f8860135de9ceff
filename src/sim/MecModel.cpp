#include "sim/MecModel.h"

#include "sim/AppFirmware.h"
#include "sim/SimKeys.h"

namespace qj::sim {

MecModel::MecModel(const SimConfig& cfg) : present(cfg.str("mec", "present") != "absent") {}

size_t MecModel::readId(JigPort& port) {
    uint8_t id[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (present)
        for (int i = 0; i < 4; ++i) id[i] = static_cast<uint8_t>(jtagId >> (8 * i));
    port.send(id, sizeof id);
    return 1;
}

void registerMecCommands(AppFirmware& fw, MecForms forms) {
    auto mec = [](JigPort& p) -> MecModel& { return p.board().model<MecModel>(); };
    if (forms == MecForms::Epm240) {
        fw.on('M', 'j', [mec](const uint8_t*, size_t, JigPort& p) { return mec(p).readId(p) + 1; });
    } else {
        fw.on('j', [mec](const uint8_t*, size_t, JigPort& p) { return mec(p).readId(p); });
    }
}

std::vector<KeySpec> mecKeys() {
    return {
        KeySpec::choice("mec", "present|absent"),
        KeySpec::flag("mec-fwp"),
        KeySpec::flag("mec-bootlock"),
        KeySpec::inFile("mec-flash"),
        KeySpec::inFile("mec-info"),
        KeySpec::outFile("mec-flash-out"),
    };
}

}  // namespace qj::sim
