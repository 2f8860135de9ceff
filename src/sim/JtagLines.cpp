#include "sim/JtagLines.h"

#include "sim/AppFirmware.h"

namespace qj::sim {

size_t JtagLines::command(const uint8_t* data, size_t n, JigPort& port) {
    if (n < 2) return 0;
    size_t used = 2;
    switch (data[1]) {
    case 'R':
        reg.fill(0);
        ++cpldResets;
        break;
    case 'W':
        if (n < 4) return 0;
        reg[data[2]] = data[3];
        used = 4;
        break;
    case 'X': jtag = true; break;
    case 'S': jtag = false; break;
    case '1': ++tapResets; break;
    default: break;
    }
    port.send(uint8_t{'K'});
    return used;
}

void registerJtagCommands(AppFirmware& fw) {
    auto lines = [](const uint8_t* d, size_t n, JigPort& p) { return p.board().model<JtagLines>().command(d, n, p); };
    fw.on('S', 'R', lines);
    fw.on('S', 'W', lines);
    fw.on('J', 'X', lines);
    fw.on('J', 'S', lines);
    fw.on('J', '1', lines);
}

}  // namespace qj::sim
