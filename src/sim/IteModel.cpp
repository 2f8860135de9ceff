#include "sim/IteModel.h"

#include <algorithm>
#include <cstdio>

#include "sim/AppFirmware.h"
#include "sim/SimKeys.h"

namespace qj::sim {

namespace {
constexpr uint8_t kOk = 'o', kBusy = 'e', kPageOk = 0x7F;
constexpr size_t kBlock = 256, kChunk = 128, kPage = 256, kSector = 1024;
constexpr uint16_t kId8580 = 0x8580, kId8386 = 0x8386;
constexpr int64_t kLargestFlash = 196608;  // the 8386's
// The jig reads a block as 256 register reads: 22 ms.
const TargetFaults::Decl kFaults{.prefix = "ite",
                                 .kinds = TargetFaults::OverlongAt | TargetFaults::SilentAfter | TargetFaults::Stuck |
                                          TargetFaults::StuckLen | TargetFaults::BlockUs,
                                 .cells = kLargestFlash,
                                 .stuckThroughErase = true,
                                 .blockUs = 22000};

uint16_t idOf(const SimConfig& cfg) {
    return cfg.has("ite-id") ? static_cast<uint16_t>(std::stoul(cfg.str("ite-id"), nullptr, 16)) : uint16_t{0x8587};
}

// The keys of a wiring line and the set-up code each signal travels under.
struct Signal {
    const char* key;
    const char* code;
};
constexpr Signal kSignals[] = {
    {"INIT=", "IN"}, {"AFD=", "DS"}, {"SLIN=", "AS"}, {"STB=", "WR"}, {"KSI4=", "K4"},
    {"KSI5=", "K5"}, {"BUSY=", "BL"}, {"PD0=", "d0"}, {"PD1=", "d1"}, {"PD2=", "d2"},
    {"PD3=", "d3"},  {"PD4=", "d4"},  {"PD5=", "d5"},  {"PD6=", "d6"}, {"PD7=", "d7"},
};

// The contact number after `key`: one or two digits; -1 when there is none.
int contactAfter(const std::string& line, const std::string& key) {
    const size_t at = line.find(key);
    if (at == std::string::npos) return -1;
    size_t p = at + key.size();
    int v = -1;
    for (int i = 0; i < 2 && p < line.size() && line[p] >= '0' && line[p] <= '9'; ++i, ++p)
        v = (v < 0 ? 0 : v * 10) + (line[p] - '0');
    return v;
}

// The assignment a wiring line describes; empty when a signal has no good contact.
std::map<std::string, int> assignmentOf(const std::string& line, bool reversed, std::string& why) {
    std::map<std::string, int> a;
    const int count = contactAfter(line, "KB_pins=");
    for (const Signal& s : kSignals) {
        const int c = contactAfter(line, s.key);
        if (c < 1 || c > 32) {
            why = std::string("ite-board: no contact from 1 to 32 after ") + s.key;
            return {};
        }
        a[s.code] = reversed ? count + 1 - c : c;
    }
    if (reversed && (count < 24 || count > 32)) why = "ite-reversed needs KB_pins= from 24 to 32 in ite-board";
    return a;
}

// The external board's contacts for the (1-2) fit; (31-32) is 33 - value.
std::map<std::string, int> externalAssignment(bool turned) {
    std::map<std::string, int> a = {{"IN", 4}, {"DS", 5}, {"AS", 3}, {"WR", 6}, {"BL", 22}, {"PW", 20}, {"RS", 11}};
    for (int i = 0; i < 8; ++i) a[std::string("d") + static_cast<char>('0' + i)] = 32 - i;
    if (turned)
        for (auto& [code, c] : a) c = 33 - c;
    return a;
}

bool knownCode(const std::string& code) {
    for (const Signal& s : kSignals)
        if (code == s.code) return true;
    return code == "PW" || code == "RS";
}
}  // namespace

// Every block of the flash differs from its neighbours, so a block served out of order shows.
IteModel::IteModel(const SimConfig& cfg)
    : flash(idOf(cfg) == kId8386 ? kLargestFlash : 131072),
      present(cfg.str("ite", "present") != "absent"),
      id(idOf(cfg)),
      nor_(flash, cfg, "ite-flash", "ite-flash-out",
           [](size_t i) { return static_cast<uint8_t>(i ^ (i >> 8) ^ (i >> 16) ^ 0x5A); }),
      faults_(cfg, kFaults, nor_) {
    rev_ = static_cast<uint8_t>(cfg.num("ite-rev", 1));
    if (cfg.has("ite-board")) board_ = assignmentOf(unescape(cfg.str("ite-board")), cfg.flag("ite-reversed"), configError_);
    const std::string ext = cfg.str("ite-ext", "absent");
    ext_ = ext == "1-2" ? '1' : ext == "31-32" ? '3' : ext == "both" ? 'b' : 'a';
    busyReg_ = static_cast<int>(cfg.num("ite-busy-reg", -1));
    badBlock_ = cfg.num("ite-bad-block", 0);
    writeFail_ = cfg.num("ite-write-fail", 0);
    refuseFrame_ = cfg.num("ite-refuse-frame", 0);
    busySector_ = cfg.num("ite-busy-sector", -1);
    eraseUs_ = cfg.num("ite-erase-ms", 400) * 1000;
    byteUs_ = cfg.num("ite-byte-us", 1800);
}

void IteModel::configError(JigPort& port) {
    if (configError_.empty()) return;
    port.error("ITE: " + configError_);
    configError_.clear();
}

// Counts the command; false once the jig has gone silent.
bool IteModel::answering() {
    return !faults_.silentAt(++commands_);
}

// ---------------------------------------------------------------- set-up mode

size_t IteModel::enterSetup(AppFirmware& fw, JigPort& port) {
    configError(port);
    if (!answering()) return 1;
    frames.clear();
    setupDone = false;
    attached_ = false;
    frameNo_ = 0;
    ++setups;
    port.send(uint8_t{'*'});
    fw.beginModal([this, &fw](const uint8_t* d, size_t n, JigPort& p) { return setupFrame(fw, d, n, p); });
    return 1;
}

// Three bytes a frame: two code letters and a contact number; "QQQ" ends the
// set-up. A refused frame ('-') leaves the jig in its set-up mode: the next
// three bytes are taken as a frame again, whatever they are.
size_t IteModel::setupFrame(AppFirmware& fw, const uint8_t* d, size_t n, JigPort& port) {
    if (n < 3) return 0;
    ++frameNo_;
    const std::string code{static_cast<char>(d[0]), static_cast<char>(d[1])};
    const bool end = code == "QQ" && d[2] == 'Q';
    const bool good = frameNo_ != refuseFrame_ && (end || (knownCode(code) && d[2] >= 1 && d[2] <= 32));
    if (!good) {
        port.send(uint8_t{'-'});
        return 3;
    }
    if (end) {
        fw.endModal();
        setupDone = true;
    } else {
        frames[code] = d[2];
    }
    port.send(uint8_t{'+'});
    return 3;
}

// The target answers when every bus signal reaches it: a complete assignment
// that matches the wiring (ite-board) or the fitted, powered external board.
bool IteModel::reachable() const {
    if (!present || !setupDone) return false;
    const bool external = frames.count("PW") != 0 || frames.count("RS") != 0;
    std::map<std::string, int> want;
    if (external) {
        if ((ext_ != '1' && ext_ != '3') || !rail1 || !rail2) return false;
        want = externalAssignment(ext_ == '3');
    } else if (!board_.empty()) {
        want = board_;
    } else {
        for (const Signal& s : kSignals)
            if (frames.count(s.code) == 0) return false;
        return frames.size() == 15;
    }
    return frames == want;
}

// ---------------------------------------------------------------- registers and the gateway

bool IteModel::gatewayAddressed(uint8_t low) const {
    return gatewayStage_ == 2 && regs_[0x07] == 0x7F && regs_[0x06] == 0xFF && regs_[0x04] == 0xFF &&
           regs_[0x05] == low;
}

int64_t IteModel::busyLeftUs(JigPort& port) const { return std::max<int64_t>(0, busyUntilUs_ - port.nowUs()); }

uint8_t IteModel::spiStatus(JigPort& port) const {
    return static_cast<uint8_t>(0xFC | (wel_ ? 2 : 0) | (busyLeftUs(port) > 0 || sectorStuckBusy_ ? 1 : 0));
}

void IteModel::spiShift(uint8_t b) {
    spi_.push_back(b);
    if (spi_.size() == 5 && spi_[0] == 0x0B) readPtr_ = static_cast<uint32_t>(spi_[1] << 16 | spi_[2] << 8 | spi_[3]);
}

uint8_t IteModel::spiIn(JigPort& port) {
    if (spi_.empty()) return 0xFF;
    if (spi_[0] == 0x05) {
        ++statusReads;
        return spiStatus(port);
    }
    if (spi_[0] == 0x0B && spi_.size() >= 5) return flash[readPtr_++ % flash.size()];
    return 0xFF;
}

// Chip select ends: the flash carries out the command it was given.
void IteModel::spiEnd(JigPort& port) {
    const std::vector<uint8_t> c = std::move(spi_);
    spi_.clear();
    if (c.empty()) return;
    const bool busy = busyLeftUs(port) > 0;
    if (c[0] != 0x05) sectorStuckBusy_ = false;
    if (c[0] == 0x06 && c.size() == 1 && !busy) {
        wel_ = true;
    } else if (c[0] == 0xD7 && c.size() == 4 && wel_ && !busy) {
        const uint32_t a = static_cast<uint32_t>(c[1] << 16 | c[2] << 8 | c[3]) % flash.size();
        const uint32_t from = a - a % kSector;
        nor_.erase(from, kSector);
        wel_ = false;
        sectorStuckBusy_ = busySector_ >= 0 && static_cast<uint32_t>(busySector_) / kSector == from / kSector;
    } else if ((c[0] == 0x60 || c[0] == 0xC7) && c.size() == 1 && wel_ && !busy) {
        nor_.erase(0, static_cast<uint32_t>(flash.size()));
        wel_ = false;
        busyUntilUs_ = port.nowUs() + eraseUs_;
        chipUs += eraseUs_;
    }
    // Anything else (a chip erase while busy or without write enable) is ignored, as a flash does.
}

void IteModel::writeRegister(uint8_t reg, uint8_t v, bool lone, JigPort& port) {
    if (id == kId8580 && lone && reg == 0x04) {
        // The 8580's erase: two coded writes, the second starts the erase.
        if (v == 0xB0 && regs_[0x05] == 0x0A && regs_[0x06] == 0x01 && regs_[0x04] == 0xAA) {
            unlocked8580_ = true;
        } else if (v == 0x10 && unlocked8580_ && regs_[0x05] == 0x0B && regs_[0x04] == 0xBB &&
                   regs_[0x61] == 0x01) {
            nor_.erase(0, static_cast<uint32_t>(flash.size()));
            busyUntilUs_ = port.nowUs() + eraseUs_;
            chipUs += eraseUs_;
            eraseStatus8580_ = true;
            unlocked8580_ = false;
        }
    }
    if (reg <= 0x02) return;  // identification: read only
    regs_[reg] = v;
    if (reg == 0x27) gatewayStage_ = v == 0x01 ? 1 : (v == 0x80 && gatewayStage_ == 1) ? 2 : 0;
    if (reg == 0x08 && id != kId8580) {
        if (gatewayAddressed(0xFD)) spiShift(v);
        else if (gatewayAddressed(0xFE)) spiEnd(port);
        else port.error("ITE: gateway data written with the gateway closed or at another address");
    }
}

uint8_t IteModel::readRegister(JigPort& port) {
    switch (sel_) {
    case 0x00: return static_cast<uint8_t>(id >> 8);
    case 0x01: return static_cast<uint8_t>(id);
    case 0x02: return rev_;
    default: break;
    }
    if (id == kId8580 && eraseStatus8580_) return busyLeftUs(port) > 0 ? 0x00 : kPageOk;
    if (sel_ == 0x08 && id != kId8580 && gatewayAddressed(0xFD)) return spiIn(port);
    return regs_[sel_];
}

// ---------------------------------------------------------------- commands

// Each command once: its byte, how many bytes it takes (0: the register
// batch, whose third byte says) and what the jig does with it.
const std::vector<IteModel::Command>& IteModel::commandTable() {
    static const std::vector<Command> table = {
        {'3', 1, &IteModel::senseExternal}, {'1', 1, &IteModel::railOn},          {'2', 1, &IteModel::railOn},
        {'0', 1, &IteModel::railsOff},      {'T', 1, &IteModel::attach},          {'A', 2, &IteModel::address},
        {'W', 2, &IteModel::registerWrite}, {'R', 1, &IteModel::registerRead},    {'r', 1, &IteModel::fetch},
        {'8', 0, &IteModel::batch},         {'Y', 4, &IteModel::writeStart},      {'w', 1 + kChunk, &IteModel::writeChunk},
        {'9', 1 + kPage, &IteModel::writePage},
    };
    return table;
}

size_t IteModel::command(const uint8_t* d, size_t n, JigPort& port) {
    configError(port);
    const auto& table = commandTable();
    const auto it = std::find_if(table.begin(), table.end(), [&](const Command& c) { return c.code == d[0]; });
    size_t need = it == table.end() ? 1 : it->need;
    if (need == 0) need = n >= 3 ? std::max<size_t>(d[2], 3) : 3;
    if (n < need) return 0;
    if (!answering()) return need;
    if (it == table.end()) port.error("ITE: unexpected command");
    else (this->*(it->run))(d, need, port);
    return need;
}

// The jig reads its two sense inputs one after the other; pulled up, a grounded pair reads 0.
void IteModel::senseExternal(const uint8_t*, size_t, JigPort& port) {
    const uint8_t b0 = (ext_ == '1' || ext_ == 'b') ? 0xBF : 0xFF;
    const uint8_t b1 = (ext_ == '3' || ext_ == 'b') ? 0xFD : 0xFF;
    port.send(b0);
    port.send(b1, 200);
}

void IteModel::railOn(const uint8_t* d, size_t, JigPort& port) {
    (d[0] == '1' ? rail1 : rail2) = true;
    port.send(kOk);
}

void IteModel::railsOff(const uint8_t*, size_t, JigPort& port) {
    rail1 = rail2 = false;
    attached_ = false;  // the target loses its supply
    port.send(kOk);
}

void IteModel::attach(const uint8_t*, size_t, JigPort& port) {
    attached_ = reachable();
    port.send(attached_ ? kOk : kBusy);
}

void IteModel::address(const uint8_t* d, size_t, JigPort& port) {
    afterAddress_ = true;
    if (!live() || d[1] == busyReg_) {
        port.send(kBusy);
        return;
    }
    sel_ = d[1];
    if (id == kId8580) eraseStatus8580_ = false;
    port.send(kOk);
}

void IteModel::registerWrite(const uint8_t* d, size_t, JigPort& port) {
    const bool lone = !afterAddress_;
    afterAddress_ = false;
    if (!live()) {
        port.send(kBusy);
        return;
    }
    writeRegister(sel_, d[1], lone, port);
    port.send(kOk);
}

void IteModel::registerRead(const uint8_t*, size_t, JigPort& port) {
    afterAddress_ = false;
    port.send(live() ? readRegister(port) : uint8_t{0xFF});
}

// The jig programs from address 0 through the gateway; it starts once the
// flash is no longer busy erasing.
void IteModel::writeStart(const uint8_t* d, size_t, JigPort& port) {
    writing_ = live() && gatewayStage_ == 2;
    writePtr_ = static_cast<uint32_t>(d[1] << 16 | d[2] << 8 | d[3]);
    port.send(writing_ ? kOk : kBusy, busyLeftUs(port));
}

void IteModel::writeChunk(const uint8_t* d, size_t, JigPort& port) {
    if (!writing_) {
        port.error("ITE: a write chunk without a write start");
        port.send(kBusy);
        return;
    }
    ++writes_;
    const bool refused = !live() || writes_ == writeFail_;
    // The jig skips erased bytes: the time follows the image's content.
    const int64_t t = byteUs_ * std::count_if(d + 1, d + 1 + kChunk, [](uint8_t b) { return b != 0xFF; });
    if (!refused) nor_.program(writePtr_, d + 1, kChunk);
    writePtr_ += kChunk;
    chipUs += t;
    port.send(refused ? kBusy : kOk, busyLeftUs(port) + t);
}

// The 8580's page, to the address its last register batch set.
void IteModel::writePage(const uint8_t* d, size_t, JigPort& port) {
    ++writes_;
    const bool ready = live() && id == kId8580 && writeMode8580_ && regs_[0x61] == 0x01;
    const bool refused = !ready || writes_ == writeFail_;
    const int64_t t = byteUs_ * std::count_if(d + 1, d + 1 + kPage, [](uint8_t b) { return b != 0xFF; });
    if (!refused) nor_.program(pageAddr_, d + 1, kPage);
    chipUs += t;
    port.send(refused ? uint8_t{0x00} : kPageOk, t);
}

void IteModel::fetch(const uint8_t*, size_t, JigPort& port) {
    ++fetches_;
    std::vector<uint8_t> out(kBlock + 1, 0xFF);
    bool good = live() && fetches_ != badBlock_;
    if (live() && id == kId8580) {
        if (pendingBlock_ < 0 || regs_[0x61] != 0x01) {
            port.error("ITE: an 8580 block fetch without its block address");
            good = false;
        } else {
            const size_t at = static_cast<size_t>(pendingBlock_) * kBlock % flash.size();
            std::copy_n(flash.begin() + static_cast<long>(at), kBlock, out.begin());
        }
        pendingBlock_ = -1;
    } else if (live()) {
        if (spi_.empty() || spi_[0] != 0x0B || spi_.size() < 5 || !gatewayAddressed(0xFD)) {
            port.error("ITE: a block fetch with no fast read in progress");
            good = false;
        } else {
            for (size_t i = 0; i < kBlock; ++i) out[i] = spiIn(port);
        }
    }
    out[kBlock] = good ? kOk : kBusy;
    if (faults_.overlongAt(fetches_)) out.push_back(kOk);
    chipUs += faults_.blockUs();
    port.send(out.data(), out.size(), faults_.blockUs());
}

// '8', kind, length, register-value pairs, terminator (kind 3: 0x09, kind 1: 0x0A, kind 2: none).
void IteModel::batch(const uint8_t* d, size_t len, JigPort& port) {
    const uint8_t kind = d[1];
    const int terminator = kind == 3 ? 0x09 : kind == 1 ? 0x0A : kind == 2 ? -1 : -2;
    const size_t pairsEnd = terminator >= 0 ? len - 1 : len;
    if (terminator == -2 || len < 3 || (pairsEnd - 3) % 2 != 0 || (terminator >= 0 && d[len - 1] != terminator)) {
        port.error("ITE: malformed register batch");
        port.send(kBusy);
        return;
    }
    bool ok = live();
    for (size_t i = 3; ok && i + 1 < pairsEnd; i += 2) {
        if (d[i] == busyReg_) {
            ok = false;
            break;
        }
        sel_ = d[i];
        writeRegister(d[i], d[i + 1], false, port);
    }
    afterAddress_ = false;
    if (ok && kind == 3) pendingBlock_ = regs_[0x06] << 8 | regs_[0x05];
    if (ok && kind == 2) writeMode8580_ = regs_[0x3D] == 0x01;
    if (ok && kind == 1) pageAddr_ = static_cast<uint32_t>(regs_[0x06] << 16 | regs_[0x05] << 8 | regs_[0x04]);
    port.send(ok ? kOk : kBusy);
}

void registerIteCommands(AppFirmware& fw) {
    AppFirmware* f = &fw;
    auto ite = [](JigPort& p) -> IteModel& { return p.board().model<IteModel>(); };
    fw.on('S', [f, ite](const uint8_t*, size_t, JigPort& p) { return ite(p).enterSetup(*f, p); });
    for (const uint8_t c : IteModel::commandCodes())
        fw.on(c, [ite](const uint8_t* d, size_t n, JigPort& p) { return ite(p).command(d, n, p); });
}

std::vector<uint8_t> IteModel::commandCodes() {
    std::vector<uint8_t> codes;
    for (const Command& c : commandTable()) codes.push_back(c.code);
    return codes;
}

std::vector<KeySpec> iteKeys() {
    constexpr int64_t kMany = 1'000'000'000;
    constexpr int64_t kLastAddress = kLargestFlash - 1;
    return TargetFaults::keys(kFaults, {
        KeySpec::choice("ite", "present|absent"),
        KeySpec::hex("ite-id", 4),
        KeySpec::number("ite-rev", 0, 255),
        KeySpec::text("ite-board",
                      [](const std::string& v) {
                          std::string why;
                          try {
                              assignmentOf(unescape(v), false, why);
                          } catch (const std::exception& e) {
                              why = e.what();
                          }
                          return why;
                      }),
        KeySpec::flag("ite-reversed"),
        KeySpec::choice("ite-ext", "absent|1-2|31-32|both"),
        KeySpec::inFile("ite-flash"),
        KeySpec::outFile("ite-flash-out"),
        KeySpec::number("ite-busy-reg", 0, 255),
        KeySpec::number("ite-bad-block", 1, kMany),
        KeySpec::number("ite-write-fail", 1, kMany),
        KeySpec::number("ite-refuse-frame", 1, 16),
        KeySpec::number("ite-busy-sector", 0, kLastAddress),
        KeySpec::number("ite-erase-ms", 0, 600'000),
        KeySpec::number("ite-byte-us", 0, 1'000'000),
    });
}

}  // namespace qj::sim
