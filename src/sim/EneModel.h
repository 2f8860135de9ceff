#pragma once
// The ENE KB90xx target behind the jig's keyboard-connector leads, and the
// KESTRA adapter board. Built from the virtual jig's configuration:
//   flash=FILE           initial flash (a shorter file leaves 0xFF behind it)
//   flash-out=FILE       the flash is written there when the model goes away
//   ene-pattern=P        initial flash without flash=: counter (default), blank, random
//   ene-seed=N           seed of the random pattern
//   ene=absent           no chip: the debug version reads 0xFF, blocks fail
//   ene-version=N        the chip's debug version byte (default 0x24)
//   ene-lost-at=N        the Nth block command answers the lost status 'e'; the chip stays lost
//   ene-silent-after=N   after N block commands the jig answers no block command
//   ene-stuck=ADDR       a flash cell that keeps its value when written
//   ene-overlong-at=N    the Nth block answer carries one byte too many
//   ene-block-us=N       the jig's time to fetch or program a block (paced mode)
//   ene-flaky=ADDR       every second read of the cell at ADDR returns it with its lowest bit flipped
//                        (a slipping contact: two reads of the chip differ)
//   kestra=absent|1-2|31-32|both   how the adapter board is fitted
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/NorFlash.h"
#include "sim/SimConfig.h"
#include "sim/TargetFaults.h"

namespace qj::sim {

class JigPort;

class EneModel {
public:
    static constexpr size_t kFlashSize = 131072;
    static constexpr size_t kBlockSize = 256;

    explicit EneModel(const SimConfig& cfg);

    // Jig commands ('v', 'R'/'N', 'W', 'X'); they return the bytes consumed.
    size_t debugVersion(JigPort& port);
    size_t readBlock(JigPort& port);
    size_t writeBlock(const uint8_t* data, size_t n, JigPort& port);
    size_t closeTransfer();

    std::vector<uint8_t> flash;
    bool present = true;
    bool lost = false;
    uint8_t version = 0x24;
    int64_t blocksServed = 0;  // block commands since the jig started
    int64_t blocksWritten = 0;

private:
    // The block a block command concerns: the first of a transfer is block 0.
    int64_t nextBlock(JigPort& port);
    bool silentNow() const { return faults_.silentAt(blocksServed); }
    void reportConfigError(JigPort& port);

    NorFlash nor_;
    TargetFaults faults_;
    int64_t flaky_ = -1;
    int64_t flakyReads_ = 0;
    bool transferStart_ = true;
    int64_t block_ = 0;
    bool writeAcked_ = false;
    std::string configError_;
};

class KestraModel {
public:
    enum class Fit { Absent, Contacts12, Contacts3132, BothGrounded };
    explicit KestraModel(const SimConfig& cfg);
    // 'V' sub-commands; returns the bytes consumed (0: need the sub-command byte).
    size_t command(const uint8_t* data, size_t n, JigPort& port);
    // The adapter's three sense bytes as the jig reads them (the NPCE firmware too).
    std::array<uint8_t, 3> sense() const;

    Fit fit = Fit::Absent;
    bool on = false;
    char orientation = 0;  // '5' or '6' once told
    int switchedOn = 0, switchedOff = 0;

private:
    std::string configError_;
};

}  // namespace qj::sim
