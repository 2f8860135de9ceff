#pragma once
// The ITE wiring: which keyboard-connector contact carries each of the fifteen
// signals of the jig's parallel-port style bus (PD0-PD7, STB, AFD, INIT, SLIN,
// BUSY, KSI4, KSI5), read from the user's list "MB connection ITE.txt", the
// mirror for a turned-over cable, the external board's fixed tables, and the
// pin frames "Apply settings" sends.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qj::ite {

inline constexpr const char* kWiringFile = "MB connection ITE.txt";

// Places of the pin map, in the order the jig's frames use them.
enum Pin { INIT, AFD, SLIN, STB, KSI4, KSI5, BUSY, PD0, PD1, PD2, PD3, PD4, PD5, PD6, PD7, kPins };
using PinMap = std::array<int, kPins>;

inline constexpr int kMinContact = 1;
inline constexpr int kMaxContact = 32;

// The keys of a board line in the order they are read (the first bad one is reported).
struct PinKey {
    const char* key;
    Pin pin;
};
inline constexpr PinKey kPinKeys[kPins] = {
    {"PD0=", PD0},   {"PD1=", PD1},   {"PD2=", PD2}, {"PD3=", PD3},   {"PD4=", PD4},
    {"PD5=", PD5},   {"PD6=", PD6},   {"PD7=", PD7}, {"BUSY=", BUSY}, {"STB=", STB},
    {"AFD=", AFD},   {"INIT=", INIT}, {"SLIN=", SLIN}, {"KSI4=", KSI4}, {"KSI5=", KSI5},
};
inline constexpr const char* kKbPinsKey = "KB_pins=";
inline constexpr const char* kFlash192 = "FLASH=192";
inline constexpr const char* kExternalWord = "EXTERNAL";

// Reads the fifteen contact numbers of a board line into `map`, each as soon as
// it is read. Returns the first key that is missing or whose number is not a
// decimal from 1 to 32 ("KSI4=x" included), or "" when all fifteen are good.
std::string readPinMap(const std::string& line, PinMap& map);

// Mirroring the map for a turned-over cable: p becomes N + 1 - p, N from "KB_pins=".
enum class Mirror {
    Done,
    NoCount,     // no "KB_pins=" in the line
    BadCount,    // not a number from 24 to 32
    BeyondCount, // a contact number above N would mirror below contact 1
};
// `count` receives N when it was read.
Mirror mirrorPinMap(const std::string& line, PinMap& map, int& count);

// How the external board is fitted, from its two sense inputs (answer to '3').
enum class ExtFit { Absent, Contacts12, Contacts3132, Both };
ExtFit externalFit(uint8_t b0, uint8_t b1);

// The external board's pin map and its two extra lines for one orientation.
struct ExternalTable {
    PinMap map;  // KSI4 and KSI5 are not used (0 here)
    int pw, rs;  // the lines "PW" and "RS"
};
ExternalTable externalTable(bool contacts3132);

// The pin assignment frames of "Apply settings", in order, without the 'S' before
// them; the last is "QQQ". With `external`, "PW" and "RS" replace "K4" and "K5".
std::vector<std::vector<uint8_t>> setupFrames(const PinMap& map, bool external, int pw = 0, int rs = 0);

}  // namespace qj::ite
