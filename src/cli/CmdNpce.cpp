#include <cstdio>

#include "cli/Checks.h"
#include "cli/Cli.h"
#include "modes/npce/NpceCore.h"

namespace qj::cli {

static int cmdNpce(CliContext& c) {
    const std::string sub = c.args.empty() ? "" : c.args[0];
    Words w;
    std::string err;
    std::vector<std::string> flags = {"--kestra"};
    if (sub == "read") flags.push_back("--twice");
    const bool extra = !readWords(c.args, 1, flags, {}, w, err);
    const std::string file = w.file;
    const bool kestra = w.flag("--kestra"), twice = w.flag("--twice");
    if ((sub != "read" && sub != "write" && sub != "verify") || file.empty() || extra) {
        if (extra) std::fprintf(stderr, "qjig npce: %s\n", err.c_str());
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
    checks::Transfer t;
    t.target = {npce::kImageSize, checks::kWriteError, [&](const std::string& path) {
                    view.savePath = path;
                    return runOperation(core, &npce::NpceCore::NPCE_READClick);
                }};
    t.write = [&] { return view.openPath = file, runOperation(core, &npce::NpceCore::NPCE_WRITEClick); };
    t.twice = twice;
    return checks::transfer(sub, file, t);
}

const ModeCommand kCommand{"npce", cmdNpce};

}  // namespace qj::cli
