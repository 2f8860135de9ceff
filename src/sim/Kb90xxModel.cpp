#include "sim/AppFirmware.h"

namespace qj::sim {
void registerKb90xxCommands(AppFirmware&) {}
}  // namespace qj::sim
