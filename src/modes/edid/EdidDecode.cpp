#include "modes/edid/EdidDecode.h"

#include <cstdio>

namespace qj::edid {

namespace {
constexpr size_t kBlock = 128;
const uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

std::string fmt(const char* f, auto... a) {
    char buf[160];
    std::snprintf(buf, sizeof buf, f, a...);
    return buf;
}

// Text of a display descriptor: up to 13 bytes, ended by a line feed.
std::string descriptorText(const uint8_t* d) {
    std::string s;
    for (int i = 5; i < 18 && d[i] != 0x0A; ++i) s += (d[i] >= 0x20 && d[i] < 0x7F) ? char(d[i]) : '?';
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}
}  // namespace

bool Checks::good() const {
    if (!header || blocks.empty()) return false;
    for (const auto& b : blocks)
        if (!b.valid) return false;
    return true;
}

Checks check(const std::vector<uint8_t>& img) {
    Checks c;
    if (img.size() < kBlock) return c;
    c.header = std::equal(kHeader, kHeader + 8, img.begin());
    // The base block says how many extensions follow; check those the image holds.
    const size_t blocks = std::min<size_t>(1 + img[126], img.size() / kBlock);
    for (size_t b = 0; b < blocks; ++b) {
        const uint8_t* p = img.data() + b * kBlock;
        uint8_t sum = 0;
        for (size_t i = 0; i < kBlock - 1; ++i) sum = static_cast<uint8_t>(sum + p[i]);
        BlockCheck bc;
        bc.block = static_cast<int>(b);
        bc.stored = p[kBlock - 1];
        bc.expected = static_cast<uint8_t>(0x100 - sum);
        bc.valid = bc.stored == bc.expected;
        c.blocks.push_back(bc);
    }
    return c;
}

std::vector<std::string> describe(const std::vector<uint8_t>& img) {
    std::vector<std::string> out;
    if (img.size() < kBlock) {
        out.push_back(fmt("EDID: %zu bytes, too short for a base block (128 bytes)", img.size()));
        return out;
    }
    const Checks c = check(img);
    const uint8_t* e = img.data();
    out.push_back(std::string("header: ") + (c.header ? "valid" : "invalid (not 00 FF FF FF FF FF FF 00)"));
    const unsigned id = unsigned(e[8]) << 8 | e[9];
    std::string maker;
    for (int shift : {10, 5, 0}) {
        const unsigned v = (id >> shift) & 31;
        maker += (v >= 1 && v <= 26) ? char('A' + v - 1) : '?';
    }
    out.push_back("manufacturer: " + maker);
    const unsigned product = e[10] | unsigned(e[11]) << 8;
    out.push_back(fmt("product code: 0x%04X (%u)", product, product));
    const unsigned long serial = e[12] | unsigned(e[13]) << 8 | unsigned(e[14]) << 16 | (unsigned long)e[15] << 24;
    out.push_back(fmt("serial number: %lu", serial));
    const int year = 1990 + e[17];
    if (e[16] == 0xFF) out.push_back(fmt("model year: %d", year));
    else if (e[16] == 0) out.push_back(fmt("manufactured: %d", year));
    else out.push_back(fmt("manufactured: week %d of %d", e[16], year));
    out.push_back(fmt("EDID version: %d.%d", e[18], e[19]));

    bool preferred = false;
    for (int k = 0; k < 4; ++k) {
        const uint8_t* d = e + 54 + 18 * k;
        const unsigned clock = d[0] | unsigned(d[1]) << 8;  // 10 kHz units
        if (clock != 0) {
            if (preferred) continue;  // the first detailed timing is the preferred one
            preferred = true;
            const unsigned hAct = d[2] | unsigned(d[4] >> 4) << 8, hBlank = d[3] | unsigned(d[4] & 15) << 8;
            const unsigned vAct = d[5] | unsigned(d[7] >> 4) << 8, vBlank = d[6] | unsigned(d[7] & 15) << 8;
            const double total = double(hAct + hBlank) * double(vAct + vBlank);
            const double hz = total > 0 ? clock * 10000.0 / total : 0.0;
            out.push_back(fmt("preferred timing: %ux%u at %.2f Hz (pixel clock %.2f MHz)", hAct, vAct, hz,
                              clock / 100.0));
            continue;
        }
        if (d[2] != 0) continue;
        if (d[3] == 0xFC) out.push_back("monitor name: " + descriptorText(d));
        else if (d[3] == 0xFF) out.push_back("monitor serial: " + descriptorText(d));
        else if (d[3] == 0xFE) out.push_back("text: " + descriptorText(d));
    }
    if (!preferred) out.push_back("preferred timing: none");
    out.push_back(fmt("extension blocks: %u", unsigned(e[126])));
    for (const auto& b : c.blocks) {
        if (b.valid) out.push_back(fmt("block %d checksum: valid (0x%02X)", b.block, b.stored));
        else out.push_back(fmt("block %d checksum: invalid (0x%02X, should be 0x%02X)", b.block, b.stored, b.expected));
    }
    if (size_t(1 + e[126]) > c.blocks.size())
        out.push_back(fmt("extension blocks missing from the image: %zu", size_t(1 + e[126]) - c.blocks.size()));
    return out;
}

}  // namespace qj::edid
