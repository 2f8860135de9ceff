#include "modes/ite/IteWiring.h"

#include "modes/common/WiringList.h"

namespace qj::ite {

std::string readPinMap(const std::string& line, PinMap& map) {
    for (const PinKey& k : kPinKeys) {
        const wiring::Contact c = wiring::readContact(line, k.key);
        if (!c.value || *c.value < kMinContact || *c.value > kMaxContact) return k.key;
        map[k.pin] = *c.value;
    }
    return "";
}

Mirror mirrorPinMap(const std::string& line, PinMap& map, int& count) {
    const wiring::Contact c = wiring::readContact(line, kKbPinsKey);
    if (!c.found) return Mirror::NoCount;
    if (!c.value || *c.value > 32 || *c.value < 24) return Mirror::BadCount;
    count = *c.value;
    for (int p : map)
        if (p > count) return Mirror::BeyondCount;
    for (int& p : map) p = count + 1 - p;
    return Mirror::Done;
}

ExtFit externalFit(uint8_t b0, uint8_t b1) {
    // A fitted board grounds one pair of sense contacts; the inputs are pulled up.
    const bool g12 = (b0 & 0x40) == 0;
    const bool g3132 = (b1 & 0x02) == 0;
    if (g12 && g3132) return ExtFit::Both;
    if (g12) return ExtFit::Contacts12;
    return g3132 ? ExtFit::Contacts3132 : ExtFit::Absent;
}

ExternalTable externalTable(bool contacts3132) {
    // The (1-2) orientation; (31-32) is the same board turned over: 33 - value.
    ExternalTable t{};
    t.map[INIT] = 4;
    t.map[AFD] = 5;
    t.map[SLIN] = 3;
    t.map[STB] = 6;
    t.map[BUSY] = 22;
    for (int i = 0; i < 8; ++i) t.map[PD0 + i] = 32 - i;
    t.pw = 20;
    t.rs = 11;
    if (contacts3132) {
        for (int& p : t.map)
            if (p != 0) p = 33 - p;
        t.pw = 33 - t.pw;
        t.rs = 33 - t.rs;
    }
    return t;
}

std::vector<std::vector<uint8_t>> setupFrames(const PinMap& map, bool external, int pw, int rs) {
    auto frame = [](char a, char b, int v) {
        return std::vector<uint8_t>{static_cast<uint8_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(v)};
    };
    std::vector<std::vector<uint8_t>> f = {
        frame('I', 'N', map[INIT]),
        frame('D', 'S', map[AFD]),
        frame('A', 'S', map[SLIN]),
        frame('W', 'R', map[STB]),
        external ? frame('P', 'W', pw) : frame('K', '4', map[KSI4]),
        external ? frame('R', 'S', rs) : frame('K', '5', map[KSI5]),
        frame('B', 'L', map[BUSY]),
    };
    for (int i = 0; i < 8; ++i) f.push_back(frame('d', static_cast<char>('0' + i), map[PD0 + i]));
    f.push_back(frame('Q', 'Q', 'Q'));
    return f;
}

}  // namespace qj::ite
