#include "jig/StartLog.h"

#include <cstdio>

namespace qj {

void StartLog::append(const std::string& line) const {
    std::FILE* f = std::fopen(path_.c_str(), "ab");
    if (!f) return;  // the log is a trace; a read-only folder must not stop the tool
    std::fwrite(line.data(), 1, line.size(), f);
    std::fwrite("\r\n", 1, 2, f);
    std::fclose(f);
}

}  // namespace qj
