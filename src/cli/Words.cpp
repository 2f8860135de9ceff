#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "cli/Cli.h"

namespace qj::cli {

bool Words::flag(const std::string& f) const { return std::find(flags.begin(), flags.end(), f) != flags.end(); }

std::string Words::value(const std::string& option) const {
    auto it = values.find(option);
    return it == values.end() ? std::string() : it->second;
}

bool readWords(const std::vector<std::string>& args, size_t from, const std::vector<std::string>& flags,
               const std::vector<std::string>& valued, Words& out, std::string& err) {
    auto among = [](const std::vector<std::string>& v, const std::string& a) {
        return std::find(v.begin(), v.end(), a) != v.end();
    };
    for (size_t i = from; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (among(flags, a)) {
            out.flags.push_back(a);
        } else if (among(valued, a)) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                err = a + " needs a value";
                return false;
            }
            out.values[a] = args[++i];
        } else if (!a.empty() && a[0] != '-' && out.file.empty()) {
            out.file = a;
        } else {
            err = "unexpected argument \"" + a + "\"";
            return false;
        }
    }
    return true;
}

std::optional<std::string> readCommand(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                                       const std::vector<std::string>& valued, Words& out) {
    if (args.empty()) return std::string();
    out.sub = args[0];
    std::vector<std::string> taken;
    for (const std::string& f : flags) {
        const size_t colon = f.find(':');
        if (colon == std::string::npos) taken.push_back(f);
        else if (f.compare(0, colon, out.sub) == 0) taken.push_back(f.substr(colon + 1));
    }
    std::string err;
    if (!readWords(args, 1, taken, valued, out, err)) return err;
    return std::nullopt;
}

int misuse(const char* word, const char* usage, const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "qjig %s: %s\n", word, why.c_str());
    std::fputs(usage, stderr);
    return kMisuse;
}

CliView commandView(const CliContext& c) {
    CliView v;
    v.lang = c.lang;
    v.progress = isatty(2);
    return v;
}

}  // namespace qj::cli
