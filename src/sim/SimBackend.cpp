#include "sim/SimBackend.h"

#include "jig/ftdi/Backends.h"
#include "sim/SimFtdi.h"

namespace qj::sim {

void registerSimBackend() {
    registerBackend("sim", [](const BackendOptions& opt, std::string&) -> std::unique_ptr<FtdiApi> {
        // Without a spec the virtual jig is the demonstration jig.
        return std::make_unique<SimFtdi>(opt.simSpec.empty() ? std::string("demo") : opt.simSpec);
    });
}

}  // namespace qj::sim
