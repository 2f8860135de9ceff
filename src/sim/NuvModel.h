#pragma once
// The Nuvoton EC reached over JTAG through the keyboard connector, on the
// "M328_EPM240" and "NPCE" firmwares ("Ji", "Jd", "JD", "JT", "JR", "JW").
//
// The chip: after a TAP reset ("J1") a 32-bit data shift reads its JTAG ID;
// once an instruction has been shifted, data shifts reach its debug interface
// (8-bit command, then 32-bit value: 0Bh address, 0Dh data, 09h go, 0Ch fetch,
// 00h-03h write set-up). The debug interface serves the flash interface
// registers (FF0016h opcode, FF0017h-FF0019h address, FF001Ah data, FF001Eh
// control) of an SPI flash with write enable, status read, 4 KiB sector erase
// and NOR programming, and 4 KiB of RAM at 10000h that holds the two block
// buffers and the block descriptor. The debug interface works once the JTAG
// script has been played (its last line, the combined shift E0h 00C0FFEEh 5Ah,
// tells): then a descriptor batch programs its block when CRC-8 and block
// number agree, answering 22h, and "JR" serves the flash block by block.
//
// On the EPM240 firmware the chip is reached only with the JTAG lines on
// ("JX") and a pin map in the CPLD registers that matches the flat cable; on
// the NPCE firmware the user wires the lines by hand. A chip not reached reads
// all ones.
//
//   nuv=absent              no chip on the JTAG lines
//   nuv-id=HEX8             the chip's JTAG ID
//   nuv-id-split=MS         the ID comes in two pieces, the second MS ms after the first
//   nuv-cable=any|type-a|type-b   which pin map reaches the chip (any: either orientation)
//   nuv-silent-after=N      after N Nuvoton commands the jig answers none of them
//   nuv-batch-fail-at=N     the Nth batch is not carried out and answers EEh
//   nuv-erase-us=N          time of one sector erase
//   nuv-erase-stuck=R       sector R never finishes its erase
//   nuv-read-silent-at=N    the Nth block read gets no answer
//   nuv-read-overlong-at=N  the Nth block read answers 257 bytes
//   nuv-stuck=ADDR          a flash cell that keeps its value when programmed
//   nuv-flash=FILE          initial flash (128 KiB); nuv-flash-out=FILE written when the process ends
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/NorFlash.h"
#include "sim/SimConfig.h"
#include "sim/TargetFaults.h"

namespace qj::sim {

class JigPort;

class NuvModel {
public:
    static constexpr size_t kFlashSize = 131072;
    static constexpr uint32_t kRamBase = 0x10000;
    static constexpr size_t kRamSize = 0x1000;
    static constexpr uint8_t kAccepted = 0x22;
    static constexpr uint8_t kRefused = 0xEE;

    explicit NuvModel(const SimConfig& cfg);

    // What the jig's firmware does around the chip.
    struct Jig {
        bool cpld = false;           // maps the JTAG lines with its CPLD (EPM240)
        bool waitsForFlash = false;  // "NPCE VC": carries out a batch only once the flash is not busy
    };
    // A 'J' command; returns the bytes consumed (0: need more).
    size_t command(const uint8_t* data, size_t n, JigPort& port, const Jig& jig);
    // The second bytes command() takes, as registered with the firmware.
    static std::vector<uint8_t> commandCodes();

    std::vector<uint8_t> flash;
    bool present = true;
    uint32_t jtagId = 0x0FE2201F;
    bool scriptPlayed = false;
    int64_t commands = 0;        // Nuvoton commands since the jig started
    int64_t batches = 0;         // "JW"
    int64_t blockReads = 0;      // "JR"
    int64_t sectorsErased = 0;
    int64_t blocksProgrammed = 0;
    int64_t descriptorsRefused = 0;

private:
    bool reached(JigPort& port, bool cpld);
    void tapReset();
    // One debug-interface access; returns what a 32-bit shift after it reads.
    uint32_t access(uint8_t cmd, uint32_t value, JigPort& port);
    void writeItem(uint32_t addr, uint32_t value, JigPort& port);
    uint32_t readItem(uint32_t addr, JigPort& port);
    void writeWord(uint32_t addr, uint32_t value, JigPort& port);
    void flashControl(uint8_t control, JigPort& port);
    uint8_t flashStatus(JigPort& port) const;
    bool takeDescriptor(JigPort& port);
    // The 'J' commands; `data` holds the command's `need` bytes; each returns the bytes consumed.
    using Run = size_t (NuvModel::*)(const uint8_t* data, size_t need, JigPort& port, bool reach, const Jig& jig);
    struct Command {
        uint8_t code;  // the second byte
        size_t need;   // 0: a batch, whose third and fourth bytes say
        Run run;
    };
    static const std::vector<Command>& commandTable();
    size_t instruction(const uint8_t* data, size_t need, JigPort& port, bool reach, const Jig& jig);  // "Ji"
    size_t drCommand(const uint8_t* data, size_t need, JigPort& port, bool reach, const Jig& jig);    // "Jd"
    size_t drShift(const uint8_t* data, size_t need, JigPort& port, bool reach, const Jig& jig);      // "JD"
    size_t transfer(const uint8_t* data, size_t need, JigPort& port, bool reach, const Jig& jig);     // "JT"
    size_t blockRead(const uint8_t* data, size_t need, JigPort& port, bool reach, const Jig& jig);    // "JR"
    size_t batch(const uint8_t* data, size_t need, JigPort& port, bool reach, const Jig& jig);        // "JW"

    NorFlash nor_;
    TargetFaults faults_;
    std::string cable_ = "any";
    int64_t idSplitUs_ = -1;
    int64_t batchFailAt_ = 0;
    int64_t eraseUs_ = 20000;
    int64_t eraseStuck_ = -1;
    int64_t readSilentAt_ = 0;
    int64_t readOverlongAt_ = 0;

    // JTAG state.
    int seenTapResets_ = 0;
    bool idcode_ = true;  // the data register is the ID until an instruction is shifted
    uint8_t drCmd_ = 0;   // the debug command of the last 8-bit data shift

    // Debug interface.
    uint32_t addr_ = 0, data_ = 0, fetch_ = 0;
    uint32_t burstAddr_ = 0;
    int burstLeft_ = 0;
    std::array<uint32_t, 4> setup_{};
    bool setupDone_ = false;
    int nextBlock_ = 0;
    std::vector<uint8_t> ram_;

    // Flash interface.
    std::array<uint8_t, 0x20> fiu_{};
    bool writeEnabled_ = false;
    bool erasing_ = false;
    int64_t busyUntilUs_ = 0;
    bool busyForever_ = false;
    int readBlock_ = 0;
};

}  // namespace qj::sim
