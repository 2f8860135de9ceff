#include "sim/NpceModel.h"

#include <algorithm>
#include <cstdio>

#include "sim/AppFirmware.h"
#include "sim/EneModel.h"
#include "sim/SimKeys.h"

namespace qj::sim {

namespace {
const TargetFaults::Decl kFaults{.prefix = "npce",
                                 .kinds = TargetFaults::Stuck | TargetFaults::OverlongAt | TargetFaults::SilentAfter |
                                          TargetFaults::BlockUs,
                                 .cells = NpceModel::kFlashSize};
}  // namespace

// Every 512-byte block differs from its neighbours, so a block out of order shows.
NpceModel::NpceModel(const SimConfig& cfg)
    : flash(kFlashSize),
      nor_(flash, cfg, "npce-flash", "npce-flash-out", [](size_t i) { return static_cast<uint8_t>((i * 7) ^ (i >> 9)); }),
      faults_(cfg, kFaults, nor_) {
    present = cfg.str("npce", "present") != "absent";
    if (cfg.has("npce-id")) jedecId = static_cast<uint32_t>(std::stoul(cfg.str("npce-id"), nullptr, 16));
    eraseFail_ = cfg.flag("npce-erase-fail");
    eraseUs_ = cfg.num("npce-erase-ms", 0) * 1000;
    notBlank_ = cfg.num("npce-not-blank", -1);
    pageFailAt_ = cfg.num("npce-page-fail-at", 0);
    noStarAt_ = cfg.num("npce-no-star-at", 0);
    endStatus_ = static_cast<uint8_t>(cfg.num("npce-end-status", 1));
    endSilent_ = cfg.flag("npce-end-silent");
}

bool NpceModel::silent() {
    return faults_.silentAt(++commands_);
}

// The JEDEC ID, most significant byte first, and one more byte.
size_t NpceModel::readId(JigPort& port) {
    endTransfers();
    if (silent()) return 1;
    uint8_t id[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (present) {
        id[0] = static_cast<uint8_t>(jedecId >> 16);
        id[1] = static_cast<uint8_t>(jedecId >> 8);
        id[2] = static_cast<uint8_t>(jedecId);
        id[3] = 0x00;
    }
    port.send(id, sizeof id);
    return 1;
}

size_t NpceModel::adapterSense(JigPort& port) {
    endTransfers();
    if (silent()) return 1;
    const auto s = port.board().model<KestraModel>().sense();
    port.send(s.data(), s.size());
    return 1;
}

size_t NpceModel::adapter(uint8_t sub, JigPort& port) {
    endTransfers();
    if (silent()) return 2;
    if (sub == '2') ++released;
    else adapterSide = static_cast<char>(sub);
    port.send(uint8_t{'K'});
    return 2;
}

size_t NpceModel::readBlock(JigPort& port) {
    if (silent()) return 1;
    ++blocksServed_;
    if (readAt_ + kBlock > kFlashSize) {
        port.error("NPCE: block request beyond the end of the flash");
        return 1;
    }
    std::vector<uint8_t> out(kBlock, 0xFF);
    if (present) std::copy_n(flash.begin() + static_cast<std::ptrdiff_t>(readAt_), kBlock, out.begin());
    readAt_ += kBlock;
    if (faults_.overlongAt(blocksServed_)) out.push_back(0xFF);
    port.send(out.data(), out.size(), faults_.blockUs());
    return 1;
}

size_t NpceModel::endOfRead(JigPort& port) {
    endTransfers();
    if (silent() || endSilent_) return 1;
    const uint8_t st[2] = {endStatus_, 0x00};
    port.send(st, sizeof st);
    return 1;
}

size_t NpceModel::chipErase(JigPort& port) {
    endTransfers();
    if (silent()) return 1;
    const bool ok = present && !eraseFail_;
    if (ok) {
        ++erases;
        nor_.erase(0, flash.size());
        if (notBlank_ >= 0) flash[static_cast<size_t>(notBlank_)] = 0x00;
    }
    const uint8_t st[2] = {static_cast<uint8_t>(ok ? 1 : 0), 0x00};
    port.send(st, sizeof st, eraseUs_);
    return 1;
}

size_t NpceModel::blankCheck(JigPort& port) {
    endTransfers();
    if (silent()) return 1;
    const bool blank = std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; });
    const uint8_t st[2] = {static_cast<uint8_t>(blank || !present ? 1 : 0), 0x00};
    port.send(st, sizeof st, faults_.blockUs() * static_cast<int64_t>(kFlashSize / kBlock));
    return 1;
}

size_t NpceModel::pageRequest(AppFirmware& fw, JigPort& port) {
    readAt_ = 0;
    if (silent()) return 1;
    ++pagesRequested_;
    if (noStarAt_ > 0 && pagesRequested_ == noStarAt_) return 1;
    pageFails_ = !present || (pageFailAt_ > 0 && pagesRequested_ == pageFailAt_);
    port.send(uint8_t{'*'});
    fw.beginModal([this, &fw](const uint8_t* d, size_t n, JigPort& p) { return pageData(fw, d, n, p); });
    return 1;
}

size_t NpceModel::pageData(AppFirmware& fw, const uint8_t* data, size_t n, JigPort& port) {
    if (n < kPage) return 0;
    fw.endModal();
    if (writeAt_ + kPage > kFlashSize) {
        port.error("NPCE: page beyond the end of the flash");
        return kPage;
    }
    if (!pageFails_) {
        nor_.program(writeAt_, data, kPage);
        ++pagesWritten;
    }
    writeAt_ += kPage;
    port.send(static_cast<uint8_t>(pageFails_ ? 0 : 1), faults_.blockUs());
    return kPage;
}

size_t NpceModel::endOfWrite(JigPort& port) {
    endTransfers();
    if (silent()) return 1;
    port.send(uint8_t{'K'});
    return 1;
}

void registerNpceCommands(AppFirmware& fw) {
    auto chip = [](JigPort& p) -> NpceModel& { return p.board().model<NpceModel>(); };
    fw.on('Z', [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).readId(p); });
    fw.on('9', [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).adapterSense(p); });
    for (uint8_t sub : {'0', '1', '2'})
        fw.on('V', sub, [chip](const uint8_t* d, size_t, JigPort& p) { return chip(p).adapter(d[1], p); });
    fw.on('r', [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).readBlock(p); });
    fw.on('-', [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).endOfRead(p); });
    fw.on('e', [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).chipErase(p); });
    fw.on('x', [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).blankCheck(p); });
    AppFirmware* f = &fw;
    fw.on('w', [chip, f](const uint8_t*, size_t, JigPort& p) { return chip(p).pageRequest(*f, p); });
    fw.on(0x07, [chip](const uint8_t*, size_t, JigPort& p) { return chip(p).endOfWrite(p); });
}

std::vector<KeySpec> npceKeys() {
    constexpr int64_t kMany = 1'000'000'000;
    constexpr int64_t kLastCell = NpceModel::kFlashSize - 1;
    return TargetFaults::keys(kFaults, {
        KeySpec::choice("npce", "present|absent"),
        KeySpec::hex("npce-id", 6),
        KeySpec::inFile("npce-flash"),
        KeySpec::outFile("npce-flash-out"),
        KeySpec::flag("npce-erase-fail"),
        KeySpec::number("npce-erase-ms", 0, 600'000),
        KeySpec::number("npce-not-blank", 0, kLastCell),
        KeySpec::number("npce-page-fail-at", 1, kMany),
        KeySpec::number("npce-no-star-at", 1, kMany),
        KeySpec::number("npce-end-status", 0, 255),
        KeySpec::flag("npce-end-silent"),
    });
}

}  // namespace qj::sim
