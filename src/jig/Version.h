#pragma once
// The version both programs print with --version.
#include <string>

namespace qj {

// The project's version, followed by "(git DESCRIBE)" when the program was
// built from a git checkout: "4.3 (git 0930d4d)".
std::string versionText();

}  // namespace qj
