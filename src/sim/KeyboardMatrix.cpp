#include "sim/KeyboardMatrix.h"
#include "sim/SimKeys.h"

#include <stdexcept>

#include "sim/AppFirmware.h"

namespace qj::sim {

namespace {
int64_t number(const std::string& s, const std::string& item) {
    size_t used = 0;
    int64_t v = -1;
    try {
        v = std::stoll(s, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (s.empty() || used != s.size() || v < 0) throw std::invalid_argument("keys: bad number in \"" + item + "\"");
    return v;
}
}  // namespace

std::vector<KeyboardMatrix::Press> KeyboardMatrix::parseScript(const std::string& script) {
    std::vector<Press> out;
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find(';', start);
        if (end == std::string::npos) end = script.size();
        const std::string item = script.substr(start, end - start);
        start = end + 1;
        if (item.empty()) continue;
        const size_t at = item.find('@');
        const size_t dash = item.find('-');
        if (at == std::string::npos || dash == std::string::npos || dash > at)
            throw std::invalid_argument("keys: expected A-B@T0[-T1], got \"" + item + "\"");
        Press p;
        const int64_t a = number(item.substr(0, dash), item);
        const int64_t b = number(item.substr(dash + 1, at - dash - 1), item);
        if (a < 1 || a > 32 || b < 1 || b > 32) throw std::invalid_argument("keys: contacts are 1 to 32 in \"" + item + "\"");
        p.first = static_cast<uint8_t>(a);
        p.second = static_cast<uint8_t>(b);
        const std::string times = item.substr(at + 1);
        const size_t d2 = times.find('-');
        p.fromMs = number(times.substr(0, d2), item);
        p.toMs = d2 == std::string::npos ? p.fromMs + kTapMs : number(times.substr(d2 + 1), item);
        if (p.toMs <= p.fromMs) throw std::invalid_argument("keys: release before press in \"" + item + "\"");
        out.push_back(p);
        if (end == script.size()) break;
    }
    return out;
}

KeyboardMatrix::KeyboardMatrix(const SimConfig& cfg)
    : delayMs(cfg.num("keyboard-delay", 0)), flood(cfg.num("keyboard-flood", 0)) {
    try {
        presses = parseScript(cfg.str("keys"));
    } catch (const std::invalid_argument& e) {
        scriptError = e.what();
    }
}

std::vector<uint8_t> KeyboardMatrix::report(int64_t ms) const {
    std::vector<uint8_t> firsts;
    std::vector<std::vector<uint8_t>> seconds;
    for (const Press& p : presses) {
        if (ms < p.fromMs || ms >= p.toMs) continue;
        size_t k = 0;
        while (k < firsts.size() && firsts[k] != p.first) ++k;
        if (k == firsts.size()) {
            firsts.push_back(p.first);
            seconds.emplace_back();
        }
        seconds[k].push_back(p.second);
    }
    std::vector<uint8_t> r;
    for (size_t k = 0; k < firsts.size(); ++k) {
        r.push_back('>');
        r.push_back(firsts[k]);
        r.insert(r.end(), seconds[k].begin(), seconds[k].end());
    }
    r.push_back('&');
    return r;
}

namespace {
// A scan of the 32 contacts takes the jig about a millisecond; it sends the
// report as it goes, a few bytes at a time.
constexpr int64_t kScanUs = 1000;
constexpr size_t kPiece = 3;
constexpr int64_t kPieceUs = 200;

size_t onScan(const uint8_t*, size_t, JigPort& port) {
    KeyboardMatrix& k = port.board().model<KeyboardMatrix>();
    if (!k.scriptError.empty()) {
        port.error(k.scriptError);
        k.scriptError.clear();
    }
    ++k.scans;
    std::vector<uint8_t> r;
    if (k.flood > 0) {
        for (int64_t i = 0; i < k.flood; ++i) r.push_back(i % 3 == 0 ? '>' : static_cast<uint8_t>(1 + i % 3));
    } else {
        r = k.report(port.nowUs() / 1000);
    }
    const int64_t start = k.delayMs * 1000 + kScanUs;
    for (size_t at = 0; at < r.size(); at += kPiece) {
        const size_t len = std::min(kPiece, r.size() - at);
        port.send(r.data() + at, len, start + static_cast<int64_t>(at / kPiece) * kPieceUs);
    }
    return 1;
}
}  // namespace

void registerKeyboardCommands(AppFirmware& fw) { fw.on('U', onScan); }

std::vector<KeySpec> keyboardKeys() {
    return {
        KeySpec::text("keys",
                      [](const std::string& v) {
                          try {
                              (void)KeyboardMatrix::parseScript(v);
                              return std::string();
                          } catch (const std::exception& e) {
                              const std::string w = e.what();
                              return w.rfind("keys: ", 0) == 0 ? w.substr(6) : w;
                          }
                      }),
        KeySpec::number("keyboard-delay", 0, 600'000),
        KeySpec::number("keyboard-flood", 1, 1'000'000),
    };
}

}  // namespace qj::sim
