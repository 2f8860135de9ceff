#include "sim/SimBackend.h"

#include "jig/ftdi/Backends.h"
#include "sim/SimFtdi.h"

namespace qj::sim {

void registerSimBackend() {
    registerBackend("sim", [](const BackendOptions& opt, std::string&) -> std::unique_ptr<FtdiApi> {
        // Without keys the virtual jig is the demonstration jig.
        return std::make_unique<SimFtdi>(opt.simKeys.empty() ? std::string("demo") : opt.simKeys);
    });
}

}  // namespace qj::sim
