#include <cstdio>
#include <unistd.h>

#include "cli/Checks.h"
#include "cli/Cli.h"
#include "modes/npce/NpceCore.h"

namespace qj::cli {

int cmdNpce(CliContext& c) {
    const std::string sub = c.args.empty() ? "" : c.args[0];
    std::string file;
    bool kestra = false, twice = false, extra = false;
    for (size_t i = 1; i < c.args.size(); ++i) {
        const std::string& a = c.args[i];
        if (a == "--kestra") kestra = true;
        else if (a == "--twice" && sub == "read") twice = true;
        else if (!a.empty() && a[0] != '-' && file.empty()) file = a;
        else extra = true;
    }
    if ((sub != "read" && sub != "write" && sub != "verify") || file.empty() || extra) {
        std::fprintf(stderr,
                     "usage: qjig npce read FILE [--kestra] [--twice]   read the NPCE's 128 KiB SPI flash into FILE\n"
                     "       qjig npce write FILE [--kestra]            erase the flash, write FILE (a short file is\n"
                     "                                                  padded with 0xFF) and verify it\n"
                     "       qjig npce verify FILE [--kestra]           read the flash and compare it with FILE\n"
                     "--kestra: the target is reached through the KESTRA adapter board.\n");
        return kMisuse;
    }
    CliView view;
    view.progress = isatty(2);
    view.gaugeMax(npce::kGaugeMax);
    npce::NpceCore core(c.api, view);
    core.CheckBox_EXTBOARDClick(kestra);
    auto readOnce = [&](const std::string& path) {
        view.savePath = path;
        core.NPCE_READClick();
        core.waitIdle();
        return core.lastOutcome() == npce::NpceCore::Outcome::Ok ? kOk : kFailed;
    };
    if (sub == "read") return checks::read(file, twice, readOnce);
    if (sub == "verify") return checks::verify(file, readOnce);
    view.openPath = file;
    core.NPCE_WRITEClick();
    core.waitIdle();
    if (core.lastOutcome() != npce::NpceCore::Outcome::Ok) return kFailed;
    checks::printChecksum(file);
    return kOk;
}

}  // namespace qj::cli
