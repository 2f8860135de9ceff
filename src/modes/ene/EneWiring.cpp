#include "modes/ene/EneWiring.h"

namespace qj::ene {

const char* const kCableItems[8] = {"18 pin", "20 pin", "24 pin", "25 pin", "26 pin", "28 pin", "30 pin", "32 pin"};

namespace {
class LineBuilder {
public:
    void put(char c) {
        if (c == '\r') return;
        if (c == '\n') {
            lines_.push_back(std::move(cur_));
            cur_.clear();
            return;
        }
        cur_ += c;
    }
    std::vector<std::string> take() { return std::move(lines_); }

private:
    std::vector<std::string> lines_;
    std::string cur_;  // dropped at the end: it had no line feed
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::vector<std::string> splitWiringList(const std::string& bytes) {
    LineBuilder b;
    for (char c : bytes) b.put(c);
    return b.take();
}

std::vector<std::string> readWiringList(std::FILE* f) {
    LineBuilder b;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) b.put(static_cast<char>(c));
    return b.take();
}

int cableContacts(const std::string& item) {
    if (item.size() < 2 || !isDigit(item[0]) || !isDigit(item[1])) return 0;
    return (item[0] - '0') * 10 + (item[1] - '0');
}

WiringHint evaluateWiring(const std::string& entry, int contacts, bool pin1ToPin1) {
    int pin[5] = {};
    for (int k = 0; k < 5; ++k) {
        const std::string key = std::string(kWiringKeys[k]) + "=";
        const size_t at = entry.find(key);
        if (at == std::string::npos) return {WiringHint::Kind::Message, "Error data format!"};
        size_t p = at + key.size();
        if (p >= entry.size())
            return {WiringHint::Kind::Fault,
                    "Error data format! " + std::string(kWiringKeys[k]) + ": no contact number after \"" + key + "\"."};
        // One or two characters: a third digit is not part of the number.
        std::string num(1, entry[p]);
        if (p + 1 < entry.size() && entry[p + 1] != ' ') num += entry[p + 1];
        for (char c : num)
            if (!isDigit(c))
                return {WiringHint::Kind::Fault, "Error data format! " + std::string(kWiringKeys[k]) +
                                                     ": the contact number \"" + num + "\" is not a decimal number."};
        pin[k] = std::stoi(num);
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
