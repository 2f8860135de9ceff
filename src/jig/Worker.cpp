#include "jig/Worker.h"

namespace qj {

std::string busyStateName(std::string_view names, int index) {
    for (int i = 0; i < index; ++i) {
        const size_t comma = names.find(',');
        if (comma == std::string_view::npos) return "?";
        names.remove_prefix(comma + 1);
    }
    while (!names.empty() && names.front() == ' ') names.remove_prefix(1);
    return std::string(names.substr(0, names.find(',')));
}

}  // namespace qj
