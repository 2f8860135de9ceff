#include <cstdio>

#include "cli/Checks.h"
#include "cli/Cli.h"
#include "modes/npce/NpceCore.h"

namespace qj::cli {

static int cmdNpce(CliContext& c) {
    Words w;
    const auto bad = readCommand(c.args, {"--kestra", "read:--twice"}, {}, w);
    const std::string& sub = w.sub;
    const bool extra = bad && !bad->empty();
    const std::string file = w.file;
    const bool kestra = w.flag("--kestra"), twice = w.flag("--twice");
    if ((sub != "read" && sub != "write" && sub != "verify") || file.empty() || extra) {
        if (extra) std::fprintf(stderr, "qjig npce: %s\n", bad->c_str());
        std::fprintf(stderr,
                     "usage: qjig npce read FILE [--kestra] [--twice]   read the NPCE's 128 KiB SPI flash into FILE\n"
                     "       qjig npce write FILE [--kestra]            erase the flash, write FILE (a short file is\n"
                     "                                                  padded with 0xFF) and verify it\n"
                     "       qjig npce verify FILE [--kestra]           read the flash and compare it with FILE\n"
                     "--kestra: the target is reached through the KESTRA adapter board.\n");
        return kMisuse;
    }
    if (!checks::lookFirst(sub, file, npce::kImageSize)) return kFailed;
    CliView view = commandView(c);
    view.gaugeMax(npce::kGaugeMax);
    npce::NpceCore core(c.api, view);
    core.CheckBox_EXTBOARDClick(kestra);
    return checks::transfer(sub, file,
                            coreTransfer(core, view, file, npce::kImageSize, checks::kWriteError, twice,
                                         &npce::NpceCore::NPCE_READClick, &npce::NpceCore::NPCE_WRITEClick));
}

const ModeCommand kCommand{"npce", cmdNpce, {
    {"read", true, {"--kestra", "--twice"}},
    {"write", true, {"--kestra"}},
    {"verify", true, {"--kestra"}},
}};

}  // namespace qj::cli
