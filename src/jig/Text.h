#pragma once
// Small text helpers shared by the link, the upgrade and the mode windows.
#include <cstdint>
#include <string>
#include <vector>

namespace qj {

// The jig's answer made printable: digits, letters, "." and "_" kept, any other byte one blank.
std::string printable(const uint8_t* p, size_t n);
inline std::string printable(const std::vector<uint8_t>& v) { return printable(v.data(), v.size()); }
inline bool contains(const std::string& s, const std::string& sub) { return s.find(sub) != std::string::npos; }

// Upper-case hex of each byte, joined by `sep`.
std::string hexBytes(const uint8_t* p, size_t n, const std::string& sep = "");
inline std::string hexBytes(const std::vector<uint8_t>& v, const std::string& sep = "") {
    return hexBytes(v.data(), v.size(), sep);
}
// `width` upper-case hex digits, zero-padded.
std::string hexNumber(uint32_t v, int width);

// The 16-bytes-a-row dump of the mode windows: an empty line, then per row ":",
// " XX" for each byte, one blank, and the bytes as characters (digits, letters,
// "." and "_"; anything else a full stop).
std::vector<std::string> hexDumpLines(const uint8_t* p, size_t n);

// "Current time  " style stamp: label followed by the local time of day (hh:mm:ss).
std::string timeOfDay();
// The date and time of a Start: the user's short date and long time (LC_TIME's
// date and time representations: "02/03/24 14:05:09" in C, "03.02.2024 14:05:09" in de_DE).
std::string dateTimeNow();

}  // namespace qj
