#include "jig/JigLink.h"

#include <algorithm>

#include "jig/ModeView.h"
#include "jig/Text.h"

namespace qj {

OpenOptions OpenOptions::mainWindowOptions(const std::string& policy) {
    OpenOptions o;
    o.mainWindow = true;
    o.closeAfterIdentify = (policy == "CLOSE FTDI Handle");
    o.latency = Latency::AfterAnyAnswer;
    o.noAnswerLine = "NOT ANSWER ";
    return o;
}

OpenOptions OpenOptions::modeWindow(std::vector<std::string> accepted) {
    OpenOptions o;
    o.accepted = std::move(accepted);
    return o;
}

JigLink::~JigLink() { close(); }

OpenResult JigLink::open(const OpenOptions& opt, const Sink& sink) {
    return openWith(opt, [&](const std::string&, const std::string& en) {
        if (sink) sink(en);
    });
}

OpenResult JigLink::open(const OpenOptions& opt, ModeView& view) {
    return openWith(opt, [&](const std::string& ru, const std::string& en) {
        if (opt.bothMemos) view.log2(ru, en);
        else view.log(en);
    });
}

namespace {
const char* const kNoDevice = "FTDI device not found";
const char* const kNoAnswer = "FTDI found, ERROR answer";
}  // namespace

// The lines of open-and-identify: every line the options let through, and
// the main window's step-by-step trace.
struct JigLink::Lines {
    const OpenOptions& opt;
    const Emit& emit;
    void log(const std::string& s) const {
        if (opt.logLines) emit(s, s);
    }
    void trace(const std::string& s) const {
        if (opt.mainWindow) log(s);
    }
    void traceStatus(FT_STATUS st, const char* what) const {
        trace(st == FT_OK ? std::string(what) + " OK" : std::string("Error ") + what);
    }
};

void JigLink::setIdentified(Identified i, const std::string& answer) {
    identified_ = i;
    ident_ = i == Identified::NoDevice ? kNoDevice : i == Identified::NoAnswer ? kNoAnswer : answer;
}

OpenResult JigLink::openWith(const OpenOptions& opt, const Emit& emit) {
    const Lines out{opt, emit};
    close();
    if (opt.mainWindow) setIdentified(Identified::NoDevice);
    uint32_t n = 0;
    if (!listDevices(out, n)) return OpenResult::NoJig;
    if (opt.mainWindow) setIdentified(Identified::NoAnswer);

    FT_HANDLE kept = nullptr;  // keep-open policy: the last silent device opened
    uint32_t keptIndex = 0;
    for (; n != 0; --n) {
        const uint32_t index = n - 1;
        FT_HANDLE h = openAndSetUp(index, out);
        if (!h) continue;
        uint8_t buf[32];
        const uint32_t got = askIdentification(h, buf, sizeof buf, out);
        if (got == 0) {
            if (opt.mainWindow && !opt.closeAfterIdentify) {
                // Only the last silent device stays open for the upgrade thread;
                // the earlier ones are closed rather than leaked.
                if (kept) api_->Close(kept);
                kept = h;
                keptIndex = index;
            } else {
                api_->Close(h);
            }
            continue;
        }
        if (kept) api_->Close(kept);
        setIdentified(Identified::Answered, printable(buf, got));
        index_ = index;
        return opt.mainWindow ? keepForMainWindow(h, out) : acceptOrRefuse(h, out);
    }
    out.log(opt.noAnswerLine);
    handle_ = kept;
    index_ = keptIndex;
    return OpenResult::NoJig;
}

bool JigLink::listDevices(const Lines& out, uint32_t& n) {
    const bool main = out.opt.mainWindow;
    if (api_->CreateDeviceInfoList(n) != FT_OK) {
        out.log(main ? "Error FT_CreateDeviceInfoList" : "I can not get a list of VCOM ports");
        return false;
    }
    numDevs_ = n;
    if (n == 0) {
        out.log(main ? "Error numDevs = 0" : "VCOM port is not found on the machine!");
        return false;
    }
    if (out.opt.countLine) out.log("Number of VCOM ports found on the machine: " + std::to_string(n));
    return true;
}

FT_HANDLE JigLink::openAndSetUp(uint32_t index, const Lines& out) {
    out.trace("Open  numDevs -> " + std::to_string(index + 1));
    FT_HANDLE h = nullptr;
    if (api_->Open(index, h) != FT_OK) {
        out.trace("ERROR FT_Open");
        return nullptr;
    }
    out.trace("FT_Open OK");
    if (out.opt.mainWindow) {
        uint32_t v = 0;
        if (api_->GetDriverVersion(h, v) == FT_OK) out.trace("FT_GetDriverVersion OK    (" + std::to_string(v) + ")");
        else out.trace("Error FT_GetDriverVersion");
    }
    out.traceStatus(api_->ResetDevice(h), "FT_ResetDevice");
    out.traceStatus(api_->SetBaudRate(h, 921600), "FT_SetBaudRate");
    out.traceStatus(api_->SetDataCharacteristics(h, 8, 0, 0), "FT_SetDataCharacteristics");
    if (out.opt.latency == OpenOptions::Latency::BeforeTimeouts) api_->SetLatencyTimer(h, 2);
    out.traceStatus(api_->SetTimeouts(h, out.opt.timeoutMs, out.opt.timeoutMs), "FT_SetTimeouts");
    return h;
}

uint32_t JigLink::askIdentification(FT_HANDLE h, uint8_t* buf, uint32_t size, const Lines& out) {
    const uint8_t req = 'B';
    uint32_t w = 0;
    api_->Write(h, &req, 1, w);
    uint32_t got = 0;
    api_->Read(h, buf, size, got);
    lastCount_ = got;
    out.trace("Read answer version bytes -> " + std::to_string(got));
    return got;
}

// The main window takes any answer; it closes the device or keeps it for the upgrade.
OpenResult JigLink::keepForMainWindow(FT_HANDLE h, const Lines& out) {
    out.trace(ident_);
    out.traceStatus(api_->SetLatencyTimer(h, 2), "FT_SetLatencyTimer");
    if (out.opt.closeAfterIdentify) api_->Close(h);
    else handle_ = h;
    return OpenResult::Ready;
}

// A mode window takes the firmwares it accepts and closes the device otherwise.
OpenResult JigLink::acceptOrRefuse(FT_HANDLE h, const Lines& out) {
    const OpenOptions& opt = out.opt;
    if (!opt.versionPrefix.empty() && opt.logLines)
        out.emit((opt.versionPrefixRu.empty() ? opt.versionPrefix : opt.versionPrefixRu) + ident_,
                 opt.versionPrefix + ident_);
    if (opt.latency == OpenOptions::Latency::AfterAnyAnswer) api_->SetLatencyTimer(h, 2);
    const bool ok = opt.accepted.empty() || std::any_of(opt.accepted.begin(), opt.accepted.end(),
                                                        [&](const std::string& a) { return contains(ident_, a); });
    if (!ok) {
        out.log("It is necessary to update the firmware programmer!");
        api_->Close(h);
        return OpenResult::WrongFirmware;
    }
    if (!opt.installedLine.empty()) out.log(opt.installedLine);
    if (opt.latency == OpenOptions::Latency::AfterAcceptance) api_->SetLatencyTimer(h, 2);
    handle_ = h;
    eventChar(opt.eventChar);
    return OpenResult::Ready;
}

void JigLink::close() {
    // The chip keeps its event character across handles: the next program
    // (or operation) must not find one it did not ask for.
    eventChar(std::nullopt);
    if (handle_) api_->Close(handle_);
    handle_ = nullptr;
    eventChar_.reset();
    noEventChar_ = false;
}

void JigLink::eventChar(std::optional<uint8_t> ch) {
    if (!handle_ || noEventChar_ || ch == eventChar_) return;
    const FT_STATUS st = api_->SetChars(handle_, ch.value_or(0), ch ? 1 : 0, 0, 0);
    // A call that failed may still have reached the chip: a character that
    // might be on counts as on, so that close() turns it off again.
    if (st == FT_NOT_SUPPORTED) noEventChar_ = true;
    else if (st == FT_OK || ch) eventChar_ = ch;
}

FT_STATUS JigLink::write(const uint8_t* p, uint32_t n) {
    if (!handle_) return FT_INVALID_HANDLE;
    return api_->Write(handle_, p, n, lastCount_);
}

FT_STATUS JigLink::write(std::initializer_list<uint8_t> bytes) {
    return write(bytes.begin(), static_cast<uint32_t>(bytes.size()));
}

FT_STATUS JigLink::read(uint8_t* p, uint32_t n, uint32_t& got) {
    got = 0;
    if (!handle_) return FT_INVALID_HANDLE;
    FT_STATUS st = api_->Read(handle_, p, n, got);
    lastCount_ = got;
    return st;
}

FT_STATUS JigLink::status(uint32_t& rx, uint32_t& tx) {
    if (!handle_) return FT_INVALID_HANDLE;
    FT_STATUS st = api_->GetStatus(handle_, rx_, tx_, event_);
    rx = rx_;
    tx = tx_;
    return st;
}

FT_STATUS JigLink::purge() {
    if (!handle_) return FT_INVALID_HANDLE;
    // Purging the transmit queue drops whatever has not left yet: a command
    // written just before must reach the jig first.
    drainTransmit();
    return api_->Purge(handle_, FT_PURGE_RX | FT_PURGE_TX);
}

FT_STATUS JigLink::purgeReceive() {
    if (!handle_) return FT_INVALID_HANDLE;
    return api_->Purge(handle_, FT_PURGE_RX);
}

FT_STATUS JigLink::setBaud(uint32_t baud) {
    if (!handle_) return FT_INVALID_HANDLE;
    return api_->SetBaudRate(handle_, baud);
}

FT_STATUS JigLink::setTimeouts(uint32_t readMs, uint32_t writeMs) {
    if (!handle_) return FT_INVALID_HANDLE;
    return api_->SetTimeouts(handle_, readMs, writeMs);
}

Xfer JigLink::awaitByte(uint8_t& answer, uint32_t deadlineMs) {
    if (!handle_) return Xfer::Failed;
    Clock& c = api_->clock();
    const int64_t end = c.nowMs() + deadlineMs;
    for (;;) {
        // Wait first, so a read time-out longer than the deadline cannot stretch it.
        const int64_t left = end - c.nowMs();
        if (api_->WaitQueues(handle_, 1, false, static_cast<uint32_t>(std::max<int64_t>(left, 0))) != FT_OK)
            return Xfer::Failed;
        uint32_t got = 0;
        uint32_t rx = 0, tx = 0;
        if (status(rx, tx) != FT_OK) return Xfer::Failed;
        if (rx > 0) {
            if (read(&answer, 1, got) != FT_OK) return Xfer::Failed;
            if (got == 1) return Xfer::Ok;
        }
        if (c.nowMs() >= end) return Xfer::Timeout;
    }
}

Xfer JigLink::sendAwaitByte(std::initializer_list<uint8_t> cmd, uint8_t& answer, uint32_t deadlineMs) {
    if (write(cmd) != FT_OK) return Xfer::Failed;
    return awaitByte(answer, deadlineMs);
}

Xfer JigLink::awaitCount(uint32_t count, bool exact, std::vector<uint8_t>& answer, uint32_t deadlineMs) {
    answer.clear();
    if (!handle_) return Xfer::Failed;
    const int64_t end = api_->clock().nowMs() + deadlineMs;
    for (;;) {
        uint32_t rx = 0, tx = 0;
        if (status(rx, tx) != FT_OK) return Xfer::Failed;
        if (rx >= count) {
            if (exact && rx > count) return Xfer::Overflow;
            answer.resize(rx);
            uint32_t got = 0;
            if (read(answer.data(), rx, got) != FT_OK) return Xfer::Failed;
            answer.resize(got);
            return got >= count ? Xfer::Ok : Xfer::Failed;
        }
        if (const Xfer w = waitUntil(end, count, false); w != Xfer::Ok) return w;
    }
}

Xfer JigLink::sendAwaitCount(const std::vector<uint8_t>& cmd, uint32_t count, bool exact,
                             std::vector<uint8_t>& answer, uint32_t deadlineMs) {
    if (!cmd.empty() && write(cmd) != FT_OK) return Xfer::Failed;
    return awaitCount(count, exact, answer, deadlineMs);
}

Xfer JigLink::collect(uint32_t count, std::vector<uint8_t>& answer, uint32_t deadlineMs) {
    answer.clear();
    if (!handle_) return Xfer::Failed;
    const int64_t end = api_->clock().nowMs() + deadlineMs;
    while (answer.size() < count) {
        uint32_t rx = 0, tx = 0;
        if (status(rx, tx) != FT_OK) return Xfer::Failed;
        if (rx > 0) {
            const uint32_t want = std::min<uint32_t>(rx, count - static_cast<uint32_t>(answer.size()));
            const size_t at = answer.size();
            answer.resize(at + want);
            uint32_t got = 0;
            if (read(answer.data() + at, want, got) != FT_OK) return Xfer::Failed;
            answer.resize(at + got);
            continue;
        }
        if (const Xfer w = waitUntil(end, 1, false); w != Xfer::Ok) return w;
    }
    return Xfer::Ok;
}

Xfer JigLink::sendAwaitXonLine(const std::vector<uint8_t>& cmd, std::vector<uint8_t>& answer, uint32_t deadlineMs,
                               size_t maxLen) {
    answer.clear();
    if (!cmd.empty() && write(cmd) != FT_OK) return Xfer::Failed;
    const int64_t end = api_->clock().nowMs() + deadlineMs;
    for (;;) {
        uint32_t rx = 0, tx = 0;
        if (status(rx, tx) != FT_OK) return Xfer::Failed;
        if (rx > 0) {
            const size_t at = answer.size();
            answer.resize(at + rx);
            uint32_t got = 0;
            if (read(answer.data() + at, rx, got) != FT_OK) return Xfer::Failed;
            answer.resize(at + got);
            if (!answer.empty() && answer.back() == 0x11) {
                answer.pop_back();
                return Xfer::Ok;
            }
            if (answer.size() > maxLen) return Xfer::Overflow;
            continue;
        }
        if (const Xfer w = waitUntil(end, 1, false); w != Xfer::Ok) return w;
    }
}

Xfer JigLink::drainTransmit(uint32_t deadlineMs) {
    if (!handle_) return Xfer::Failed;
    const int64_t end = api_->clock().nowMs() + deadlineMs;
    for (;;) {
        uint32_t rx = 0, tx = 0;
        if (status(rx, tx) != FT_OK) return Xfer::Failed;
        if (tx == 0) return Xfer::Ok;
        if (const Xfer w = waitUntil(end, 0, true); w != Xfer::Ok) return w;
    }
}

void JigLink::settle(uint32_t quietMs, uint32_t maxMs) {
    if (!handle_) return;
    Clock& c = api_->clock();
    const int64_t end = c.nowMs() + maxMs;
    // Only what came in is dropped: the command just sent (a stop, a break)
    // may still be on its way and must arrive.
    do {
        purgeReceive();
        if (api_->WaitQueues(handle_, 1, false, quietMs) != FT_OK) return;
        uint32_t rx = 0, tx = 0;
        if (status(rx, tx) != FT_OK || rx == 0) return;
    } while (c.nowMs() < end);
    purgeReceive();
}

Xfer JigLink::waitUntil(int64_t end, uint32_t rxAtLeast, bool txEmpty) {
    const int64_t left = end - api_->clock().nowMs();
    if (left <= 0) return Xfer::Timeout;
    return api_->WaitQueues(handle_, rxAtLeast, txEmpty, static_cast<uint32_t>(left)) == FT_OK ? Xfer::Ok
                                                                                                  : Xfer::Failed;
}

bool JigLink::readByteRetrying(int tries, uint8_t& b) {
    for (int i = 0; i < tries; ++i) {
        uint32_t got = 0;
        if (read(&b, 1, got) != FT_OK) return false;
        if (got == 1) return true;
    }
    return false;
}

}  // namespace qj
