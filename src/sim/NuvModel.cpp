#include "sim/NuvModel.h"

#include <algorithm>
#include <cstdio>

#include "sim/AppFirmware.h"
#include "sim/JtagLines.h"
#include "sim/SimKeys.h"

namespace qj::sim {

namespace {
constexpr uint32_t kFiuBase = 0xFF0000;
constexpr uint32_t kDescriptor = 0x107F0;
constexpr int kBlocks = static_cast<int>(NuvModel::kFlashSize / 256);
const TargetFaults::Decl kFaults{.prefix = "nuv",
                                 .kinds = TargetFaults::SilentAfter | TargetFaults::Stuck,
                                 .cells = NuvModel::kFlashSize};

// The CPLD registers of the two pin maps that reach the chip, as the board's
// connector is wired: register, value.
struct Reg {
    uint8_t reg, value;
};
constexpr Reg kTypeB[] = {{0x40, 0x89}, {0x24, 0x40}, {0x25, 0x00}, {0x26, 0x10}, {0x27, 0x00},
                          {0x20, 0x40}, {0x21, 0x00}, {0x22, 0x04}, {0x23, 0x00}, {0x10, 0x40},
                          {0x11, 0x00}, {0x12, 0x1C}, {0x13, 0x00}};
constexpr Reg kTypeA[] = {{0x40, 0x94}, {0x24, 0x00}, {0x25, 0x02}, {0x26, 0x80}, {0x27, 0x00},
                          {0x20, 0x00}, {0x21, 0x08}, {0x22, 0x80}, {0x23, 0x00}, {0x10, 0x00},
                          {0x11, 0x0E}, {0x12, 0x80}, {0x13, 0x00}};

template <size_t N>
bool holds(const std::array<uint8_t, 256>& reg, const Reg (&map)[N]) {
    for (const Reg& r : map)
        if (reg[r.reg] != r.value) return false;
    return true;
}

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void sendLe32(JigPort& port, uint32_t v, int64_t delayUs = 0) {
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 24)};
    port.send(b, 4, delayUs);
}

// The 1-Wire CRC-8 the chip's loader checks a block with.
uint8_t crc8(const uint8_t* p, size_t n) {
    uint8_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = p[i];
        for (int k = 0; k < 8; ++k) {
            const bool mix = ((crc ^ b) & 1) != 0;
            crc = static_cast<uint8_t>(crc >> 1);
            if (mix) crc ^= 0x8C;
            b = static_cast<uint8_t>(b >> 1);
        }
    }
    return crc;
}

std::string hex(uint32_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "%Xh", v);
    return s;
}
}  // namespace

// Every block differs from its neighbours, so a block served out of order shows.
NuvModel::NuvModel(const SimConfig& cfg)
    : flash(kFlashSize),
      nor_(flash, cfg, "nuv-flash", "nuv-flash-out",
           [](size_t i) { return static_cast<uint8_t>((i >> 8) * 7 + (i & 0xFF) * 13 + (i >> 16)); }),
      faults_(cfg, kFaults, nor_),
      ram_(kRamSize, 0) {
    present = cfg.str("nuv", "present") != "absent";
    if (cfg.has("nuv-id")) jtagId = static_cast<uint32_t>(std::stoul(cfg.str("nuv-id"), nullptr, 16));
    if (cfg.has("nuv-id-split")) idSplitUs_ = cfg.num("nuv-id-split", 0) * 1000;
    cable_ = cfg.str("nuv-cable", "any");
    batchFailAt_ = cfg.num("nuv-batch-fail-at", 0);
    eraseUs_ = cfg.num("nuv-erase-us", eraseUs_);
    eraseStuck_ = cfg.num("nuv-erase-stuck", -1);
    readSilentAt_ = cfg.num("nuv-read-silent-at", 0);
    readOverlongAt_ = cfg.num("nuv-read-overlong-at", 0);
}

bool NuvModel::reached(JigPort& port, bool cpld) {
    if (!present) return false;
    const JtagLines& lines = port.board().model<JtagLines>();
    if (!lines.jtag) return false;
    if (!cpld) return true;  // wired by hand
    return (cable_ != "type-a" && holds(lines.reg, kTypeB)) || (cable_ != "type-b" && holds(lines.reg, kTypeA));
}

void NuvModel::tapReset() {
    idcode_ = true;
    scriptPlayed = false;
    addr_ = data_ = fetch_ = 0;
    burstLeft_ = 0;
    setupDone_ = false;
}

// Each 'J' command once: its second byte, how many bytes it takes (0: a
// batch, whose length its third and fourth bytes say) and what the jig does.
const std::vector<NuvModel::Command>& NuvModel::commandTable() {
    static const std::vector<Command> table = {
        {'i', 3, &NuvModel::instruction}, {'d', 3, &NuvModel::drCommand},
        {'D', 6, &NuvModel::drShift},     {'T', 8, &NuvModel::transfer},
        {'R', 2, &NuvModel::blockRead},   {'W', 0, &NuvModel::batch},
    };
    return table;
}

std::vector<uint8_t> NuvModel::commandCodes() {
    std::vector<uint8_t> codes;
    for (const Command& c : commandTable()) codes.push_back(c.code);
    return codes;
}

size_t NuvModel::command(const uint8_t* data, size_t n, JigPort& port, const Jig& jig) {
    if (n < 2) return 0;
    const auto& table = commandTable();
    const auto it = std::find_if(table.begin(), table.end(), [&](const Command& c) { return c.code == data[1]; });
    size_t need = it == table.end() ? 2 : it->need;
    if (need == 0) {
        if (n < 4) return 0;
        need = static_cast<size_t>(data[2]) | static_cast<size_t>(data[3]) << 8;
        if (need < 5 || (need - 5) % 5 != 0 || need > 5 + 5 * 128) {
            port.error("Nuvoton: command batch of length " + std::to_string(need));
            return n;
        }
    }
    if (n < need) return 0;
    if (faults_.silentAt(++commands)) return need;

    // The JTAG lines' reset ("J1") puts the chip's TAP back to its ID.
    const JtagLines& lines = port.board().model<JtagLines>();
    if (lines.tapResets != seenTapResets_) {
        seenTapResets_ = lines.tapResets;
        tapReset();
    }
    const bool reach = reached(port, jig.cpld);
    return it == table.end() ? need : (this->*(it->run))(data, need, port, reach, jig);
}

namespace {
constexpr uint8_t kOnes = 0xFF;  // what an unreached chip's TDO reads
}  // namespace

size_t NuvModel::instruction(const uint8_t*, size_t need, JigPort& port, bool reach, const Jig&) {
    if (reach) idcode_ = false;
    port.send(reach ? uint8_t{0x01} : kOnes);
    return need;
}

size_t NuvModel::drCommand(const uint8_t* data, size_t need, JigPort& port, bool reach, const Jig&) {
    if (reach) drCmd_ = data[2];
    port.send(reach ? uint8_t{0x00} : kOnes);
    return need;
}

size_t NuvModel::drShift(const uint8_t* data, size_t need, JigPort& port, bool reach, const Jig&) {
    if (!reach) {
        sendLe32(port, 0xFFFFFFFF);
    } else if (idcode_) {
        const uint8_t id[4] = {static_cast<uint8_t>(jtagId), static_cast<uint8_t>(jtagId >> 8),
                               static_cast<uint8_t>(jtagId >> 16), static_cast<uint8_t>(jtagId >> 24)};
        if (idSplitUs_ >= 0) {
            port.send(id, 2);
            port.send(id + 2, 2, idSplitUs_);
        } else {
            port.send(id, 4);
        }
    } else {
        // Before the script has set the chip up, its debug interface is not ours to judge.
        sendLe32(port, scriptPlayed ? access(drCmd_, le32(data + 2), port) : 0);
    }
    return need;
}

size_t NuvModel::transfer(const uint8_t* data, size_t need, JigPort& port, bool reach, const Jig&) {
    const uint8_t extra = data[2], cmd = data[3];
    const uint32_t value = le32(data + 4);
    if (reach && !scriptPlayed && extra == 0x5A && cmd == 0xE0 && value == 0x00C0FFEE) {
        scriptPlayed = true;
        readBlock_ = 0;
    } else if (reach && scriptPlayed) {
        (void)access(cmd, value, port);
    }
    port.send(reach ? uint8_t{0x00} : kOnes);
    return need;
}

uint32_t NuvModel::access(uint8_t cmd, uint32_t value, JigPort& port) {
    switch (cmd) {
    case 0x0B:
        addr_ = value;
        burstLeft_ = 0;
        return 0;
    case 0x0D:
        if (burstLeft_ > 0) {
            writeWord(burstAddr_, value, port);
            burstAddr_ += 4;
            --burstLeft_;
        } else {
            data_ = value;
        }
        return 0;
    case 0x09:
        if (value == 3) {
            writeItem(addr_, data_, port);
        } else if (value == 1) {
            fetch_ = readItem(addr_, port);
        } else if ((value & 0x1F) == 11) {  // a burst of (value >> 5) + 1 words
            writeWord(addr_, data_, port);
            burstAddr_ = addr_ + 4;
            burstLeft_ = static_cast<int>(value >> 5);
        } else {
            port.error("Nuvoton: debug go value " + hex(value));
        }
        return 0;
    case 0x0C:
        if (value != 1) port.error("Nuvoton: debug fetch value " + hex(value));
        return fetch_;
    case 0x00:
    case 0x01:
    case 0x02:
    case 0x03:
        setup_[cmd] = value;
        if (cmd == 0x03) {
            setupDone_ = setup_ == std::array<uint32_t, 4>{0x400, 0x400, 0x400, 0x10};
            nextBlock_ = 0;
        }
        return 0;
    default:
        port.error("Nuvoton: unknown debug command " + hex(cmd));
        return 0;
    }
}

void NuvModel::writeItem(uint32_t addr, uint32_t value, JigPort& port) {
    if (addr >= kFiuBase && addr < kFiuBase + fiu_.size()) {
        const uint32_t reg = addr - kFiuBase;
        fiu_[reg] = static_cast<uint8_t>(value);  // byte registers keep the low byte
        if (reg == 0x1E) flashControl(static_cast<uint8_t>(value), port);
        return;
    }
    writeWord(addr, value, port);
}

uint32_t NuvModel::readItem(uint32_t addr, JigPort& port) {
    if (addr >= kFiuBase && addr < kFiuBase + fiu_.size()) {
        const uint32_t reg = addr - kFiuBase;
        return reg == 0x1E ? fiu_[reg] & 0x7Fu : fiu_[reg];  // the go bit reads back cleared
    }
    if (addr < kRamBase || addr + 4 > kRamBase + kRamSize || addr % 4 != 0) {
        port.error("Nuvoton: debug read at " + hex(addr));
        return 0;
    }
    return le32(ram_.data() + (addr - kRamBase));
}

void NuvModel::writeWord(uint32_t addr, uint32_t value, JigPort& port) {
    if (addr < kRamBase || addr + 4 > kRamBase + kRamSize || addr % 4 != 0) {
        port.error("Nuvoton: debug write at " + hex(addr));
        return;
    }
    for (int i = 0; i < 4; ++i) ram_[addr - kRamBase + static_cast<uint32_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

uint8_t NuvModel::flashStatus(JigPort& port) const {
    const bool busy = busyForever_ || port.nowUs() < busyUntilUs_;
    return static_cast<uint8_t>((busy ? 0x01 : 0) | (writeEnabled_ && (busy || !erasing_) ? 0x02 : 0));
}

void NuvModel::flashControl(uint8_t control, JigPort& port) {
    const uint8_t op = fiu_[0x16];
    const uint32_t a = fiu_[0x17] | static_cast<uint32_t>(fiu_[0x18]) << 8 | static_cast<uint32_t>(fiu_[0x19]) << 16;
    const bool busy = (flashStatus(port) & 0x01) != 0;
    if (erasing_ && !busy) {  // the erase ended: write enable drops with it
        erasing_ = false;
        writeEnabled_ = false;
    }
    switch (control) {
    case 0xA0:  // the opcode alone
        if (op == 0x06 || op == 0x04) {
            if (!busy) writeEnabled_ = op == 0x06;  // a busy flash takes no command but the status read
        } else {
            port.error("Nuvoton: flash opcode " + hex(op) + " without address");
        }
        break;
    case 0xA8:  // the opcode and three address bytes
        if (op != 0x20) {
            port.error("Nuvoton: flash opcode " + hex(op) + " with address");
        } else if (a >= kFlashSize) {
            port.error("Nuvoton: sector erase at " + hex(a) + ", beyond the flash");
        } else if (!busy && writeEnabled_) {
            const size_t sector = a / 4096;
            nor_.erase(sector * 4096, 4096);
            ++sectorsErased;
            erasing_ = true;
            if (static_cast<int64_t>(sector) == eraseStuck_) busyForever_ = true;
            else busyUntilUs_ = port.nowUs() + eraseUs_;
        }
        break;
    case 0x81:  // the opcode, then one byte read into the data register
        if (op == 0x05) fiu_[0x1A] = flashStatus(port);
        else port.error("Nuvoton: flash opcode " + hex(op) + " with a read");
        break;
    default: port.error("Nuvoton: flash control " + hex(control));
    }
}

bool NuvModel::takeDescriptor(JigPort&) {
    const uint8_t* d = ram_.data() + (kDescriptor - kRamBase);
    const uint32_t w0 = le32(d), w1 = le32(d + 4), w2 = le32(d + 8), w3 = le32(d + 12);
    const int k = static_cast<int>((w3 & 0xFFFFFF) * 256 + (w2 >> 24));
    const uint32_t odd = w3 >> 24;
    const uint8_t* buf = ram_.data() + ((odd ? 0x10900u : 0x10800u) - kRamBase);
    const bool ok = setupDone_ && w0 == 0x00010077 && (w2 & 0xFFFFFF) == 0xFF && odd == static_cast<uint32_t>(k % 2) &&
                    k == nextBlock_ && k < kBlocks && (w1 >> 8) == 0x100 && crc8(buf, 256) == (w1 & 0xFF);
    if (!ok) {
        ++descriptorsRefused;
        return false;
    }
    // NOR programming: bits only go from 1 to 0, so a block written over
    // unerased flash shows.
    nor_.program(static_cast<size_t>(k) * 256, buf, 256);
    ++blocksProgrammed;
    ++nextBlock_;
    return true;
}

size_t NuvModel::batch(const uint8_t* data, size_t len, JigPort& port, bool reach, const Jig& jig) {
    const uint8_t mode = data[4];
    if (mode != 0xFE && mode != 0xFF && mode != 0x22) {
        port.error("Nuvoton: command batch of mode " + hex(mode));
        return len;
    }
    ++batches;
    if (batchFailAt_ > 0 && batches == batchFailAt_) {
        port.send(kRefused);
        return len;
    }
    if (!reach) {
        port.send(uint8_t{0xFF});
        return len;
    }
    if (!scriptPlayed) {  // nothing on the chip to take it
        port.send(uint8_t{0x00});
        return len;
    }
    int64_t waitUs = 0;
    if (jig.waitsForFlash && erasing_ && !busyForever_ && port.nowUs() < busyUntilUs_) {
        waitUs = busyUntilUs_ - port.nowUs();
        busyUntilUs_ = port.nowUs();  // the batch runs once the erase is over
    }
    for (size_t at = 5; at < len; at += 5) (void)access(data[at], le32(data + at + 1), port);
    port.send(mode == 0x22 && !takeDescriptor(port) ? kRefused : kAccepted, waitUs);
    return len;
}

size_t NuvModel::blockRead(const uint8_t*, size_t, JigPort& port, bool reach, const Jig&) {
    ++blockReads;
    if (readSilentAt_ > 0 && blockReads == readSilentAt_) return 2;
    std::vector<uint8_t> out(256, 0xFF);
    if (reach && scriptPlayed) {
        if (readBlock_ >= kBlocks) port.error("Nuvoton: block read beyond the end of the flash");
        else std::copy_n(flash.begin() + static_cast<long>(readBlock_++) * 256, 256, out.begin());
    }
    if (readOverlongAt_ > 0 && blockReads == readOverlongAt_) out.push_back(0x00);
    port.send(out.data(), out.size());
    return 2;
}

void registerNuvCommands(AppFirmware& fw) {
    NuvModel::Jig jig;
    jig.cpld = fw.name() == "M328_EPM240";
    jig.waitsForFlash = fw.ident().find("NPCE VC") != std::string::npos;
    auto h = [jig](const uint8_t* d, size_t n, JigPort& p) {
        return p.board().model<NuvModel>().command(d, n, p, jig);
    };
    for (const uint8_t c : NuvModel::commandCodes()) fw.on('J', c, h);
}

std::vector<KeySpec> nuvKeys() {
    constexpr int64_t kMany = 1'000'000'000;
    return TargetFaults::keys(kFaults, {
        KeySpec::choice("nuv", "present|absent"),
        KeySpec::hex("nuv-id", 8),
        KeySpec::number("nuv-id-split", 0, 60'000),
        KeySpec::choice("nuv-cable", "any|type-a|type-b"),
        KeySpec::number("nuv-batch-fail-at", 1, kMany),
        KeySpec::number("nuv-erase-us", 0, 10'000'000),
        KeySpec::number("nuv-erase-stuck", 0, 31),
        KeySpec::number("nuv-read-silent-at", 1, kMany),
        KeySpec::number("nuv-read-overlong-at", 1, kMany),
        KeySpec::inFile("nuv-flash"),
        KeySpec::outFile("nuv-flash-out"),
    });
}

}  // namespace qj::sim
