#pragma once
// The MEC16xx target behind the jig's JTAG connector (the "V42" firmware's plain
// forms and the "M328_EPM240" firmware's EPM240 forms). Its flash is NOR: an
// erase sets FFh, programming only clears bits. The flash interface sits behind
// three registers: FF3910h enables it, FF3908h holds the command (105h read,
// 106h program, 107h erase, 100h idle), FF3904h the address (written while the
// command is 107h it starts the erase: F80000h MAIN, FC0000h MAIN and INFO);
// FF390Ch reports busy (bit 0), Boot_Lock (bit 3) and the write-protect pin (bit 4).
//   mec=absent          no MEC: the JTAG ID reads FF FF FF FF, registers and flash are silent
//   mec-fwp=1           the write-protect pin is active (program and erase do nothing)
//   mec-bootlock=1      the boot block is locked (likewise)
//   mec-erase-ms=N      how long an erase keeps the busy bit set
//   mec-busy-stuck=1    the busy bit never clears after an erase
//   mec-silent-reg=HEX6 reads and writes of that register are never answered
//   mec-lost-at=N       from the Nth flash block since start the status byte is 00h
//   mec-overlong-at=N   the Nth block answer carries one byte too many
//   mec-silent-after=N  after N blocks or pages the jig answers no block or page command
//   mec-no-g-at=N       the Nth page since start is answered "E" instead of "G" (not programmed)
//   mec-stuck=ADDR      a MAIN cell that keeps its value when erased or programmed
//   mec-block-us=N      the jig's time per block or page (paced mode)
//   mec-plain-forms=accept|ignore  the EPM240 firmware and the plain "1", "j", "0"
//   mec-flash=FILE      initial MAIN block (192 KiB); mec-info=FILE the INFO block (2 KiB)
//   mec-flash-out=FILE  MAIN written there when the process ends; mec-info-out=FILE INFO
#include <cstdint>
#include <string>
#include <vector>

#include "sim/NorFlash.h"
#include "sim/SimConfig.h"
#include "sim/TargetFaults.h"

namespace qj::sim {

class AppFirmware;
class JigPort;

class MecModel {
public:
    static constexpr size_t kMainSize = 196608;
    static constexpr size_t kInfoSize = 2048;
    static constexpr size_t kBlock = 1024;
    static constexpr size_t kPage = 256;
    static constexpr uint32_t kInfoBase = 0x040000;  // INFO's flash-read address

    explicit MecModel(const SimConfig& cfg);

    // Jig commands; `at` is the offset of the first argument character. They
    // return the bytes consumed (0: need more).
    size_t jtagReset(JigPort& port);  // plain "1": the jig resets the TAP and answers one byte
    size_t readId(JigPort& port);
    size_t readRegister(const uint8_t* d, size_t n, size_t at, JigPort& port);
    size_t writeRegister(const uint8_t* d, size_t n, size_t at, JigPort& port);
    size_t flashRead(const uint8_t* d, size_t n, size_t at, JigPort& port);
    size_t next(AppFirmware& fw, JigPort& port);       // "N": next block, or next page's go-ahead
    size_t pageWrite(AppFirmware& fw, JigPort& port);  // "W"
    size_t endTransfer();                              // "X"

    uint32_t status(int64_t nowUs) const;
    std::vector<uint8_t> main, info;
    bool present = true;
    bool fwp = false, bootLock = false;
    bool plainFormsIgnored = false;  // EPM240 firmware: "1", "j", "0" taken and not answered
    uint32_t jtagId = 0x0000A4B7;    // a made-up MEC16xx JTAG ID, most significant byte first
    uint32_t enable = 0, command = 0, address = 0;
    int64_t busyUntilUs = 0;
    int erases = 0, releases = 0;
    int64_t blocksServed = 0, pagesServed = 0;  // since the jig started
    std::vector<uint32_t> eraseAddresses;

private:
    enum class Transfer { None, Read, Write };
    void sendBlock(JigPort& port);
    void goAhead(AppFirmware& fw, JigPort& port);
    size_t page(const uint8_t* d, size_t n, AppFirmware& fw, JigPort& port);
    // The next block or page goes unanswered.
    bool silentNow() const { return faults_.silentAt(blocksServed + pagesServed + 1); }

    // INFO first: MAIN goes to its file first when the model goes away.
    NorFlash infoFlash_;
    NorFlash nor_;  // MAIN
    int64_t eraseUs_ = 1'000'000;
    bool busyStuck_ = false;
    int64_t silentReg_ = -1;
    TargetFaults faults_;
    int64_t noGAt_ = 0;
    Transfer transfer_ = Transfer::None;
    uint32_t readAt_ = 0;   // flash-read address of the next block
    size_t writeAt_ = 0;    // MAIN offset of the next page
};

}  // namespace qj::sim
