#pragma once
// The ITE EC behind the "ITE2" firmware, reached through the keyboard connector
// once the jig knows which contact carries which bus signal (its set-up mode).
// The EC's registers, its flash gateway with an SPI flash behind it (fast read,
// write enable, status, 1 KiB sector erase, chip erase with a busy time, NOR
// programming), the jig's bulk commands, the 8580 variant's own erase, batch
// and page commands, and the external board (two sense inputs, two supply rails).
//   ite=absent            no chip answers
//   ite-id=HHLL           the chip ID (registers 0 and 1); 8386 has 192 KiB of flash
//   ite-rev=N             the revision (register 2)
//   ite-board=TEXT        the wiring line the target is reached by
//   ite-reversed=1        the cable is turned over: reached by that line's mirror
//   ite-ext=absent|1-2|31-32|both   how the external board is fitted
//   ite-flash=FILE        initial flash; ite-flash-out=FILE written when the process ends
// Faults and times: see iteKeys() and the README.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/NorFlash.h"
#include "sim/SimConfig.h"
#include "sim/TargetFaults.h"

namespace qj::sim {

class AppFirmware;
class JigPort;

class IteModel {
public:
    explicit IteModel(const SimConfig& cfg);

    // 'S': enter set-up mode; the pin frames then come until "QQQ".
    size_t enterSetup(AppFirmware& fw, JigPort& port);
    size_t setupFrame(AppFirmware& fw, const uint8_t* data, size_t n, JigPort& port);
    // Every other ITE command; data[0] is the command byte.
    size_t command(const uint8_t* data, size_t n, JigPort& port);
    // The command bytes command() takes, as registered with the firmware.
    static std::vector<uint8_t> commandCodes();

    std::vector<uint8_t> flash;
    bool present = true;
    uint16_t id;
    std::map<std::string, int> frames;  // two-letter code -> contact, as the last set-up received them
    bool setupDone = false;
    int setups = 0;
    bool rail1 = false, rail2 = false;  // the external board's supply
    int64_t chipUs = 0;                 // time the modelled chip and jig spent working (benchmarks)
    int64_t statusReads = 0;            // SPI status reads through the gateway

private:
    bool answering();
    bool reachable() const;
    bool live() const { return attached_ && reachable(); }
    uint8_t readRegister(JigPort& port);
    void writeRegister(uint8_t reg, uint8_t value, bool lone, JigPort& port);
    void spiShift(uint8_t b);
    uint8_t spiIn(JigPort& port);
    void spiEnd(JigPort& port);
    uint8_t spiStatus(JigPort& port) const;
    bool gatewayAddressed(uint8_t low) const;
    int64_t busyLeftUs(JigPort& port) const;
    // The jig's commands; `d` holds the command's `need` bytes, d[0] its byte.
    using Run = void (IteModel::*)(const uint8_t* d, size_t need, JigPort& port);
    struct Command {
        uint8_t code;
        size_t need;  // 0: the register batch, whose third byte says
        Run run;
    };
    static const std::vector<Command>& commandTable();
    void senseExternal(const uint8_t* d, size_t need, JigPort& port);  // '3'
    void railOn(const uint8_t* d, size_t need, JigPort& port);         // '1', '2'
    void railsOff(const uint8_t* d, size_t need, JigPort& port);       // '0'
    void attach(const uint8_t* d, size_t need, JigPort& port);         // 'T'
    void address(const uint8_t* d, size_t need, JigPort& port);        // 'A'
    void registerWrite(const uint8_t* d, size_t need, JigPort& port);  // 'W'
    void registerRead(const uint8_t* d, size_t need, JigPort& port);   // 'R'
    void fetch(const uint8_t* d, size_t need, JigPort& port);          // 'r'
    void batch(const uint8_t* d, size_t need, JigPort& port);          // '8'
    void writeStart(const uint8_t* d, size_t need, JigPort& port);     // 'Y'
    void writeChunk(const uint8_t* d, size_t need, JigPort& port);     // 'w'
    void writePage(const uint8_t* d, size_t need, JigPort& port);      // '9'
    void configError(JigPort& port);

    // Configuration.
    NorFlash nor_;
    TargetFaults faults_;
    uint8_t rev_ = 1;
    std::map<std::string, int> board_;  // the ite-board line's assignment, by code
    char ext_ = 'a';                    // 'a'bsent, '1' (1-2), '3' (31-32), 'b'oth
    int busyReg_ = -1;
    int64_t badBlock_ = 0, writeFail_ = 0, refuseFrame_ = 0;
    int64_t busySector_ = -1;
    int64_t eraseUs_ = 0, byteUs_ = 0;
    std::string configError_;

    // State.
    int64_t commands_ = 0, fetches_ = 0, writes_ = 0;
    int frameNo_ = 0;
    bool attached_ = false;
    uint8_t regs_[256] = {};
    uint8_t sel_ = 0;
    bool afterAddress_ = false;
    int gatewayStage_ = 0;  // 0x27 written 0x01 (1), then 0x80 (2: the gateway is open)
    std::vector<uint8_t> spi_;  // the SPI command in progress (chip select active)
    uint32_t readPtr_ = 0;
    bool wel_ = false;
    bool sectorStuckBusy_ = false;
    int64_t busyUntilUs_ = 0;
    bool writing_ = false;
    uint32_t writePtr_ = 0;
    // 8580.
    bool unlocked8580_ = false, eraseStatus8580_ = false, writeMode8580_ = false;
    int64_t pendingBlock_ = -1;
    uint32_t pageAddr_ = 0;
};

}  // namespace qj::sim
