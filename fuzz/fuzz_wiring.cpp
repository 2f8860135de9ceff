// The wiring lists kept by the user, the ENE hints and the ITE pin maps made from them. The first two
// bytes choose the cable and its orientation; the rest is the list file.
#include <cstdint>
#include <string>

#include "modes/ene/EneWiring.h"
#include "modes/ite/IteWiring.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int contacts = qj::ene::cableContacts(qj::ene::kCableItems[data[0] % 8]);
    const bool straight = data[1] & 1;
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    for (const std::string& line : qj::ene::splitWiringList(text)) {
        const auto hint = qj::ene::evaluateWiring(line, contacts, straight);
        if (hint.text.empty()) __builtin_trap();  // every outcome says something
        // The ITE reading of the same line: what is sent to the jig is always a contact.
        qj::ite::PinMap map{};
        if (!qj::ite::readPinMap(line, map).empty()) continue;
        int count = 0;
        if (straight || qj::ite::mirrorPinMap(line, map, count) == qj::ite::Mirror::Done)
            for (int p : map)
                if (p < 1 || p > 32) __builtin_trap();
    }
    return 0;
}
