#pragma once
// The folder of the running executable: the jig's images and script live there.
#include <string>

namespace qj {

// The folder, with its trailing separator ("./" when it cannot be found).
std::string programDir();

}  // namespace qj
