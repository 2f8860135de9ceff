#include "sim/EepromModel.h"
#include "sim/SimKeys.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "sim/AppFirmware.h"

namespace qj::sim {

std::array<uint8_t, EepromModel::kSize> EepromModel::sampleEdid() {
    std::array<uint8_t, kSize> e;
    e.fill(0xFF);
    const std::vector<uint8_t> base = {
        0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00,  // header
        0x45, 0x8D, 0x6A, 0x15, 0x00, 0x00, 0x00, 0x00,  // maker "QLM", product 0x156A, serial 0
        0x0C, 0x1A, 0x01, 0x04,                          // week 12 of 2016, EDID 1.4
        0x90, 0x22, 0x13, 0x78, 0x0A,                    // digital 6-bit, 34 x 19 cm, gamma 2.2
        0xEE, 0x95, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54,  // chromaticity
        0x00, 0x00, 0x00,                                // no established timings
        0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,  // standard timings unused
        0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
        // 1920x1080 at 60 Hz, 148.5 MHz
        0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58, 0x2C, 0x45, 0x00, 0x58, 0xC2, 0x10, 0x00, 0x00, 0x1E,
        // text descriptors: maker and model
        0x00, 0x00, 0x00, 0xFE, 0x00, 'Q', 'U', 'I', 'L', 'L', 'M', 'O', 'R', 'E', 0x0A, 0x20, 0x20, 0x20,
        0x00, 0x00, 0x00, 0xFC, 0x00, 'Q', 'M', '1', '5', '6', 'F', 'H', 'D', '-', '0', '1', 0x0A, 0x20,
        0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00,  // no extension blocks
    };
    uint8_t sum = 0;
    for (size_t i = 0; i < base.size(); ++i) {
        e[i] = base[i];
        sum = static_cast<uint8_t>(sum + base[i]);
    }
    e[base.size()] = static_cast<uint8_t>(0x100 - sum);  // checksum: the block sums to 0
    return e;
}

EepromModel::EepromModel(const SimConfig& cfg)
    : writeProtected(cfg.flag("eeprom-wp")),
      absent(cfg.flag("eeprom-absent")),
      silent(cfg.flag("eeprom-silent")),
      flaky(cfg.num("eeprom-flaky", -1)),
      out_(cfg.str("eeprom-out")) {
    mem = sampleEdid();
    if (cfg.has("eeprom-status")) okStatus = cfg.str("eeprom-status").substr(0, 2);
    if (cfg.has("eeprom")) {
        std::ifstream f(cfg.str("eeprom"), std::ios::binary);
        if (!f) {
            loadError = "cannot read eeprom=" + cfg.str("eeprom");
        } else {
            std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
            mem.fill(0xFF);
            for (size_t i = 0; i < bytes.size() && i < kSize; ++i) mem[i] = static_cast<uint8_t>(bytes[i]);
        }
    }
}

EepromModel::~EepromModel() {
    if (out_.empty()) return;
    std::ofstream f(out_, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(mem.data()), static_cast<std::streamsize>(mem.size()));
    if (!f) std::fprintf(stderr, "virtual jig: cannot write eeprom-out=%s\n", out_.c_str());
}

namespace {
// I2C at 100 kHz moves a byte in about 90 us: the jig forwards the read in
// pieces as it clocks them out of the chip.
constexpr size_t kPiece = 64;
constexpr int64_t kPieceUs = 6000;

size_t onEeprom(const uint8_t* data, size_t n, JigPort& port) {
    if (n < 2) return 0;
    EepromModel& m = port.board().model<EepromModel>();
    if (!m.loadError.empty()) {
        port.error(m.loadError);
        m.loadError.clear();
    }
    if (data[1] == 'r') {
        ++m.reads;
        if (m.silent) return 2;
        std::array<uint8_t, EepromModel::kSize> img = m.mem;
        if (m.absent) img.fill(0xFF);  // no chip acknowledges: the bus reads high
        if (m.flaky >= 0 && m.reads % 2 == 0) img[static_cast<size_t>(m.flaky)] ^= 0x01;
        for (size_t at = 0; at < img.size(); at += kPiece)
            port.send(img.data() + at, kPiece, static_cast<int64_t>(at / kPiece + 1) * kPieceUs);
        port.send(m.absent ? std::string("ER") : m.okStatus, static_cast<int64_t>(img.size() / kPiece) * kPieceUs);
        return 2;
    }
    if (data[1] == 'w') {
        // The host waits for the ready byte before it sends the image, so the
        // command alone is a fresh request; until the image is whole, wait.
        if (n < 2 + EepromModel::kSize) {
            if (n == 2 && !m.silent) port.send(uint8_t{'R'});
            return 0;
        }
        ++m.writes;
        if (m.silent) return 2 + EepromModel::kSize;
        std::string status = m.okStatus;
        if (m.absent || m.writeProtected) status = "ER";
        else std::copy(data + 2, data + 2 + EepromModel::kSize, m.mem.begin());
        // A page write cycle of 5 ms for each of the 16 pages.
        port.send(status, 16 * 5000);
        return 2 + EepromModel::kSize;
    }
    char msg[64];
    std::snprintf(msg, sizeof msg, "EEPROM: unknown command 'E' 0x%02X", data[1]);
    port.error(msg);
    return 2;
}
}  // namespace

void registerEepromCommands(AppFirmware& fw) { fw.on('E', onEeprom); }

std::vector<KeySpec> eepromKeys() {
    return {
        KeySpec::inFile("eeprom"),
        KeySpec::outFile("eeprom-out"),
        KeySpec::flag("eeprom-wp"),
        KeySpec::flag("eeprom-absent"),
        KeySpec::flag("eeprom-silent"),
        KeySpec::number("eeprom-flaky", 0, EepromModel::kSize - 1),
        KeySpec::text("eeprom-status",
                      [](const std::string& v) { return v.size() == 2 ? std::string() : std::string("needs two characters"); }),
    };
}

}  // namespace qj::sim
