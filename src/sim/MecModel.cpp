#include "sim/MecModel.h"

#include <algorithm>
#include <cstdio>

#include "sim/AppFirmware.h"
#include "sim/SimKeys.h"

namespace qj::sim {

namespace {
constexpr uint32_t kRevisionValue = 0x00000011;  // what FFFD00h reads (made up)
constexpr uint8_t kGoAhead = 0x01;
const TargetFaults::Decl kFaults{.prefix = "mec",
                                 .kinds = TargetFaults::LostAt | TargetFaults::OverlongAt | TargetFaults::SilentAfter |
                                          TargetFaults::Stuck | TargetFaults::BlockUs,
                                 .cells = MecModel::kMainSize,
                                 .stuckThroughErase = true};

// `count` upper-case or lower-case hexadecimal characters; false when one is not.
bool parseHex(const uint8_t* d, size_t count, uint32_t& v) {
    v = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = static_cast<char>(d[i]);
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        else return false;
        v = (v << 4) | digit;
    }
    return true;
}

}  // namespace

// Every block differs from its neighbours, so a block served out of order shows.
MecModel::MecModel(const SimConfig& cfg)
    : main(kMainSize),
      info(kInfoSize),
      infoFlash_(info, cfg, "mec-info", "mec-info-out",
                 [](size_t i) { return static_cast<uint8_t>(0xA5 ^ (i * 3) ^ (i >> 10)); }),
      nor_(main, cfg, "mec-flash", "mec-flash-out",
           [](size_t i) { return static_cast<uint8_t>(i * 7 + (i >> 10) * 13 + (i >> 16)); }),
      faults_(cfg, kFaults, nor_) {
    present = cfg.str("mec", "present") != "absent";
    fwp = cfg.flag("mec-fwp");
    bootLock = cfg.flag("mec-bootlock");
    plainFormsIgnored = cfg.str("mec-plain-forms", "accept") == "ignore";
    eraseUs_ = cfg.num("mec-erase-ms", 1000) * 1000;
    busyStuck_ = cfg.flag("mec-busy-stuck");
    if (cfg.has("mec-silent-reg")) {
        uint32_t r = 0;
        const std::string v = cfg.str("mec-silent-reg");
        parseHex(reinterpret_cast<const uint8_t*>(v.data()), v.size(), r);
        silentReg_ = r;
    }
    noGAt_ = cfg.num("mec-no-g-at", 0);
}

uint32_t MecModel::status(int64_t nowUs) const {
    const bool busy = (busyStuck_ && erases > 0) || nowUs < busyUntilUs;
    return (busy ? 0x01u : 0u) | (bootLock ? 0x08u : 0u) | (fwp ? 0x10u : 0u);
}

size_t MecModel::jtagReset(JigPort& port) {
    port.send(uint8_t{'K'});
    return 1;
}

size_t MecModel::readId(JigPort& port) {
    uint8_t id[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (present)
        for (int i = 0; i < 4; ++i) id[i] = static_cast<uint8_t>(jtagId >> (24 - 8 * i));
    port.send(id, sizeof id);
    return 1;
}

size_t MecModel::readRegister(const uint8_t* d, size_t n, size_t at, JigPort& port) {
    if (n < at + 6) return 0;
    uint32_t reg = 0;
    if (!parseHex(d + at, 6, reg)) {
        port.error("MEC: register read with a bad address");
        return at + 6;
    }
    if (!present || static_cast<int64_t>(reg) == silentReg_) return at + 6;
    uint32_t v = 0;
    switch (reg) {
    case 0xFFFD00: v = kRevisionValue; break;
    case 0xFF3904: v = address; break;
    case 0xFF3908: v = command; break;
    case 0xFF390C: v = status(port.nowUs()); break;
    case 0xFF3910: v = enable; break;
    default: {
        char msg[64];
        std::snprintf(msg, sizeof msg, "MEC: read of unknown register %06X", reg);
        port.error(msg);
    }
    }
    const uint8_t a[5] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v), 0x01};
    port.send(a, sizeof a);
    return at + 6;
}

size_t MecModel::writeRegister(const uint8_t* d, size_t n, size_t at, JigPort& port) {
    if (n < at + 14) return 0;
    uint32_t reg = 0, v = 0;
    if (!parseHex(d + at, 6, reg) || !parseHex(d + at + 6, 8, v)) {
        port.error("MEC: register write with bad characters");
        return at + 14;
    }
    if (!present || static_cast<int64_t>(reg) == silentReg_) return at + 14;
    switch (reg) {
    case 0xFF3910: enable = v; break;
    case 0xFF3908:
        command = v;
        if (v == 0x100 || v == 0) transfer_ = Transfer::None;
        break;
    case 0xFF3904:
        address = v;
        if (enable == 1 && command == 0x107) {
            eraseAddresses.push_back(v);
            ++erases;
            if (v != 0x00F80000 && v != 0x00FC0000) {
                port.error("MEC: erase of an unknown area");
                break;
            }
            busyUntilUs = port.nowUs() + eraseUs_;
            if (fwp || bootLock) break;  // the flash refuses
            nor_.erase(0, kMainSize);
            if (v == 0x00FC0000) infoFlash_.erase(0, kInfoSize);
        } else if (enable == 1 && command == 0x106) {
            writeAt_ = v;
        }
        break;
    default: {
        char msg[64];
        std::snprintf(msg, sizeof msg, "MEC: write of register %06X", reg);
        port.error(msg);
    }
    }
    port.send(uint8_t{0x01});
    return at + 14;
}

void MecModel::sendBlock(JigPort& port) {
    if (!present || silentNow()) return;
    ++blocksServed;
    std::vector<uint8_t> out(kBlock + 1, 0xFF);
    bool good = enable == 1 && command == 0x105;
    if (readAt_ + kBlock <= kMainSize) {
        std::copy_n(main.begin() + readAt_, kBlock, out.begin());
    } else if (readAt_ >= kInfoBase && readAt_ + kBlock <= kInfoBase + kInfoSize) {
        std::copy_n(info.begin() + (readAt_ - kInfoBase), kBlock, out.begin());
    } else {
        port.error("MEC: flash read beyond the MAIN and INFO blocks");
        good = false;
    }
    if (faults_.lostAt(blocksServed)) good = false;
    out[kBlock] = good ? 0x01 : 0x00;
    if (faults_.overlongAt(blocksServed)) out.push_back(0x01);
    readAt_ += kBlock;
    port.send(out.data(), out.size(), faults_.blockUs());
}

size_t MecModel::flashRead(const uint8_t* d, size_t n, size_t at, JigPort& port) {
    if (n < at + 6) return 0;
    uint32_t a = 0;
    if (!parseHex(d + at, 6, a)) port.error("MEC: flash read with a bad address");
    if (!(enable == 1 && command == 0x105)) port.error("MEC: flash read while the flash is not in read mode");
    transfer_ = Transfer::Read;
    readAt_ = a;
    sendBlock(port);
    return at + 6;
}

size_t MecModel::page(const uint8_t* d, size_t n, AppFirmware& fw, JigPort& port) {
    if (n < kPage) return 0;
    fw.endModal();
    ++pagesServed;
    bool good = present && !fwp && !bootLock && !(noGAt_ > 0 && pagesServed == noGAt_);
    if (writeAt_ + kPage > kMainSize) {
        port.error("MEC: page write beyond the MAIN block");
        good = false;
    }
    if (good) nor_.program(writeAt_, d, kPage);
    writeAt_ += kPage;
    port.send(uint8_t{static_cast<uint8_t>(good ? 'G' : 'E')}, faults_.blockUs());
    return kPage;
}

void MecModel::goAhead(AppFirmware& fw, JigPort& port) {
    if (silentNow()) return;
    port.send(kGoAhead);
    fw.beginModal([this, &fw](const uint8_t* d, size_t n, JigPort& p) { return page(d, n, fw, p); });
}

size_t MecModel::pageWrite(AppFirmware& fw, JigPort& port) {
    if (!(enable == 1 && command == 0x106)) port.error("MEC: page write while the flash is not in program mode");
    transfer_ = Transfer::Write;
    goAhead(fw, port);
    return 1;
}

size_t MecModel::next(AppFirmware& fw, JigPort& port) {
    if (transfer_ == Transfer::Read) sendBlock(port);
    else if (transfer_ == Transfer::Write) goAhead(fw, port);
    else port.error("MEC: \"N\" outside a transfer");
    return 1;
}

size_t MecModel::endTransfer() {
    transfer_ = Transfer::None;
    return 1;
}

void registerMecCommands(AppFirmware& fw, MecForms forms) {
    using H = AppFirmware::Handler;
    auto mec = [](JigPort& p) -> MecModel& { return p.board().model<MecModel>(); };
    const bool epm = forms == MecForms::Epm240;
    const size_t at = epm ? 2 : 1;  // where the arguments start
    auto form = [&](uint8_t letter, H h) {
        if (epm) fw.on('M', letter, std::move(h));
        else fw.on(letter, std::move(h));
    };
    form('j', [mec, at](const uint8_t*, size_t, JigPort& p) {
        mec(p).readId(p);
        return at;
    });
    form('r', [mec, at](const uint8_t* d, size_t n, JigPort& p) { return mec(p).readRegister(d, n, at, p); });
    form('w', [mec, at](const uint8_t* d, size_t n, JigPort& p) { return mec(p).writeRegister(d, n, at, p); });
    form('R', [mec, at](const uint8_t* d, size_t n, JigPort& p) { return mec(p).flashRead(d, n, at, p); });
    AppFirmware* f = &fw;
    fw.on('W', [mec, f](const uint8_t*, size_t, JigPort& p) { return mec(p).pageWrite(*f, p); });
    fw.on('N', [mec, f](const uint8_t*, size_t, JigPort& p) { return mec(p).next(*f, p); });
    fw.on('X', [mec](const uint8_t*, size_t, JigPort& p) { return mec(p).endTransfer(); });
    if (!epm) {
        fw.on('1', [mec](const uint8_t*, size_t, JigPort& p) { return mec(p).jtagReset(p); });
        return;  // "I", "O" and "0" are the family's own: taken, never answered
    }
    // The plain forms that erase and write send to an EPM240 jig too.
    fw.on('1', [mec](const uint8_t*, size_t, JigPort& p) -> size_t {
        return mec(p).plainFormsIgnored ? 1 : mec(p).jtagReset(p);
    });
    fw.on('j', [mec](const uint8_t*, size_t, JigPort& p) -> size_t {
        return mec(p).plainFormsIgnored ? 1 : mec(p).readId(p);
    });
    fw.on('0', [mec](const uint8_t*, size_t, JigPort& p) -> size_t {
        if (!mec(p).plainFormsIgnored) ++mec(p).releases;
        return 1;
    });
}

std::vector<KeySpec> mecKeys() {
    constexpr int64_t kMany = 1'000'000'000;
    return TargetFaults::keys(kFaults, {
        KeySpec::choice("mec", "present|absent"),
        KeySpec::flag("mec-fwp"),
        KeySpec::flag("mec-bootlock"),
        KeySpec::number("mec-erase-ms", 0, 600000),
        KeySpec::flag("mec-busy-stuck"),
        KeySpec::hex("mec-silent-reg", 6),
        KeySpec::number("mec-no-g-at", 1, kMany),
        KeySpec::choice("mec-plain-forms", "accept|ignore"),
        KeySpec::inFile("mec-flash"),
        KeySpec::inFile("mec-info"),
        KeySpec::outFile("mec-flash-out"),
        KeySpec::outFile("mec-info-out"),
    });
}

}  // namespace qj::sim
