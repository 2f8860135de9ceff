#include "jig/Text.h"

#include <ctime>
#include <locale.h>
#include <time.h>

namespace qj {

namespace {
bool keeps(uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '_';
}
const char* kHex = "0123456789ABCDEF";

std::tm localNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}
}  // namespace

std::string printable(const uint8_t* p, size_t n) {
    std::string s;
    s.reserve(n);
    for (size_t i = 0; i < n; ++i) s += keeps(p[i]) ? static_cast<char>(p[i]) : ' ';
    return s;
}

std::string hexBytes(const uint8_t* p, size_t n, const std::string& sep) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        if (i && !sep.empty()) s += sep;
        s += kHex[p[i] >> 4];
        s += kHex[p[i] & 15];
    }
    return s;
}

std::string hexNumber(uint32_t v, int width) {
    std::string s;
    for (int i = width - 1; i >= 0; --i) s += kHex[(v >> (4 * i)) & 15];
    return s;
}

std::vector<std::string> hexDumpLines(const uint8_t* p, size_t n) {
    std::vector<std::string> lines{""};
    for (size_t row = 0; row * 16 < n; ++row) {
        const size_t len = std::min<size_t>(16, n - row * 16);
        const uint8_t* r = p + row * 16;
        std::string s = ":";
        for (size_t i = 0; i < len; ++i) {
            s += ' ';
            s += kHex[r[i] >> 4];
            s += kHex[r[i] & 15];
        }
        s += ' ';
        for (size_t i = 0; i < len; ++i) s += keeps(r[i]) ? static_cast<char>(r[i]) : '.';
        lines.push_back(s);
    }
    return lines;
}

std::string timeOfDay() {
    std::tm tm = localNow();
    char b[16];
    std::strftime(b, sizeof b, "%H:%M:%S", &tm);
    return b;
}

std::string dateTimeNow() {
    std::tm tm = localNow();
    // The user's own LC_TIME, without touching the process-wide locale (the
    // CLI's number formats stay as they are); an unknown locale falls back to C.
    locale_t loc = newlocale(LC_TIME_MASK, "", locale_t{});
    if (!loc) loc = newlocale(LC_TIME_MASK, "C", locale_t{});
    char b[128];
    const size_t n = loc ? strftime_l(b, sizeof b, "%x %X", &tm, loc) : std::strftime(b, sizeof b, "%x %X", &tm);
    if (loc) freelocale(loc);
    return std::string(b, n);
}

}  // namespace qj
