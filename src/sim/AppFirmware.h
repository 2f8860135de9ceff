#pragma once
// Common part of the jig's application firmwares: the identification request "B"
// and a command table filled by the firmware's target models.
#include <functional>
#include <map>

#include "sim/JigFirmware.h"

namespace qj::sim {

class AppFirmware : public JigFirmware {
public:
    // Returns bytes consumed (data[0] is the command byte); 0 = need more bytes.
    using Handler = std::function<size_t(const uint8_t* data, size_t n, JigPort& port)>;

    AppFirmware(std::string family, std::string ident) : family_(std::move(family)), ident_(std::move(ident)) {}
    std::string name() const override { return family_; }
    const std::string& ident() const { return ident_; }
    size_t onInput(const uint8_t* data, size_t n, JigPort& port) override;
    void on(uint8_t cmd, Handler h) { handlers_[cmd] = std::move(h); }
    // The reset button (set by registerBootEntry: it starts the bootloader).
    void onResetDo(std::function<void(JigPort&)> fn) { reset_ = std::move(fn); }
    void onReset(JigPort& port) override {
        if (reset_) reset_(port);
    }

private:
    std::string family_;
    std::string ident_;
    std::map<uint8_t, Handler> handlers_;
    std::function<void(JigPort&)> reset_;
};

// Answers one byte to the command (an acknowledged command).
size_t ackOne(const uint8_t* data, size_t n, JigPort& port);

// Registration hooks of the command families, each in the file of its target
// model, so a firmware's command set grows without touching this file.
void registerBootEntry(AppFirmware& fw);          // "?" -> "!" and the bootloader
void registerKb90xxCommands(AppFirmware& fw);     // ENE KB90xx debug port and KESTRA adapter
void registerEepromCommands(AppFirmware& fw);     // EDID EEPROM
void registerKeyboardCommands(AppFirmware& fw);   // keyboard matrix scan

}  // namespace qj::sim
