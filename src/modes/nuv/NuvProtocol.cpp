#include "modes/nuv/NuvProtocol.h"

#include "modes/common/ImageFile.h"

namespace qj::nuv {

namespace {
void putLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The connector pins of the JTAG signals; pin n of one orientation is pin
// 31 - n of the other.
struct Pins {
    int zero, tck, tdo, tdi, tms;
};
Pins pins(bool pin1ToPin1) {
    const Pins b{7, 19, 10, 21, 20};
    if (pin1ToPin1) return b;
    return {31 - b.zero, 31 - b.tck, 31 - b.tdo, 31 - b.tdi, 31 - b.tms};
}

// Drives connector pin `pin` with (S1, S0): TMS 00, TCK 01, TDI 10, ground 11.
void drive(PinMap& m, int pin, bool s1, bool s0) {
    const int byte = (pin - 1) / 8;
    const auto bit = static_cast<uint8_t>(1u << ((pin - 1) % 8));
    m.oe[byte] |= bit;
    if (s1) m.s1[byte] |= bit;
    if (s0) m.s0[byte] |= bit;
}

bool hexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// The upper-case hex number at positions [from, from + digits) of `line`, if
// they are all inside it and all digits.
bool field(std::string_view line, size_t from, size_t digits, uint32_t& v) {
    if (line.size() < from + digits) return false;
    v = 0;
    for (size_t i = from; i < from + digits; ++i) {
        const char c = line[i];
        if (!hexDigit(c)) return false;
        v = (v << 4) | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    return true;
}

ScriptLine malformed(std::string why) {
    ScriptLine l;
    l.kind = ScriptLine::Kind::Malformed;
    l.why = std::move(why);
    return l;
}
}  // namespace

std::vector<uint8_t> drShift32(uint32_t v) {
    std::vector<uint8_t> out{0x4A, 0x44};
    putLe32(out, v);
    return out;
}

std::vector<uint8_t> combinedShift(uint8_t extra, uint8_t cmd, uint32_t v) {
    std::vector<uint8_t> out{0x4A, 0x54, extra, cmd};
    putLe32(out, v);
    return out;
}

PinMap pinMap(bool pin1ToPin1) {
    const Pins p = pins(pin1ToPin1);
    PinMap m;
    drive(m, p.zero, true, true);
    drive(m, p.tck, false, true);
    drive(m, p.tms, false, false);
    drive(m, p.tdi, true, false);
    m.tdo = static_cast<uint8_t>(0x80 + (p.tdo - 1));
    return m;
}

std::vector<std::pair<uint8_t, uint8_t>> pinMapRegisters(const PinMap& m) {
    std::vector<std::pair<uint8_t, uint8_t>> r{{0x40, m.tdo}};
    for (int i = 0; i < 4; ++i) {
        r.emplace_back(static_cast<uint8_t>(0x24 + i), m.s1[i]);
        r.emplace_back(static_cast<uint8_t>(0x20 + i), m.s0[i]);
    }
    for (int i = 0; i < 4; ++i) r.emplace_back(static_cast<uint8_t>(0x10 + i), m.oe[i]);
    return r;
}

const char* manualWiring(bool pin1ToPin1) { return pin1ToPin1 ? "A7 B19 C10 D21 E20" : "A24 B12 C21 D10 E11"; }

uint8_t crc8(const uint8_t* p, size_t n) {
    uint8_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? static_cast<uint8_t>((crc >> 1) ^ 0x8C) : static_cast<uint8_t>(crc >> 1);
    }
    return crc;
}

std::vector<uint8_t> batch(uint8_t mode, const std::vector<Pair>& pairs) {
    const size_t len = 5 + 5 * pairs.size();
    std::vector<uint8_t> out{0x4A, 0x57, static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8), mode};
    out.reserve(len);
    for (const Pair& p : pairs) {
        out.push_back(p.cmd);
        putLe32(out, p.value);
    }
    return out;
}

std::vector<Pair> erasePairs(int sector) {
    const auto r = static_cast<uint32_t>(sector);
    return {
        {0x0B, kFiuOpcode},  {0x0D, 0x06},      {0x09, 3},  // write enable
        {0x0B, kFiuControl}, {0x0D, 0xA0},      {0x09, 3},
        {0x0B, kFiuControl}, {0x09, 1},         {0x0C, 1},
        {0x0B, kFiuOpcode},  {0x0D, 0x20},      {0x09, 3},  // 4 KiB sector erase
        {0x0B, kFiuAddr0},   {0x0D, 0},         {0x09, 3},
        // r * 16 goes whole; the register keeps its low byte.
        {0x0B, kFiuAddr0 + 1}, {0x0D, r * 16},  {0x09, 3},
        {0x0B, kFiuAddr0 + 2}, {0x0D, r / 16},  {0x09, 3},
        {0x0B, kFiuControl}, {0x0D, 0xA8},      {0x09, 3},
    };
}

std::vector<Pair> controlReadPairs() { return {{0x0B, kFiuControl}, {0x09, 1}, {0x0C, 1}}; }

std::vector<Pair> statusPollPairs() {
    return {
        {0x0B, kFiuOpcode},  {0x0D, 5},    {0x09, 3},  // read status register
        {0x0B, kFiuControl}, {0x0D, 0x81}, {0x09, 3},
        {0x0B, kFiuControl}, {0x09, 1},    {0x0C, 1},
        {0x0B, kFiuData},    {0x09, 1},    {0x0C, 1},
    };
}

std::vector<Pair> setupPairs() {
    return {{0x0B, 0x107F0}, {0x0D, 0x10400}, {0x09, 3}, {0x01, 0x400}, {0x00, 0x400}, {0x02, 0x400}, {0x03, 0x10}};
}

uint32_t bufferAddress(int block) { return block % 2 == 0 ? 0x10800 : 0x10900; }

namespace {
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
}  // namespace

std::vector<Pair> dataPairs(int block, const uint8_t* data) {
    std::vector<Pair> p{{0x0B, bufferAddress(block)}, {0x0D, le32(data)}, {0x09, 63 * 32 + 11}};
    for (int i = 1; i < kBlockSize / 4; ++i) p.push_back({0x0D, le32(data + 4 * i)});
    return p;
}

std::array<uint32_t, 4> descriptorWords(int block, uint8_t crc) {
    const auto k = static_cast<uint32_t>(block);
    return {0x00010077, 0x00010000u + crc, (k % 256) * 0x1000000u + 0xFF, k / 256 + 0x1000000u * (k % 2)};
}

std::vector<Pair> descriptorPairs(int block, const uint8_t* data) {
    const auto w = descriptorWords(block, crc8(data, kBlockSize));
    return {{0x0B, 0x107F0}, {0x0D, w[0]}, {0x09, 3 * 32 + 11}, {0x0D, w[1]}, {0x0D, w[2]}, {0x0D, w[3]}};
}

ScriptLine parseScriptLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ScriptLine out;
    if (line.empty()) return out;
    uint32_t a = 0, v = 0, extra = 0;
    const char kind = line[0];
    if (kind == 'i' || (kind == 'd' && line.size() < 7)) {
        if (!field(line, 2, 2, a)) return malformed("no two hexadecimal digits at positions 2-3");
        out.commands.push_back({kind == 'i' ? irShift(static_cast<uint8_t>(a)) : drShift(static_cast<uint8_t>(a)), 1});
    } else if (kind == 'd') {
        if (!field(line, 2, 2, a)) return malformed("no two hexadecimal digits at positions 2-3");
        if (line.size() >= 18 && line[15] == ' ' && field(line, 16, 2, extra)) {
            if (!field(line, 7, 8, v)) return malformed("no eight hexadecimal digits at positions 7-14");
            out.commands.push_back(
                {combinedShift(static_cast<uint8_t>(extra), static_cast<uint8_t>(a), v), 1});
        } else {
            if (line.size() >= 8 && !field(line, 7, 8, v))
                return malformed("no eight hexadecimal digits at positions 7-14");
            out.commands.push_back({drShift(static_cast<uint8_t>(a)), 1});
            if (line.size() >= 8) out.commands.push_back({drShift32(v), 4});
        }
    } else if (kind == 'D') {
        if (!field(line, 2, 8, v)) return malformed("no eight hexadecimal digits at positions 2-9");
        out.commands.push_back({drShift32(v), 4});
    } else {
        return out;
    }
    out.kind = ScriptLine::Kind::Steps;
    return out;
}

Script readScript(const std::string& path) {
    Script s;
    const image::FileRead file = image::readHead(path, kScriptCap);
    if (file.result == image::Load::CannotOpen) {
        s.missing = true;
        return s;
    }
    if (file.result == image::Load::NotRegular) {
        s.refused = image::whyRefused(path, file);
        return s;
    }
    if (file.longer) {
        s.refused = path + " is longer than " + std::to_string(kScriptCap) + " bytes: no JTAG script";
        return s;
    }
    s.readError = file.result == image::Load::ReadError;
    std::string line;
    bool tooLong = false;
    for (const uint8_t b : file.bytes) {
        const char c = static_cast<char>(b);
        if (c != '\n') {
            // Never collect past the line buffer; the line is refused at its end.
            if (line.size() < kLineBuffer) line += c;
            else tooLong = true;
            continue;
        }
        const int number = static_cast<int>(s.lines.size()) + 1;
        ScriptLine l =
            tooLong ? malformed("longer than " + std::to_string(kLineBuffer) + " bytes") : parseScriptLine(line);
        if (l.kind == ScriptLine::Kind::Malformed) {
            s.badLine = number;
            s.why = l.why;
            return s;
        }
        s.lines.push_back(std::move(l.commands));
        line.clear();
        tooLong = false;
    }
    return s;
}

bool playsNothing(const Script& s) {
    for (const auto& line : s.lines)
        if (!line.empty()) return false;
    return true;
}

}  // namespace qj::nuv
