#include "jig/ftdi/Backends.h"

#include <stdexcept>

#include "jig/ftdi/TraceFtdi.h"
#include "sim/SimFtdi.h"

namespace qj {

std::vector<std::string> backendNames() { return {"auto", "sim"}; }

bool takeBackendOptions(std::vector<std::string>& args, BackendOptions& opt, std::string& error) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string* target = nullptr;
        std::string name;
        for (auto [flag, dst] : {std::pair{"--backend", &opt.backend}, std::pair{"--sim", &opt.simSpec},
                                 std::pair{"--trace", &opt.tracePath}}) {
            const std::string f = flag;
            if (a == f || a.rfind(f + "=", 0) == 0) {
                target = dst;
                name = f;
            }
        }
        if (!target) {
            rest.push_back(a);
            continue;
        }
        if (a.size() > name.size()) {
            *target = a.substr(name.size() + 1);
        } else if (i + 1 < args.size()) {
            *target = args[++i];
        } else {
            error = name + " needs a value";
            return false;
        }
    }
    args = rest;
    if (!opt.simSpec.empty() && opt.backend == "auto") opt.backend = "sim";
    return true;
}

std::unique_ptr<FtdiApi> makeBackend(const BackendOptions& opt, std::string& error) {
    std::unique_ptr<FtdiApi> api;
    try {
        if (opt.backend == "sim") {
            api = std::make_unique<sim::SimFtdi>(opt.simSpec.empty() ? std::string("demo") : opt.simSpec);
        } else if (opt.backend == "auto") {
            api = std::make_unique<NoDevicesFtdi>("none");
        } else {
            error = "unknown backend \"" + opt.backend + "\" (auto or sim)";
            return nullptr;
        }
    } catch (const std::exception& e) {
        error = e.what();
        return nullptr;
    }
    if (!opt.tracePath.empty()) {
        auto t = std::make_unique<TraceFtdi>(std::move(api), opt.tracePath);
        if (!t->ok()) {
            error = "cannot open trace file " + opt.tracePath;
            return nullptr;
        }
        api = std::move(t);
    }
    return api;
}

}  // namespace qj
