// The Nuvoton JTAG script ("NUVOTON.qjf"): any bytes a file may hold. A line is
// either played, skipped or refused with a reason; nothing is read past it.
#include <cstdint>
#include <cstdio>

#include "modes/nuvoton_jtag/NuvJtagProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    const qj::nuv::Script s = qj::nuv::readScript(f);
    std::fclose(f);
    if (s.badLine != 0 && s.why.empty()) __builtin_trap();  // a refused line says why
    for (const auto& line : s.lines)
        for (const auto& cmd : line)
            if (cmd.bytes.size() < 2 || cmd.bytes[0] != 'J') __builtin_trap();  // only JTAG commands are played
    return 0;
}
