#include "jig/ftdi/Backends.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>

#include "jig/ftdi/D2xxFtdi.h"
#include "jig/ftdi/FaultFtdi.h"
#include "jig/ftdi/LibFtdi.h"
#include "jig/ftdi/OneDeviceFtdi.h"
#include "jig/ftdi/TraceFtdi.h"
#include "jig/ftdi/TtyFtdi.h"

namespace qj {

namespace {
std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, BackendFactory>& registry() {
    static std::map<std::string, BackendFactory> r;
    return r;
}
BackendFactory registered(const std::string& name) {
    std::lock_guard<std::mutex> g(registryMutex());
    auto it = registry().find(name);
    return it == registry().end() ? BackendFactory{} : it->second;
}

// "tty:/dev/pts/5,/dev/pts/6" -> the paths.
std::vector<std::string> ttyPaths(const std::string& backend) {
    std::vector<std::string> out;
    if (backend.rfind("tty:", 0) != 0) return out;
    std::string cur;
    for (char c : backend.substr(4) + ",") {
        if (c == ',') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    return out;
}
// How many of `api`'s devices carry `serial`; every serial seen is added to `seen`.
size_t devicesWithSerial(FtdiApi& api, const std::string& serial, std::vector<std::string>& seen) {
    size_t n = 0;
    for (const auto& r : listDevices(api)) {
        if (!r.note.empty()) continue;
        seen.push_back(r.info.serial.empty() ? "(none, " + r.backend + " " + r.info.location + ")" : r.info.serial);
        n += r.info.serial == serial;
    }
    return n;
}

// --device: the backend `api` (or under auto the first real one that has the
// device with that serial). Null with `error` set when no device or more than
// one carries it.
std::unique_ptr<FtdiApi> backendWithDevice(std::unique_ptr<FtdiApi> api, const BackendOptions& opt, std::string& error) {
    std::vector<std::string> seen;
    size_t n = 0;
    if (api) {
        n = devicesWithSerial(*api, opt.device, seen);
    } else {
        for (const auto& c : realBackends(opt)) {
            std::string why;
            auto candidate = c.make(why);
            if (!candidate) continue;
            n = devicesWithSerial(*candidate, opt.device, seen);
            if (n > 0) {
                api = std::move(candidate);
                break;
            }
        }
    }
    if (n == 1) return api;
    std::string list;
    for (const auto& s : seen) list += (list.empty() ? "" : ", ") + s;
    error = n > 1 ? "--device " + opt.device + ": " + std::to_string(n) +
                        " devices carry this serial and cannot be told apart (attached: " + list + ")"
                  : "--device " + opt.device + ": no device with this serial is attached (attached: " +
                        (list.empty() ? std::string("none") : list) + ")";
    return nullptr;
}
}  // namespace

std::vector<BackendCandidate> realBackends(const BackendOptions& opt) {
    std::vector<BackendCandidate> c;
#ifdef __linux__
    c.push_back({"tty", [opt](std::string&) -> std::unique_ptr<FtdiApi> {
                     TtyFtdi::Options o;
                     o.paths = ttyPaths(opt.backend);
                     o.notice = opt.notice;
                     return std::make_unique<TtyFtdi>(o);
                 }});
#endif
    c.push_back({"d2xx", [opt](std::string& why) -> std::unique_ptr<FtdiApi> {
                     auto d = std::make_unique<D2xxFtdi>(D2xxFtdi::defaultLibraryNames(), opt.notice);
                     if (d->available()) return d;
                     why = "vendor D2XX library not installed; " + d->whyUnavailable();
                     return nullptr;
                 }});
#ifdef QJ_HAVE_LIBFTDI1
    c.push_back({"libftdi", [opt](std::string& why) -> std::unique_ptr<FtdiApi> {
                     auto d = std::make_unique<LibFtdi>(opt.notice);
                     if (d->available()) return d;
                     why = "USB cannot be reached through libusb";
                     return nullptr;
                 }});
#endif
    return c;
}

std::unique_ptr<FtdiApi> firstWithDevices(const std::vector<BackendCandidate>& candidates) {
    for (const auto& c : candidates) {
        std::string why;
        auto api = c.make(why);
        uint32_t n = 0;
        if (api && api->CreateDeviceInfoList(n) == FT_OK && n > 0) return api;
    }
    return nullptr;
}

void registerBackend(const std::string& name, BackendFactory make) {
    std::lock_guard<std::mutex> g(registryMutex());
    registry()[name] = std::move(make);
}

std::vector<std::string> backendNames() {
    std::vector<std::string> names{"auto"};
    for (const auto& c : realBackends({})) names.push_back(c.name);
    std::lock_guard<std::mutex> g(registryMutex());
    for (const auto& [name, make] : registry()) names.push_back(name);
    return names;
}

std::vector<DeviceRow> listDevices(FtdiApi& api) {
    std::vector<DeviceRow> rows;
    uint32_t n = 0;
    if (api.CreateDeviceInfoList(n) != FT_OK) {
        rows.push_back({api.backendName(), 0, {}, "cannot list devices", true});
        return rows;
    }
    if (n == 0) rows.push_back({api.backendName(), 0, {}, "no devices", false});
    for (uint32_t i = 0; i < n; ++i) {
        DeviceRow r{api.backendName(), i, {}, {}, false};
        api.GetDeviceInfo(i, r.info);
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<DeviceRow> listAllDevices(const BackendOptions& opt) {
    std::vector<DeviceRow> rows;
    for (const auto& c : realBackends(opt)) {
        std::string why;
        auto api = c.make(why);
        if (!api) {
            rows.push_back({c.name, 0, {}, why, false});
            continue;
        }
        for (auto& r : listDevices(*api)) rows.push_back(std::move(r));
    }
    return rows;
}

bool takeBackendOptions(std::vector<std::string>& args, BackendOptions& opt, std::string& error) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string* target = nullptr;
        std::string name;
        for (auto [flag, dst] : {std::pair{"--backend", &opt.backend}, std::pair{"--sim", &opt.simKeys},
                                 std::pair{"--trace", &opt.tracePath}, std::pair{"--device", &opt.device},
                                 std::pair{"--fault", &opt.faultSpec}}) {
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
        // An empty value would silently mean "not given" (--sim "" the real jig).
        if (target->empty()) {
            error = name + " needs a value, not an empty text";
            return false;
        }
    }
    args = rest;
    if (!opt.simKeys.empty() && opt.backend == "auto") opt.backend = "sim";
    return true;
}

std::unique_ptr<FtdiApi> makeBackend(const BackendOptions& opt, std::string& error) {
    FaultPlan faults;
    if (!opt.faultSpec.empty() && !FaultPlan::parse(opt.faultSpec, faults, error)) return nullptr;
    // The trace file first: one that cannot be written is refused before any device is looked at.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> trace(nullptr, std::fclose);
    if (!opt.tracePath.empty()) {
        trace.reset(std::fopen(opt.tracePath.c_str(), "ab"));
        if (!trace) {
            error = "cannot open trace file " + opt.tracePath + ": " + std::strerror(errno);
            return nullptr;
        }
    }
    std::unique_ptr<FtdiApi> api;
    try {
        if (BackendFactory make = registered(opt.backend)) {
            api = make(opt, error);
            if (!api) return nullptr;
        } else if (opt.backend == "sim") {
            error = "this program was built without the virtual jig";
            return nullptr;
        } else if (opt.backend == "auto") {
            if (opt.device.empty()) api = firstWithDevices(realBackends(opt));
            if (!api && opt.device.empty()) api = std::make_unique<NoDevicesFtdi>("none");
        } else {
            const std::string name = opt.backend.substr(0, opt.backend.find(':'));
            if (name == "tty" && opt.backend != "tty" && ttyPaths(opt.backend).empty()) {
                error = "--backend tty:PATH needs at least one path";
                return nullptr;
            }
            for (const auto& c : realBackends(opt)) {
                if (c.name != name || (name != "tty" && opt.backend != name)) continue;
                api = c.make(error);
                if (!api) return nullptr;
            }
            if (!api) {
                std::string known;
                for (const auto& n : backendNames()) known += (known.empty() ? "" : ", ") + n;
                error = "unknown backend \"" + opt.backend + "\" (this build has " + known + ")";
                return nullptr;
            }
        }
        if (!opt.device.empty()) {
            api = backendWithDevice(std::move(api), opt, error);
            if (!api) return nullptr;
        }
    } catch (const std::exception& e) {
        error = e.what();
        return nullptr;
    }
    if (faults.any()) api = std::make_unique<FaultFtdi>(std::move(api), faults);
    if (trace) {
        auto t = std::make_unique<TraceFtdi>(std::move(api), trace.release(), opt.tracePath);
        if (opt.notice) t->onWriteError(opt.notice);
        api = std::move(t);
    }
    // Outside the trace, which shows the backend's own list and indexes.
    if (!opt.device.empty()) api = std::make_unique<OneDeviceFtdi>(std::move(api), opt.device);
    return api;
}

}  // namespace qj
