#pragma once
// Runs qjig in-process and captures what it prints on stdout and stderr.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/Cli.h"

namespace qjt {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

inline CliRun runQjig(std::vector<std::string> args) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int st = qj::cli::run(std::move(args));
    CliRun r{st, testing::internal::GetCapturedStdout(), {}};
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

}  // namespace qjt
