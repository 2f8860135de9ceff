#include "sim/AppFirmware.h"

#include <cstdio>

namespace qj::sim {

size_t ackOne(const uint8_t*, size_t, JigPort& port) {
    port.send(uint8_t{'K'});
    return 1;
}

size_t AppFirmware::onInput(const uint8_t* data, size_t n, JigPort& port) {
    if (n == 0) return 0;
    if (data[0] == 'B') {
        port.send(ident_);
        return 1;
    }
    auto it = handlers_.find(data[0]);
    if (it == handlers_.end()) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "%s firmware: unknown command 0x%02X", family_.c_str(), data[0]);
        port.error(msg);
        return 1;
    }
    return it->second(data, n, port);
}

namespace {
// The signals 'I' (success, also the buzzer) and 'O' (failure) answer one byte.
void registerSignals(AppFirmware& fw) {
    fw.on('I', ackOne);
    fw.on('O', ackOne);
}
}  // namespace

std::unique_ptr<JigFirmware> makeApplicationFirmware(const std::string& ident) {
    std::string family;
    if (ident.find("ENE_EDID_KB") != std::string::npos) family = "ENE_EDID_KB";
    else if (ident.find("M328_EPM240") != std::string::npos) family = "M328_EPM240";
    else if (ident.find("V42") != std::string::npos) family = "V42";
    else if (ident.find("ITE2") != std::string::npos) family = "ITE2";
    else if (ident.find("NPCE") != std::string::npos) family = "NPCE";
    else family = "unknown";
    auto fw = std::make_unique<AppFirmware>(family, ident);
    registerSignals(*fw);
    registerBootEntry(*fw);
    if (family == "ENE_EDID_KB") {
        registerKb90xxCommands(*fw);
        registerEepromCommands(*fw);
        registerKeyboardCommands(*fw);
    }
    return fw;
}

}  // namespace qj::sim
