#include "sim/SimConfig.h"

#include <cctype>
#include <stdexcept>

#include "sim/SimKeys.h"

namespace qj::sim {

namespace {
const std::map<std::string, std::string>& presets() {
    static const std::map<std::string, std::string> p = {
        // A jig on the ENE/EDID/keyboard firmware with a chip, a panel and a
        // keyboard attached, answering at the line rate.
        {"demo", "jig=ENE_EDID_KB,mode=paced,keys=3-7@500-1500;1-2@2000-2600;12-20@3000"},
    };
    return p;
}

}  // namespace

std::vector<std::string> presetNames() {
    std::vector<std::string> names;
    for (const auto& [name, spec] : presets()) names.push_back(name);
    return names;
}

namespace {
std::vector<std::string> splitTopLevel(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {  // keep escapes intact, "\," included
            cur += c;
            cur += s[++i];
        } else if (c == ',') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

void parseInto(std::map<std::string, std::string>& kv, const std::string& keys, int depth) {
    for (const std::string& tok : splitTopLevel(keys)) {
        if (tok.empty()) continue;
        auto eq = tok.find('=');
        if (eq == std::string::npos) {
            auto p = presets().find(tok);
            if (p == presets().end() || depth > 2)
                throw std::invalid_argument("unknown virtual-jig preset \"" + tok + "\"");
            parseInto(kv, p->second, depth + 1);
            continue;
        }
        std::string key = tok.substr(0, eq);
        if (key.empty()) throw std::invalid_argument("empty key in the virtual-jig keys");
        kv[key] = tok.substr(eq + 1);
    }
}
}  // namespace

SimConfig::SimConfig(const std::string& keys) {
    parseInto(kv_, keys, 0);
    validateKeys(kv_);
}

std::string SimConfig::str(const std::string& key, const std::string& def) const {
    auto it = kv_.find(key);
    return it == kv_.end() ? def : it->second;
}

int64_t SimConfig::num(const std::string& key, int64_t def) const {
    auto it = kv_.find(key);
    if (it == kv_.end()) return def;
    int64_t n = 0;
    if (!parseNumber(it->second, n)) throw std::invalid_argument("virtual-jig key " + key + ": not a number: " + it->second);
    return n;
}

bool SimConfig::flag(const std::string& key) const {
    auto it = kv_.find(key);
    if (it == kv_.end()) return false;
    bool on = false;
    return parseFlag(it->second, on) && on;
}

std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        switch (c) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '0': out += '\0'; break;
        case 'x':
            if (i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
                std::string hx = s.substr(i + 1, 2);
                out += static_cast<char>(std::stoi(hx, nullptr, 16));
                i += 2;
            } else {
                throw std::invalid_argument("bad \\x escape in " + s);
            }
            break;
        default: out += c; break;  // "\\", "\,"
        }
    }
    return out;
}

}  // namespace qj::sim
