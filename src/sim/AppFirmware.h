#pragma once
// Common part of the jig's application firmwares: the identification request "B"
// and a command table filled by the firmware family's target models.
//
// A family's command set is the union of its models' commands. A model owns
// whole one-byte commands, or two-byte commands under a shared first byte ('S',
// 'J', 'M', 'V'): the first byte's dispatcher routes on the second byte to the
// model that registered the pair. Two models never own the same command
// (registering it twice is a programming error), and a command nobody owns is
// a loud virtual-jig error.
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

    // A one-byte command (its handler reads whatever follows it).
    void on(uint8_t cmd, Handler h);
    // A two-byte command under the shared first byte `first`.
    void on(uint8_t first, uint8_t second, Handler h);
    // A command the firmware takes and never answers.
    void ignore(uint8_t cmd);
    // Modal input (a set-up mode, a page of data after its request): until
    // endModal(), every byte the host sends goes to `h`, "B" included.
    void beginModal(Handler h) { modal_ = std::move(h); }
    void endModal() { modal_ = nullptr; }
    bool modal() const { return static_cast<bool>(modal_); }
    // Whether a command (or a two-byte command) has an owner.
    bool owns(uint8_t cmd) const { return single_.count(cmd) != 0 || pairs_.count(cmd) != 0; }
    bool owns(uint8_t first, uint8_t second) const;

    // The reset button (set by registerBootEntry: it starts the bootloader).
    void onResetDo(std::function<void(JigPort&)> fn) { reset_ = std::move(fn); }
    void onReset(JigPort& port) override {
        modal_ = nullptr;
        if (reset_) reset_(port);
    }

private:
    void unknown(JigPort& port, const uint8_t* data, size_t len);

    std::string family_;
    std::string ident_;
    std::map<uint8_t, Handler> single_;
    std::map<uint8_t, std::map<uint8_t, Handler>> pairs_;
    Handler modal_;
    std::function<void(JigPort&)> reset_;
};

// Answers one byte to the command (an acknowledged command).
size_t ackOne(const uint8_t* data, size_t n, JigPort& port);

// Registration hooks, each in the file of its target model, so a family's
// command set grows without touching this file.
void registerBootEntry(AppFirmware& fw);          // "?" -> "!" and the bootloader
void registerEneCommands(AppFirmware& fw);     // ENE KB90xx debug port and KESTRA adapter
void registerEepromCommands(AppFirmware& fw);     // EDID EEPROM
void registerKeyboardCommands(AppFirmware& fw);   // keyboard matrix scan
// The JTAG lines of the jig ("SR", "SW", "JX", "JS", "J1"), shared by the MEC
// and the Nuvoton JTAG models on the EPM240 and NPCE firmwares.
void registerJtagCommands(AppFirmware& fw);
// MEC16xx: the EPM240 forms ("M?" pairs, on "M328_EPM240") or the plain forms (on "V42").
enum class MecForms { Epm240, Plain };
void registerMecCommands(AppFirmware& fw, MecForms forms);
void registerNuvCommands(AppFirmware& fw);    // Nuvoton EC over JTAG ("Ji", "Jd", "JD", "JT", "JR", "JW")
void registerIteCommands(AppFirmware& fw);        // ITE EC through the keyboard connector
void registerNpceCommands(AppFirmware& fw);       // NPCE SPI flash and its adapter

}  // namespace qj::sim
