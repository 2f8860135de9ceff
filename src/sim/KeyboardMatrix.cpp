#include "sim/AppFirmware.h"

namespace qj::sim {
void registerKeyboardCommands(AppFirmware&) {}
}  // namespace qj::sim
