#include "sim/SimKeys.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace qj::sim {

KeySpec KeySpec::flag(std::string name) {
    KeySpec k;
    k.name = std::move(name);
    k.kind = Kind::Flag;
    return k;
}
KeySpec KeySpec::number(std::string name, int64_t min, int64_t max) {
    KeySpec k;
    k.name = std::move(name);
    k.kind = Kind::Number;
    k.min = min;
    k.max = max;
    return k;
}
KeySpec KeySpec::choice(std::string name, std::string choices) {
    KeySpec k;
    k.name = std::move(name);
    k.kind = Kind::Choice;
    k.choices = std::move(choices);
    return k;
}
KeySpec KeySpec::text(std::string name, std::function<std::string(const std::string&)> check) {
    KeySpec k;
    k.name = std::move(name);
    k.kind = Kind::Text;
    k.check = std::move(check);
    return k;
}
KeySpec KeySpec::hex(std::string name, int digits) {
    return text(std::move(name), [digits](const std::string& v) {
        bool ok = v.size() == static_cast<size_t>(digits);
        for (char c : v) ok = ok && std::isxdigit(static_cast<unsigned char>(c));
        return ok ? std::string() : "\"" + v + "\" is not " + std::to_string(digits) + " hexadecimal digits";
    });
}

KeySpec KeySpec::inFile(std::string name) {
    KeySpec k;
    k.name = std::move(name);
    k.kind = Kind::InFile;
    return k;
}
KeySpec KeySpec::outFile(std::string name) {
    KeySpec k;
    k.name = std::move(name);
    k.kind = Kind::OutFile;
    return k;
}

bool parseNumber(const std::string& v, int64_t& out) {
    if (v.empty() || v[0] == '-' || v[0] == '+' || v[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(v.c_str(), &end, v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X') ? 16 : 10);
    if (errno == ERANGE || end != v.c_str() + v.size()) return false;
    out = n;
    return true;
}

bool parseFlag(const std::string& v, bool& out) {
    for (const char* t : {"1", "on", "yes", "true"})
        if (v == t) return out = true, true;
    for (const char* f : {"0", "off", "no", "false"})
        if (v == f) return out = false, true;
    return false;
}

const std::map<std::string, KeySpec>& allKeys() {
    static const std::map<std::string, KeySpec> all = [] {
        std::map<std::string, KeySpec> m;
        for (auto group : {deviceKeys, bootloaderKeys, eneKeys, eepromKeys, keyboardKeys, mecKeys, nuvKeys,
                           iteKeys, npceKeys})
            for (KeySpec& k : group()) {
                const std::string name = k.name;
                if (!m.emplace(name, std::move(k)).second)
                    throw std::logic_error("virtual-jig key declared twice: " + name);
            }
        return m;
    }();
    return all;
}

namespace {
std::string why(const KeySpec& k, const std::string& v) {
    switch (k.kind) {
    case KeySpec::Kind::Flag: {
        bool b = false;
        return parseFlag(v, b) ? "" : "\"" + v + "\" is not a flag (0, 1, on, off, yes, no, true, false)";
    }
    case KeySpec::Kind::Number: {
        int64_t n = 0;
        if (!parseNumber(v, n)) return "\"" + v + "\" is not a number";
        if (n < k.min || n > k.max)
            return v + " is out of range (" + std::to_string(k.min) + " to " + std::to_string(k.max) + ")";
        return "";
    }
    case KeySpec::Kind::Choice: {
        std::string list, cur;
        for (char c : k.choices + "|") {
            if (c != '|') {
                cur += c;
                continue;
            }
            if (cur == v) return "";
            list += (list.empty() ? "" : ", ") + cur;
            cur.clear();
        }
        return "\"" + v + "\" is not one of " + list;
    }
    case KeySpec::Kind::Text: return k.check ? k.check(v) : "";
    case KeySpec::Kind::InFile: {
        struct stat st {};
        std::ifstream f(v, std::ios::binary);
        if (v.empty() || !f || ::stat(v.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return "cannot read the file \"" + v + "\"";
        return "";
    }
    case KeySpec::Kind::OutFile: return v.empty() ? "needs a file name" : "";
    }
    return "";
}
}  // namespace

void validateKeys(const std::map<std::string, std::string>& kv) {
    const auto& keys = allKeys();
    for (const auto& [key, value] : kv) {
        auto it = keys.find(key);
        if (it == keys.end()) {
            std::string known;
            for (const auto& [name, spec] : keys) known += (known.empty() ? "" : " ") + name;
            throw std::invalid_argument("unknown virtual-jig key \"" + key + "\"; the keys are: " + known);
        }
        const std::string w = why(it->second, value);
        if (!w.empty()) throw std::invalid_argument("virtual-jig key " + key + ": " + w);
    }
}

}  // namespace qj::sim
