#include "sim/AppFirmware.h"

namespace qj::sim {
// Boot entry ("?" -> "!" and the Intel HEX bootloader) arrives with the
// re-flashing support; until then the application firmware ignores it loudly.
void registerBootEntry(AppFirmware&) {}
}  // namespace qj::sim
