#include <cstdio>
#include <unistd.h>

#include "cli/Cli.h"
#include "modes/npce/NpceCore.h"

namespace qj::cli {

int cmdNpce(CliContext& c) {
    std::string file;
    bool kestra = false, extra = false;
    for (size_t i = 1; i < c.args.size(); ++i) {
        const std::string& a = c.args[i];
        if (a == "--kestra") kestra = true;
        else if (!a.empty() && a[0] != '-' && file.empty()) file = a;
        else extra = true;
    }
    if (c.args.empty() || (c.args[0] != "read" && c.args[0] != "write") || file.empty() || extra) {
        std::fprintf(stderr,
                     "usage: qjig npce read FILE [--kestra]    read the NPCE's 128 KiB SPI flash into FILE\n"
                     "       qjig npce write FILE [--kestra]   erase the flash, write FILE (a short file is padded\n"
                     "                                         with 0xFF) and verify it\n"
                     "--kestra: the target is reached through the KESTRA adapter board.\n");
        return kMisuse;
    }
    CliView view;
    view.progress = isatty(2);
    view.gaugeMax(npce::kGaugeMax);
    npce::NpceCore core(c.api, view);
    core.CheckBox_EXTBOARDClick(kestra);
    if (c.args[0] == "read") {
        view.savePath = file;
        core.NPCE_READClick();
    } else {
        view.openPath = file;
        core.NPCE_WRITEClick();
    }
    core.waitIdle();
    return core.lastOutcome() == npce::NpceCore::Outcome::Ok ? kOk : kFailed;
}

}  // namespace qj::cli
