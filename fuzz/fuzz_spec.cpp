// The virtual jig's spec string: refused with a message, or a jig that
// identifies itself. Specs that would write files are skipped.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "jig/JigLink.h"
#include "sim/SimConfig.h"
#include "sim/SimFtdi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string spec(reinterpret_cast<const char*>(data), size);
    if (spec.find("-out") != std::string::npos || spec.find("mode=") != std::string::npos) return 0;
    try {
        qj::sim::SimConfig cfg(spec + ",mode=instant");
        qj::sim::SimFtdi sim(cfg);
        qj::JigLink link(sim);
        link.open(qj::OpenOptions::mainWindowOptions("CLOSE FTDI Handle"), nullptr);
    } catch (const std::invalid_argument& e) {
        if (std::string(e.what()).empty()) __builtin_trap();
    }
    return 0;
}
