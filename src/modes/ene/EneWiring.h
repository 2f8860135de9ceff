#pragma once
// The wiring list of the ENE window and the wiring hint: which keyboard-connector
// contact carries each of the five scan lines the KB90xx debug port shares, and
// which jig lead (A to E) goes where for the chosen cable and its orientation.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "modes/common/WiringList.h"

namespace qj::ene {

// The wiring list's file name, opened from the current directory.
inline constexpr const char* kWiringFile = "MB connection ENE.txt";

// The list's lines (the rules of every wiring list).
inline std::vector<std::string> splitWiringList(const std::string& bytes) { return wiring::splitLines(bytes); }

// The scan lines in the order the hint names them (leads A to E).
inline constexpr const char* kWiringKeys[5] = {"KSO3", "KSI4", "KSI7", "KSI6", "KSI5"};

// The eight cable items and the cable's contact count (the first two characters of the item).
extern const char* const kCableItems[8];
int cableContacts(const std::string& item);

struct WiringHint {
    enum class Kind {
        Hint,     // text is the hint for Label_result
        Message,  // text is a message for Label_result ("Error data format!", ...)
        Fault,    // a malformed contact number: text is for an error box; the label keeps its text
    };
    Kind kind;
    std::string text;
};

// The wiring evaluation of one board entry for a cable of `contacts` contacts;
// `pin1ToPin1` false means the cable is turned over (contacts mirrored).
WiringHint evaluateWiring(const std::string& entry, int contacts, bool pin1ToPin1);

}  // namespace qj::ene
