#include "sim/AppFirmware.h"

namespace qj::sim {
void registerEepromCommands(AppFirmware&) {}
}  // namespace qj::sim
