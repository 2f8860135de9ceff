#include <cstdio>

#include "cli/Cli.h"
#include "modes/edid/EdidCore.h"

namespace qj::cli {

int cmdEdid(CliContext& c) {
    if (c.args.size() != 2 || (c.args[0] != "read" && c.args[0] != "write")) {
        std::fprintf(stderr,
                     "usage: qjig edid read FILE    read the panel's EEPROM and save its 256 bytes to FILE\n"
                     "       qjig edid write FILE   write FILE to the EEPROM (a short file is padded with 0xFF)\n");
        return kMisuse;
    }
    CliView view;
    const bool read = c.args[0] == "read";
    if (read) view.savePath = c.args[1];
    else view.openPath = c.args[1];
    EdidCore core(c.api, view);
    return (read ? core.EDID_READClick() : core.EDID_WRITEClick()) ? kOk : kFailed;
}

}  // namespace qj::cli
