#include <cstdio>
#include <unistd.h>

#include "cli/Cli.h"
#include "control/JigControl.h"
#include "jig/JigLink.h"
#include "jig/StartLog.h"
#include "jig/ftdi/Backends.h"
#include "jig/ftdi/OneDeviceFtdi.h"

namespace qj::cli {

int cmdDevices(CliContext& c) {
    if (!c.args.empty()) return kMisuse;
    BackendOptions bo;
    bo.backend = c.backend;
    // With --device only its row, at its place in the backend's own list.
    FtdiApi* api = &c.api;
    if (auto* one = dynamic_cast<OneDeviceFtdi*>(api)) api = &one->inner();
    const auto rows = c.backend == "auto" ? listAllDevices(bo) : listDevices(*api);
    std::printf("backend  index  description                     serial\n");
    bool failed = false;
    for (const auto& r : rows) {
        if (!c.device.empty() && (!r.note.empty() || r.info.serial != c.device)) continue;
        failed |= r.failed;
        if (!r.note.empty()) {
            std::printf("%-8s -      (%s)\n", r.backend.c_str(), r.note.c_str());
            continue;
        }
        std::printf("%-8s %-6u %-31s %s\n", r.backend.c_str(), r.index, r.info.description.c_str(),
                    r.info.serial.c_str());
    }
    return failed && c.backend != "auto" ? kFailed : kOk;
}

int cmdIdentify(CliContext& c) {
    if (!c.args.empty()) return kMisuse;
    JigLink link(c.api);
    link.open(OpenOptions::mainWindowOptions("CLOSE FTDI Handle"), [&](const std::string&) {});
    std::printf("%s\n", link.ident().c_str());
    return link.identified() == Identified::Answered ? kOk : kFailed;
}

int cmdStart(CliContext& c) {
    if (c.args.size() != 1) {
        std::fprintf(stderr, "usage: qjig start MODE   (MODE is an item text such as \"EDID lcd\")\n");
        return kMisuse;
    }
    const std::string mode = c.args[0];
    if (mode == kPromptItem || !modeByItem(mode)) {
        // The main window's Start does nothing on the prompt item: a mode must be chosen.
        if (mode == kPromptItem)
            std::fprintf(stderr, "qjig: \"%s\" is the prompt, not a mode; choose a mode:", mode.c_str());
        else
            std::fprintf(stderr, "qjig: unknown mode \"%s\"; one of:", mode.c_str());
        for (const Mode& m : modes()) std::fprintf(stderr, " \"%s\"", m.item.c_str());
        std::fprintf(stderr, "\n");
        return kMisuse;
    }
    CliView view;
    view.progress = isatty(2);
    JigControl ctl(c.api, view, StartLog("Start_log.txt"), c.programDir);
    auto out = ctl.start(mode);
    if (out != JigControl::StartOutcome::UpgradeStarted) return kFailed;
    ctl.waitUpgrade();
    for (const auto& t : view.timersArmed) {
        if (t == kRunTimer) {
            const std::string form = ctl.Timer_RUNTimer();
            if (form.empty()) return kFailed;
            std::printf("-> %s\n", formClass(form).c_str());
            return kOk;
        }
    }
    return kFailed;
}

}  // namespace qj::cli
