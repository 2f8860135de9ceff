#pragma once
// The ITE firmware's command set as the host uses it: the elementary cycles on
// the keyboard-connector bus, the bulk commands, the register batch packet and
// the register sequences that drive the EC's flash gateway.
#include <cstdint>
#include <vector>

namespace qj::ite {

// Jig commands.
inline constexpr uint8_t kSetup = 'S', kSetupOk = '*', kFrameOk = '+';
inline constexpr uint8_t kDetect = '3', kExtOn1 = '1', kExtOn2 = '2', kExtOff = '0';
inline constexpr uint8_t kAttach = 'T';
inline constexpr uint8_t kAddress = 'A', kDataWrite = 'W', kDataRead = 'R';
inline constexpr uint8_t kFetch = 'r', kBatch = '8', kWriteStart = 'Y', kChunk = 'w', kPage = '9';
inline constexpr uint8_t kOk = 'o', kBusy = 'e', kPageOk = 0x7F;

inline constexpr int kBlock = 256;   // a block fetch: 256 data bytes, then the status
inline constexpr int kChunkSize = 128;
inline constexpr int kSector = 1024;
inline constexpr int k8580Size = 131072;  // what the 8580 algorithm covers, whatever the flash size

inline constexpr uint16_t kId8580 = 0x8580;
inline constexpr uint16_t kId8386 = 0x8386;  // a 192 KiB chip

// Registers.
inline constexpr uint8_t kRegIdHigh = 0x00, kRegIdLow = 0x01, kRegRevision = 0x02;
inline constexpr uint8_t kRegAddr3 = 0x07, kRegAddr2 = 0x06, kRegAddr1 = 0x05, kRegAddr0 = 0x04;
inline constexpr uint8_t kRegGatewayData = 0x08;

// SPI flash opcodes shifted out through the gateway.
inline constexpr uint8_t kSpiFastRead = 0x0B, kSpiWriteEnable = 0x06, kSpiReadStatus = 0x05;
inline constexpr uint8_t kSpiSectorErase = 0xD7, kSpiChipErase1 = 0x60, kSpiChipErase2 = 0xC7;
inline constexpr uint8_t kSectorStatusGood = 0xFC;

// One register write of a sequence, with the code its failure reports ("" none).
struct RegStep {
    const char* code;
    uint8_t reg, value;
};

// Gateway open, flash command end, fast read from address 0: after it every
// block fetch returns the next 256 bytes of the flash ("(R001)" to "(R013)").
extern const std::vector<RegStep> kReadPreparation;
// The read preparation of the 8580 (outcomes not looked at).
extern const std::vector<RegStep> kReadPreparation8580;
// Gateway open, write enable and both chip erase opcodes ("(T001)" to "(T019)").
extern const std::vector<RegStep> kChipErase;
// Gateway open and flash command end, before the sector erases.
extern const std::vector<RegStep> kBlockEraseInit;

// The register batch packet ('8', kind, length, pairs, terminator).
std::vector<uint8_t> batchBlockAddress(uint8_t h, int block);  // kind 3
std::vector<uint8_t> batchWriteSetup();                         // kind 2
std::vector<uint8_t> batchPageAddress(uint32_t address);        // kind 1

}  // namespace qj::ite
