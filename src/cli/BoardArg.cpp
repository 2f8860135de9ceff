#include "cli/Cli.h"

namespace qj::cli {

int findBoardItem(const std::vector<std::string>& items, size_t firstLine, const std::string& arg, std::string& err) {
    const size_t lines = items.size() > firstLine ? items.size() - firstLine : 0;
    if (!arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos) {
        const size_t n = arg.size() > 6 ? 0 : std::stoul(arg);
        if (n >= 1 && n <= lines) return static_cast<int>(firstLine + n - 1);
        err = "there is no board " + arg + " (the list has " + std::to_string(lines) + " lines)";
        return -1;
    }
    for (size_t i = firstLine; i < items.size(); ++i)
        if (items[i] == arg) return static_cast<int>(i);
    int found = -1;
    for (size_t i = firstLine; i < items.size(); ++i) {
        if (arg.empty() || items[i].find(arg) == std::string::npos) continue;
        if (found >= 0) {
            err = "\"" + arg + "\" is part of several boards; give the line number";
            return -1;
        }
        found = static_cast<int>(i);
    }
    if (found < 0) err = "no board matches \"" + arg + "\"";
    return found;
}

}  // namespace qj::cli
