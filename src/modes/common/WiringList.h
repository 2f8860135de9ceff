#pragma once
// The wiring lists kept by the user ("MB connection ENE.txt", "MB connection
// ITE.txt"): one board a line, each line carrying "KEY=" followed by the
// keyboard-connector contact that carries the signal.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace qj::wiring {

// Splits the list's bytes into entries: LF ends a line, CR is dropped wherever
// it stands, text after the last LF is not a line. Empty lines are entries.
std::vector<std::string> splitLines(const std::string& bytes);
// The longest list read: a board a line, so a larger file is no wiring list.
inline constexpr size_t kListCap = 1u << 20;
// Reads the list at `path` (same rules); nothing when it is no regular file,
// cannot be read or is longer than kListCap, with `why` saying which.
std::optional<std::vector<std::string>> readList(const std::string& path, std::string* why = nullptr);

// A contact number in a board line: the first occurrence of `key` (which
// includes "="), then one or two characters: the one right after the key, and
// the next one if the line goes on and it is not a blank.
struct Contact {
    bool found = false;          // the key is in the line
    std::string text;            // the one or two characters (empty: the line ends at the key)
    std::optional<int> value;    // set when `text` is all decimal digits
};
Contact readContact(const std::string& line, const std::string& key);

}  // namespace qj::wiring
