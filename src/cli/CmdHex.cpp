#include <cstdio>

#include "cli/Checks.h"
#include "cli/Cli.h"
#include "jig/Text.h"
#include "jig/firmware/IntelHex.h"

namespace qj::cli {

// qjig hex FILE: decodes a jig image as the upgrade would, prints its log, the
// end address and the outcome.
int cmdHex(CliContext& c) {
    if (c.args.size() != 1) {
        std::fprintf(stderr, "usage: qjig hex FILE\n");
        return kMisuse;
    }
    if (!checks::lookAtInput(c.args[0], kHexFileLimit)) return kFailed;
    CliView view;
    const JigImage img = loadJigImageFile(c.args[0], view);
    if (!img.decode.ok)
        std::printf("at byte %zu: %s\n", img.decode.offset, img.decode.reason.c_str());
    if (!img.loaded()) {
        std::printf("outcome: %s\n", img.outcome.c_str());
        return kFailed;
    }
    std::printf("end address: 0x%s (%u lines of 16 bytes)%s\n", hexNumber(img.end, 4).c_str(), img.end / 16 + 1,
                img.decode.sawEof ? "" : ", no end-of-file record");
    std::printf("outcome: loaded\n");
    return kOk;
}

}  // namespace qj::cli
