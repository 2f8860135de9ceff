#include "modes/ene/EneWiring.h"

namespace qj::ene {

const char* const kCableItems[8] = {"18 pin", "20 pin", "24 pin", "25 pin", "26 pin", "28 pin", "30 pin", "32 pin"};

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

int cableContacts(const std::string& item) {
    if (item.size() < 2 || !isDigit(item[0]) || !isDigit(item[1])) return 0;
    return (item[0] - '0') * 10 + (item[1] - '0');
}

WiringHint evaluateWiring(const std::string& entry, int contacts, bool pin1ToPin1) {
    int pin[5] = {};
    for (int k = 0; k < 5; ++k) {
        const std::string key = std::string(kWiringKeys[k]) + "=";
        const wiring::Contact c = wiring::readContact(entry, key);
        if (!c.found) return {WiringHint::Kind::Message, "Error data format!"};
        if (c.text.empty())
            return {WiringHint::Kind::Fault,
                    "Error data format! " + std::string(kWiringKeys[k]) + ": no contact number after \"" + key + "\"."};
        if (!c.value)
            return {WiringHint::Kind::Fault, "Error data format! " + std::string(kWiringKeys[k]) +
                                                 ": the contact number \"" + c.text + "\" is not a decimal number."};
        pin[k] = *c.value;
    }
    for (int n : pin)
        if (contacts < n) return {WiringHint::Kind::Message, "Please select big pins FFC!"};
    std::string hint = "Please connect GND and: ";
    const char leads[5] = {'A', 'B', 'C', 'D', 'E'};
    for (int k = 0; k < 5; ++k) {
        const int shown = pin1ToPin1 ? pin[k] : contacts - pin[k] + 1;
        hint += ' ';
        hint += leads[k];
        hint += std::to_string(shown);
    }
    return {WiringHint::Kind::Hint, hint};
}

}  // namespace qj::ene
