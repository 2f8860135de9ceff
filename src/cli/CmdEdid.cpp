#include <cstdio>

#include "cli/Cli.h"

namespace qj::cli {

int cmdEdid(CliContext&) {
    std::fprintf(stderr, "qjig: this command is not available in this build\n");
    return kMisuse;
}

}  // namespace qj::cli
