#include "sim/AppFirmware.h"

#include <cstdio>
#include <stdexcept>

namespace qj::sim {

size_t ackOne(const uint8_t*, size_t, JigPort& port) {
    port.send(uint8_t{'K'});
    return 1;
}

void AppFirmware::on(uint8_t cmd, Handler h) {
    if (owns(cmd)) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "%s firmware: command 0x%02X registered twice", family_.c_str(), cmd);
        throw std::logic_error(msg);
    }
    single_[cmd] = std::move(h);
}

void AppFirmware::on(uint8_t first, uint8_t second, Handler h) {
    if (single_.count(first) != 0 || owns(first, second)) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "%s firmware: command %c%c registered twice", family_.c_str(), first, second);
        throw std::logic_error(msg);
    }
    pairs_[first][second] = std::move(h);
}

bool AppFirmware::owns(uint8_t first, uint8_t second) const {
    auto it = pairs_.find(first);
    return it != pairs_.end() && it->second.count(second) != 0;
}

void AppFirmware::ignore(uint8_t cmd) {
    on(cmd, [](const uint8_t*, size_t, JigPort&) -> size_t { return 1; });
}

void AppFirmware::unknown(JigPort& port, const uint8_t* data, size_t len) {
    char msg[96];
    if (len == 2)
        std::snprintf(msg, sizeof msg, "%s firmware: unknown command 0x%02X 0x%02X", family_.c_str(), data[0], data[1]);
    else
        std::snprintf(msg, sizeof msg, "%s firmware: unknown command 0x%02X", family_.c_str(), data[0]);
    port.error(msg);
}

size_t AppFirmware::onInput(const uint8_t* data, size_t n, JigPort& port) {
    if (n == 0) return 0;
    if (modal_) {
        Handler h = modal_;  // the handler may end the mode (or start another)
        return h(data, n, port);
    }
    if (data[0] == 'B') {
        port.send(ident_);
        return 1;
    }
    if (auto it = single_.find(data[0]); it != single_.end()) return it->second(data, n, port);
    auto pit = pairs_.find(data[0]);
    if (pit == pairs_.end()) {
        unknown(port, data, 1);
        return 1;
    }
    if (n < 2) return 0;
    auto hit = pit->second.find(data[1]);
    if (hit == pit->second.end()) {
        unknown(port, data, 2);
        return 2;
    }
    return hit->second(data, n, port);
}

std::unique_ptr<JigFirmware> makeApplicationFirmware(const std::string& ident) {
    std::string family;
    if (ident.find("ENE_EDID_KB") != std::string::npos) family = "ENE_EDID_KB";
    else if (ident.find("M328_EPM240") != std::string::npos) family = "M328_EPM240";
    else if (ident.find("V42") != std::string::npos) family = "V42";
    else if (ident.find("ITE2") != std::string::npos) family = "ITE2";
    else if (ident.find("NPCE") != std::string::npos) family = "NPCE";
    else family = "unknown";
    auto fw = std::make_unique<AppFirmware>(family, ident);
    registerBootEntry(*fw);
    if (family == "V42") {
        // The plain MEC firmware acknowledges neither the signals nor the release.
        fw->ignore('I');
        fw->ignore('O');
        fw->ignore('0');
    } else {
        // The success signal 'I' (also the buzzer) and the failure signal 'O'.
        fw->on('I', ackOne);
        fw->on('O', ackOne);
    }
    if (family == "ENE_EDID_KB") {
        registerEneCommands(*fw);
        registerEepromCommands(*fw);
        registerKeyboardCommands(*fw);
    } else if (family == "M328_EPM240") {
        registerJtagCommands(*fw);
        registerMecCommands(*fw, MecForms::Epm240);
        registerNuvCommands(*fw);
    } else if (family == "V42") {
        registerMecCommands(*fw, MecForms::Plain);
    } else if (family == "NPCE") {
        registerJtagCommands(*fw);
        registerNpceCommands(*fw);
        registerNuvCommands(*fw);
    } else if (family == "ITE2") {
        registerIteCommands(*fw);
    }
    return fw;
}

}  // namespace qj::sim
