#pragma once
// The bytes of the Nuvoton JTAG window: the jig's JTAG commands, the CPLD pin
// map of an EPM240 jig, the JTAG script's line format, and the command batches
// that erase the chip's flash and hand it blocks with their descriptors.
// Pure functions, no link: the core sends what these build.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qj::nuv {

inline constexpr int kImageSize = 131072;  // the chip's flash: 512 blocks of 256 bytes
inline constexpr int kBlockSize = 256;
inline constexpr int kBlocks = kImageSize / kBlockSize;
inline constexpr int kSectors = 32;  // erased as 4 KiB sectors
inline constexpr int kSectorSize = kImageSize / kSectors;
inline constexpr uint32_t kExpectedId = 0x0FE2201F;
inline constexpr size_t kLineBuffer = 1040;  // the longest script line, CR included

// ---------------------------------------------------------------- jig commands

inline std::vector<uint8_t> irShift(uint8_t v) { return {0x4A, 0x69, v}; }
inline std::vector<uint8_t> drShift(uint8_t v) { return {0x4A, 0x64, v}; }
std::vector<uint8_t> drShift32(uint32_t v);  // 4A 44, the value least significant byte first
std::vector<uint8_t> combinedShift(uint8_t extra, uint8_t cmd, uint32_t v);  // 4A 54 extra cmd value
inline constexpr uint8_t kBlockRead[2] = {0x4A, 0x52};

// ---------------------------------------------------------------- pin settings

// Output-enable, the two select groups and the TDO select byte of the CPLD.
struct PinMap {
    std::array<uint8_t, 4> oe{}, s1{}, s0{};
    uint8_t tdo = 0;
};
// `pin1ToPin1`: contact 1 of the flat cable meets contact 1 of the keyboard
// connector ("TYPE B"); otherwise the connector is mirrored ("TYPE A").
PinMap pinMap(bool pin1ToPin1);
// The CPLD register writes ("SW r v") of a map, in the order the jig expects.
std::vector<std::pair<uint8_t, uint8_t>> pinMapRegisters(const PinMap& m);
// What the user wires by hand on a jig without the CPLD: A ground, B TCK,
// C TDO, D TDI, E TMS.
const char* manualWiring(bool pin1ToPin1);

// ---------------------------------------------------------------- batches

// The Dallas/Maxim 1-Wire CRC-8 (reflected 8Ch, initial 0).
uint8_t crc8(const uint8_t* p, size_t n);

// One debug-interface access: an 8-bit command and its 32-bit value.
struct Pair {
    uint8_t cmd;
    uint32_t value;
    bool operator==(const Pair&) const = default;
};

inline constexpr uint8_t kEraseMode = 0xFE;
inline constexpr uint8_t kDataMode = 0xFF;        // the write set-up and block data
inline constexpr uint8_t kDescriptorMode = 0x22;  // the jig waits for the chip to take the block
inline constexpr uint8_t kAccepted = 0x22;        // a batch the chip took

// The command batch: 4A 57, total length (LSB first), mode, 5 bytes per pair.
std::vector<uint8_t> batch(uint8_t mode, const std::vector<Pair>& pairs);

// The chip's flash interface, reached through the debug interface.
inline constexpr uint32_t kFiuOpcode = 0xFF0016;
inline constexpr uint32_t kFiuAddr0 = 0xFF0017;  // +1, +2: the next address bytes
inline constexpr uint32_t kFiuData = 0xFF001A;
inline constexpr uint32_t kFiuControl = 0xFF001E;

std::vector<Pair> erasePairs(int sector);  // write enable, then the 4 KiB erase of `sector`
// The single pairs that read the control register back after an erase batch.
std::vector<Pair> controlReadPairs();
// The single pairs of one status poll: the last one's answer is the flash status.
std::vector<Pair> statusPollPairs();
std::vector<Pair> setupPairs();
uint32_t bufferAddress(int block);  // the two RAM buffers alternate
std::vector<Pair> dataPairs(int block, const uint8_t* data);
std::array<uint32_t, 4> descriptorWords(int block, uint8_t crc);
std::vector<Pair> descriptorPairs(int block, const uint8_t* data);

// ---------------------------------------------------------------- JTAG script

// One jig command a script line sends, and the bytes it answers.
struct JtagCommand {
    std::vector<uint8_t> bytes;
    uint32_t answer;
};

struct ScriptLine {
    enum class Kind { Ignored, Steps, Malformed };
    Kind kind = Kind::Ignored;
    std::vector<JtagCommand> commands;
    std::string why;  // Malformed: what is wrong
};

// One line without its line feed; a carriage return before it is not part of
// the line. Numbers are upper-case hexadecimal digits at fixed positions.
ScriptLine parseScriptLine(std::string_view line);

// The longest script read: a larger file is no JTAG script.
inline constexpr size_t kScriptCap = 4u << 20;

struct Script {
    std::vector<std::vector<JtagCommand>> lines;  // one entry per line ended by a line feed
    int badLine = 0;                              // the first malformed line (1 = first), 0: none
    std::string why;
    bool readError = false;
    bool missing = false;   // absent, or not to be opened (no permission)
    std::string refused;    // why the file is no script at all (not a regular file, too long); empty: none
};
// Reads and checks a whole script; bytes after the last line feed are no line.
// Stops at the first malformed line (lines.size() is then the lines before it).
Script readScript(const std::string& path);
// A script read whole that would send the chip nothing: empty, or no line in
// it that the player carries out. Playing it would leave the chip's debug
// interface closed while the transfers that follow report success.
bool playsNothing(const Script& s);

}  // namespace qj::nuv
