#pragma once
// The keys of the virtual jig's --sim string, each declared once, beside the part of the
// virtual jig that reads it. A `--sim` string is checked against them when it is read,
// before any byte moves: a misspelt key or a malformed value is an error that
// names the key, never a fault that silently does not happen.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qj::sim {

struct KeySpec {
    enum class Kind {
        Flag,     // 0/1, on/off, yes/no, true/false
        Number,   // decimal or 0x hex, within [min, max]
        Choice,   // one of the words in `choices` ("a|b|c")
        Text,     // anything `check` accepts
        InFile,   // a file that must be readable now
        OutFile,  // a path written when the process ends
    };
    std::string name;
    Kind kind = Kind::Text;
    int64_t min = 0, max = 0;
    std::string choices;
    // Text: returns why the value is not good, or "" when it is.
    std::function<std::string(const std::string&)> check;

    static KeySpec flag(std::string name);
    static KeySpec number(std::string name, int64_t min, int64_t max);
    static KeySpec choice(std::string name, std::string choices);
    static KeySpec text(std::string name, std::function<std::string(const std::string&)> check = {});
    // Exactly `digits` hexadecimal digits (an ID such as "EF4012").
    static KeySpec hex(std::string name, int digits);
    static KeySpec inFile(std::string name);
    static KeySpec outFile(std::string name);
};

// The declarations, one list per part of the virtual jig. Each is defined in the
// file of the part that reads the keys.
std::vector<KeySpec> deviceKeys();      // SimFtdi: devices, timing, unplug, the jig's firmware
std::vector<KeySpec> bootloaderKeys();  // boot entry, Intel HEX and version 3 bootloaders
std::vector<KeySpec> eneKeys();      // ENE KB90xx chip and the KESTRA adapter
std::vector<KeySpec> eepromKeys();      // EDID EEPROM
std::vector<KeySpec> keyboardKeys();    // keyboard matrix
std::vector<KeySpec> mecKeys();         // MEC16xx behind the JTAG firmwares
std::vector<KeySpec> nuvKeys();     // Nuvoton EC over JTAG
std::vector<KeySpec> iteKeys();         // ITE EC behind the ITE firmware
std::vector<KeySpec> npceKeys();        // Nuvoton NPCE SPI flash behind the NPCE firmware

// Every declared key, by name.
const std::map<std::string, KeySpec>& allKeys();

// Checks every key and value of parsed keys; throws std::invalid_argument
// with a message that names the key (an unknown key: the known keys listed).
void validateKeys(const std::map<std::string, std::string>& kv);

// The number in a value already checked (decimal or 0x hex).
bool parseNumber(const std::string& v, int64_t& out);
// The flag words: true for 1/on/yes/true, false for 0/off/no/false; nothing else is a flag.
bool parseFlag(const std::string& v, bool& out);

}  // namespace qj::sim
