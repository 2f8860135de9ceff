#include "sim/EneModel.h"

#include <cstdio>
#include <random>

#include "sim/AppFirmware.h"
#include "sim/SimKeys.h"

namespace qj::sim {

namespace {
constexpr uint8_t kGood = 'K';
constexpr uint8_t kLost = 'e';
// The chip erases a block as it writes it: a stuck cell keeps its old value.
const TargetFaults::Decl kFaults{.prefix = "ene",
                                 .kinds = TargetFaults::SilentAfter | TargetFaults::OverlongAt | TargetFaults::LostAt |
                                          TargetFaults::BlockUs | TargetFaults::Stuck,
                                 .cells = EneModel::kFlashSize,
                                 .stuckThroughErase = true};
}  // namespace

namespace {
// The flash without flash=: counter (every block differs from its neighbours,
// so a block served out of order shows), random, or blank.
std::function<uint8_t(size_t)> enePattern(const SimConfig& cfg) {
    const std::string pattern = cfg.str("ene-pattern", "counter");
    if (pattern == "counter") return [](size_t i) { return static_cast<uint8_t>(i ^ (i >> 8) ^ (i >> 16)); };
    if (pattern == "random")
        return [rng = std::mt19937(static_cast<uint32_t>(cfg.num("ene-seed", 1)))](size_t) mutable {
            return static_cast<uint8_t>(rng());
        };
    return [](size_t) { return uint8_t{0xFF}; };
}
}  // namespace

EneModel::EneModel(const SimConfig& cfg)
    : flash(kFlashSize), nor_(flash, cfg, "flash", "flash-out", enePattern(cfg)), faults_(cfg, kFaults, nor_) {
    const std::string pattern = cfg.str("ene-pattern", "counter");
    if (pattern != "counter" && pattern != "random" && pattern != "blank")
        configError_ = "ene-pattern must be counter, blank or random";
    if (!nor_.loadError().empty()) configError_ = nor_.loadError();
    present = cfg.str("ene", "present") != "absent";
    version = static_cast<uint8_t>(cfg.num("ene-version", 0x24));
    flaky_ = cfg.num("ene-flaky", -1);
}

void EneModel::reportConfigError(JigPort& port) {
    if (configError_.empty()) return;
    port.error("KB90xx: " + configError_);
    configError_.clear();
}

int64_t EneModel::nextBlock(JigPort& port) {
    ++blocksServed;
    block_ = transferStart_ ? 0 : block_ + 1;
    transferStart_ = false;
    if (faults_.lostAt(blocksServed)) lost = true;
    if (block_ >= static_cast<int64_t>(kFlashSize / kBlockSize)) {
        port.error("KB90xx: block command beyond the end of the flash");
        return -1;
    }
    return block_;
}

size_t EneModel::debugVersion(JigPort& port) {
    reportConfigError(port);
    transferStart_ = true;
    port.send(present && !lost ? version : uint8_t{0xFF});
    return 1;
}

size_t EneModel::readBlock(JigPort& port) {
    reportConfigError(port);
    const int64_t b = nextBlock(port);
    if (silentNow()) return 1;
    std::vector<uint8_t> out(kBlockSize + 1, 0xFF);
    if (b >= 0 && present && !lost) {
        std::copy_n(flash.begin() + b * static_cast<int64_t>(kBlockSize), kBlockSize, out.begin());
        out[kBlockSize] = kGood;
        if (flaky_ >= 0 && flaky_ / static_cast<int64_t>(kBlockSize) == b && ++flakyReads_ % 2 == 0)
            out[static_cast<size_t>(flaky_ % static_cast<int64_t>(kBlockSize))] ^= 0x01;
    } else {
        out[kBlockSize] = kLost;
    }
    if (faults_.overlongAt(blocksServed)) out.push_back(kGood);
    port.send(out.data(), out.size(), faults_.blockUs());
    return 1;
}

size_t EneModel::writeBlock(const uint8_t* data, size_t n, JigPort& port) {
    reportConfigError(port);
    if (!writeAcked_) {
        const int64_t b = nextBlock(port);
        if (silentNow()) return 1;
        (void)b;
        port.send(kGood);  // ready for the data
        writeAcked_ = true;
    }
    if (n < 1 + kBlockSize) return 0;
    writeAcked_ = false;
    const bool ok = block_ < static_cast<int64_t>(kFlashSize / kBlockSize) && present && !lost;
    if (ok) {
        const size_t at = static_cast<size_t>(block_) * kBlockSize;
        nor_.erase(at, kBlockSize);
        nor_.program(at, data + 1, kBlockSize);
        ++blocksWritten;
    }
    port.send(ok ? kGood : kLost, faults_.blockUs());
    return 1 + kBlockSize;
}

size_t EneModel::closeTransfer() {
    transferStart_ = true;
    writeAcked_ = false;
    return 1;
}

KestraModel::KestraModel(const SimConfig& cfg) {
    const std::string k = cfg.str("kestra", "absent");
    if (k == "1-2") fit = Fit::Contacts12;
    else if (k == "31-32") fit = Fit::Contacts3132;
    else if (k == "both") fit = Fit::BothGrounded;
    else if (k != "absent") configError_ = "kestra must be absent, 1-2, 31-32 or both";
}

std::array<uint8_t, 3> KestraModel::sense() const {
    // Sense inputs pulled up; a grounded contact pair reads 0.
    std::array<uint8_t, 3> s = {0xFF, 0xFF, 0x00};
    if (fit == Fit::Contacts12 || fit == Fit::BothGrounded) s[0] &= static_cast<uint8_t>(~0x40);
    if (fit == Fit::Contacts3132 || fit == Fit::BothGrounded) s[1] &= static_cast<uint8_t>(~0x02);
    return s;
}

size_t KestraModel::command(const uint8_t* data, size_t n, JigPort& port) {
    if (n < 2) return 0;
    if (!configError_.empty()) {
        port.error(configError_);
        configError_.clear();
    }
    switch (data[1]) {
    case '9': {
        const auto s = sense();
        port.send(s.data(), s.size());
        break;
    }
    case '5':
    case '6':
        orientation = static_cast<char>(data[1]);
        port.send(kGood);
        break;
    case '1':
        on = true;
        ++switchedOn;
        port.send(kGood);
        break;
    case '0':
        on = false;
        ++switchedOff;
        port.send(kGood);
        break;
    default: {
        char msg[64];
        std::snprintf(msg, sizeof msg, "KESTRA: unknown adapter command 'V' 0x%02X", data[1]);
        port.error(msg);
    }
    }
    return 2;
}

void registerEneCommands(AppFirmware& fw) {
    auto chip = [](JigPort& p) -> EneModel& { return p.board().model<EneModel>(); };
    fw.on('v', [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).debugVersion(p); });
    fw.on('R', [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).readBlock(p); });
    fw.on('N', [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).readBlock(p); });
    fw.on('W', [chip](const uint8_t* d, size_t n, JigPort& p) { return chip(p).writeBlock(d, n, p); });
    fw.on('X', [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).closeTransfer(); });
    fw.on('V', [](const uint8_t* d, size_t n, JigPort& p) { return p.board().model<KestraModel>().command(d, n, p); });
}

std::vector<KeySpec> eneKeys() {
    return TargetFaults::keys(kFaults, {
        KeySpec::inFile("flash"),
        KeySpec::outFile("flash-out"),
        KeySpec::choice("ene-pattern", "counter|blank|random"),
        KeySpec::number("ene-seed", 0, 0xFFFFFFFF),
        KeySpec::choice("ene", "present|absent"),
        KeySpec::number("ene-version", 0, 255),
        KeySpec::number("ene-flaky", 0, EneModel::kFlashSize - 1),
        KeySpec::choice("kestra", "absent|1-2|31-32|both"),
    });
}

}  // namespace qj::sim
