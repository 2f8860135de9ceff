#include "sim/SimFtdi.h"

#include <algorithm>
#include <utility>
#include <chrono>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "sim/Bootloaders.h"
#include "sim/SimKeys.h"

namespace qj::sim {

namespace {
constexpr int64_t kNever = std::numeric_limits<int64_t>::max() / 4;
// A status query costs this much virtual time, so that even a poll loop
// without a wait moves the instant clock towards its deadline. Ideal mode
// charges next to nothing: its clock is the bound of a host that costs nothing.
constexpr int64_t kStatusCostUs = 100;
constexpr int64_t kIdealStatusCostUs = 1;

// USB full speed: frames of 1 ms; a bulk packet of the bridge chip carries two
// status bytes and up to 62 data bytes.
constexpr int64_t kFrameUs = 1000;
constexpr size_t kPacketData = 62;

// Line time of `bytes` bytes (10 bits each), rounded up once per burst rather
// than per byte: a byte at 921600 baud is 10.85 µs, not 11.
int64_t lineUs(bool timed, uint32_t baud, int64_t bytes) {
    if (!timed || baud == 0) return 0;
    return (bytes * 10'000'000 + baud - 1) / baud;
}

// The jig's answers come at times it computes; the kernel's default timer
// slack (50 µs) on each of them would be charged to the host being measured.
// While the virtual jig waits for its own next byte, it asks for precise timers.
class PreciseTimers {
public:
#ifdef __linux__
    PreciseTimers() : old_(::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0)) { ::prctl(PR_SET_TIMERSLACK, 1, 0, 0, 0); }
    ~PreciseTimers() {
        if (old_ > 0) ::prctl(PR_SET_TIMERSLACK, old_, 0, 0, 0);
    }

private:
    int old_;
#else
    PreciseTimers() {}
#endif
};

int64_t steadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

SimClock::SimClock(bool instant) : instant_(instant), origin_(steadyUs()) {}

int64_t SimClock::nowUs() { return instant_ ? virt_.load() : steadyUs() - origin_; }

void SimClock::advanceTo(int64_t us) {
    int64_t cur = virt_.load();
    while (us > cur && !virt_.compare_exchange_weak(cur, us)) {
    }
}

void SimClock::sleepMs(int64_t ms) {
    if (ms <= 0) return;
    if (instant_) advanceTo(nowUs() + ms * 1000);
    else std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The firmware's view of its device.
class SimFtdi::Port final : public JigPort {
public:
    Port(SimFtdi& s, SimDevice& d) : s_(s), d_(d) {}
    void send(const uint8_t* data, size_t n, int64_t delayUs) override {
        const int64_t start = std::max(d_.inputTime + delayUs + s_.latencyUs_, d_.rxLineFreeAt);
        int64_t t = start;
        for (size_t i = 0; i < n; ++i) {
            t = start + lineUs(s_.timed_, d_.baud, static_cast<int64_t>(i) + 1);
            s_.toHost(d_, data[i], t);
            d_.jigSent.push_back(data[i]);
        }
        d_.rxLineFreeAt = t;
        s_.cv_.notify_all();
    }
    int64_t nowUs() override { return d_.inputTime; }
    JigBoard& board() override { return *s_.board_; }
    void switchTo(std::unique_ptr<JigFirmware> next) override { d_.pendingFw = std::move(next); }
    void error(const std::string& msg) override {
        d_.errors.push_back(msg);
        std::fprintf(stderr, "virtual jig: %s\n", msg.c_str());
    }

private:
    SimFtdi& s_;
    SimDevice& d_;
};

SimFtdi::SimFtdi(const SimConfig& cfg)
    : cfg_(cfg), clock_(cfg.str("mode", "paced") != "paced"), board_(std::make_unique<JigBoard>(cfg)) {
    const std::string mode = cfg.str("mode", "paced");
    if (mode != "instant" && mode != "paced" && mode != "ideal")
        throw std::invalid_argument("virtual-jig mode must be instant, paced or ideal");
    timed_ = mode != "instant";
    usb_ = cfg.str("usb", "off") == "ft232r";
    lockedLatencyMs_ = static_cast<uint8_t>(cfg.num("usb-latency-ms", 0));
    charsSettable_ = cfg.str("usb-chars", "on") == "on";
    const int64_t n = cfg.num("devices", 1);
    if (n < 0 || n > 16) throw std::invalid_argument("virtual-jig devices must be 0 to 16");
    jigIndex_ = static_cast<int>(cfg.num("jig-index", 0));
    driverVersion_ = static_cast<uint32_t>(cfg.num("driver", 0x00021224));
    latencyUs_ = cfg.num("latency-us", 0);
    const std::string jig = cfg.str("jig", "ENE_EDID_KB");
    const std::string ident = cfg.has("ident") ? unescape(cfg.str("ident")) : jig;
    // "serials=A;B;...": the devices' serial numbers in list order (the rest
    // keep QJ00000K), so a bench with two bridges of the same serial can be set up.
    std::vector<std::string> serials;
    if (cfg.has("serials")) {
        std::string cur;
        for (char c : cfg.str("serials") + ";") {
            if (c != ';') cur += c;
            else serials.push_back(std::exchange(cur, {}));
        }
    }
    for (int64_t i = 0; i < n; ++i) {
        auto d = std::make_unique<SimDevice>();
        d->index = static_cast<uint32_t>(i);
        char serial[16];
        std::snprintf(serial, sizeof serial, "QJ%06d", static_cast<int>(i + 1));
        d->info.serial = size_t(i) < serials.size() ? serials[size_t(i)] : serial;
        d->info.location = "sim:" + std::to_string(i);
        d->isJig = (i == jigIndex_) && jig != "none";
        if (d->isJig) {
            d->info.description = "Quillmore JIG";
            // "wedged=1": the jig answers nothing until its reset button starts the bootloader.
            d->fw = cfg.flag("wedged") ? makeWedgedFirmware(ident) : makeApplicationFirmware(ident);
            if (cfg.has("reset-after")) {  // the user presses the reset button at this time (ms)
                SimDevice* dp = d.get();
                d->events.emplace(cfg.num("reset-after", 0) * 1000, [this, dp] {
                    Port port(*this, *dp);
                    dp->inbuf.clear();
                    dp->fw->onReset(port);
                });
            }
            d->unplugAfter = cfg.num("unplug-after", -1);
            d->lineErrorAt = cfg.num("usb-line-error-at", 0);
            if (cfg.has("unplug-at")) {
                SimDevice* dp = d.get();
                d->events.emplace(cfg.num("unplug-at", 0) * 1000, [dp] { dp->unplugged = true; });
            }
        } else {
            d->info.description = "FT232R USB UART";
            d->fw = std::make_unique<SilentFirmware>();
        }
        devices_.push_back(std::move(d));
    }
}

SimFtdi::~SimFtdi() {
    // "stats-out=FILE": what a whole run cost, for tests that drive qjig as a
    // user would and cannot reach the virtual jig inside it.
    const std::string out = cfg_.str("stats-out");
    if (out.empty()) return;
    std::lock_guard<std::recursive_mutex> g(mu_);
    int64_t host = 0, jig = 0;
    size_t errors = 0, eventChars = 0;
    for (auto& d : devices_) {
        host += d->hostBytes;
        jig += static_cast<int64_t>(d->jigSent.size());
        errors += d->errors.size();
        if (d->eventOn && !d->unplugged) ++eventChars;  // left enabled for the next program
    }
    if (std::FILE* f = std::fopen(out.c_str(), "w")) {
        std::fprintf(f,
                     "host-bytes %lld\njig-bytes %lld\nclock-ms %lld\nerrors %zu\nopen-handles %zu\n"
                     "event-chars-left %zu\n",
                     static_cast<long long>(host), static_cast<long long>(jig),
                     static_cast<long long>(clock_.nowUs() / 1000), errors, handles_.size(), eventChars);
        std::fclose(f);
    }
}

int64_t SimFtdi::byteUs(const SimDevice& d) const {
    if (!timed_ || d.baud == 0) return 0;
    return (10'000'000 + d.baud - 1) / d.baud;  // 10 bits a byte
}

int64_t SimFtdi::latencyTimerUs(const SimDevice& d) const {
    return int64_t(lockedLatencyMs_ ? lockedLatencyMs_ : d.latencyMs) * 1000;
}

void SimFtdi::toHost(SimDevice& d, uint8_t b, int64_t lineAt) {
    // A byte heard with a line error is passed on as the error character
    // where the host enabled one (and as it was sent otherwise).
    if (d.errorOn && static_cast<int64_t>(d.jigSent.size()) + 1 == d.lineErrorAt) b = d.errorChar;
    if (!usb_) {
        d.rx.emplace_back(b, lineAt);
        return;
    }
    // The bridge gathers the line's bytes into a packet. A full packet leaves
    // at once, and so does one that the enabled event character has just
    // entered; any other when the latency timer, started by its first byte,
    // runs out. A packet whose time has come is gone, whatever follows.
    if (d.usbPending > 0 && d.usbSendAt <= std::max(lineAt, clock_.nowUs())) {
        d.usbLastAt = d.usbSendAt;
        d.usbPending = 0;
    }
    if (d.usbPending == 0) d.usbSendAt = std::max(lineAt + latencyTimerUs(d), d.usbLastAt);
    d.rx.emplace_back(b, d.usbSendAt);
    const bool event = d.eventOn && b == d.eventChar;
    if (++d.usbPending < kPacketData && !event) return;
    const int64_t at = std::max(lineAt, d.usbLastAt);
    for (size_t k = d.rx.size() - std::min(d.usbPending, d.rx.size()); k < d.rx.size(); ++k) d.rx[k].second = at;
    d.usbLastAt = at;
    d.usbPending = 0;
}

int64_t SimFtdi::batchDue(const SimDevice& d, int64_t seenUs) const {
    // The first byte not seen yet, then the batch it opens: bytes back to back
    // on the line (or in one packet), at most a packet's worth.
    const auto first =
        std::upper_bound(d.rx.begin(), d.rx.end(), seenUs, [](int64_t t, const auto& e) { return t < e.second; });
    if (first == d.rx.end()) return kNever;
    const int64_t gap = 2 * byteUs(d);
    auto last = first;
    for (auto it = first + 1; it != d.rx.end() && size_t(it - first) < kPacketData; ++it) {
        if (it->second - last->second > gap) break;
        last = it;
    }
    return last->second;
}

uint32_t SimFtdi::rxReady(const SimDevice& d, int64_t now) const {
    uint32_t n = 0;
    for (const auto& [b, t] : d.rx) {
        if (t > now) break;
        ++n;
    }
    return n;
}

uint32_t SimFtdi::txPending(const SimDevice& d, int64_t now) const {
    if (usb_) {
        // Through the bridge, a write is pending until its last byte is out
        // (on the instant clock too: it still waits for its frame).
        uint32_t n = 0;
        for (const auto& w : d.held)
            if (w.at > now) n += static_cast<uint32_t>(w.bytes.size());
        return n;
    }
    const int64_t bt = byteUs(d);
    if (bt == 0 || d.txFreeAt <= now) return 0;
    return static_cast<uint32_t>((d.txFreeAt - now + bt - 1) / bt);
}

int64_t SimFtdi::nextEventAt(const SimDevice& d) const {
    const int64_t ev = d.events.empty() ? kNever : d.events.begin()->first;
    return std::min(ev, d.held.empty() ? kNever : d.held.front().at);
}

void SimFtdi::pump(SimDevice& d) {
    const int64_t now = clock_.nowUs();
    for (;;) {
        const int64_t ev = d.events.empty() ? kNever : d.events.begin()->first;
        const int64_t hw = d.held.empty() ? kNever : d.held.front().at;
        if (std::min(ev, hw) > now) return;
        if (hw <= ev) {
            SimDevice::HeldWrite w = std::move(d.held.front());
            d.held.pop_front();
            deliver(d, w.bytes.data(), w.bytes.size(), w.baud, w.frame8N1, w.at);
            continue;
        }
        auto fn = std::move(d.events.begin()->second);
        d.events.erase(d.events.begin());
        d.inputTime = std::max(ev, d.inputTime);
        fn();
        feed(d);
    }
}

void SimFtdi::deliver(SimDevice& d, const uint8_t* p, size_t n, uint32_t baud, bool frame8N1, int64_t at) {
    if (!d.fw || baud != d.fw->baud() || !frame8N1) return;
    d.hostWrites.emplace_back(p, p + n);
    d.inputTime = at;
    d.inbuf.insert(d.inbuf.end(), p, p + n);
    feed(d);
}

// Hands received bytes to the firmware, applying firmware changes as they come.
void SimFtdi::feed(SimDevice& d) {
    Port port(*this, d);
    for (int guard = 0; guard < 1'000'000; ++guard) {
        if (d.pendingFw) {
            d.fw = std::move(d.pendingFw);
        }
        if (d.inbuf.empty()) return;
        size_t used = d.fw->onInput(d.inbuf.data(), d.inbuf.size(), port);
        if (d.pendingFw) {
            d.inbuf.erase(d.inbuf.begin(), d.inbuf.begin() + static_cast<long>(std::min(used, d.inbuf.size())));
            continue;
        }
        if (used == 0) return;
        d.inbuf.erase(d.inbuf.begin(), d.inbuf.begin() + static_cast<long>(std::min(used, d.inbuf.size())));
    }
}

SimDevice* SimFtdi::dev(FT_HANDLE h, FT_STATUS& st) {
    auto it = handles_.find(h);
    if (it == handles_.end()) {
        st = FT_INVALID_HANDLE;
        return nullptr;
    }
    pump(*it->second);
    if (it->second->unplugged) {
        st = FT_IO_ERROR;
        return nullptr;
    }
    st = FT_OK;
    return it->second;
}

FT_STATUS SimFtdi::CreateDeviceInfoList(uint32_t& numDevs) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    numDevs = 0;
    for (auto& d : devices_) {
        pump(*d);
        if (!d->unplugged) ++numDevs;
    }
    listed_ = numDevs;
    return FT_OK;
}

FT_STATUS SimFtdi::GetDeviceInfo(uint32_t index, FtDeviceInfo& info) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    uint32_t k = 0;
    for (auto& d : devices_) {
        if (d->unplugged) continue;
        if (k++ == index) {
            info = d->info;
            return FT_OK;
        }
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS SimFtdi::Open(uint32_t index, FT_HANDLE& handle) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    handle = nullptr;
    uint32_t k = 0;
    for (auto& d : devices_) {
        if (d->unplugged) continue;
        if (k++ != index) continue;
        if (d->open) return FT_DEVICE_NOT_OPENED;
        d->open = true;
        d->baud = 9600;
        d->frame8N1 = true;
        d->readTimeoutMs = d->writeTimeoutMs = 0;
        handle = reinterpret_cast<FT_HANDLE>(nextHandle_++);
        handles_[handle] = d.get();
        return FT_OK;
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS SimFtdi::GetDriverVersion(FT_HANDLE h, uint32_t& version) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    FT_STATUS st;
    if (!dev(h, st)) return st;
    version = driverVersion_;
    return FT_OK;
}

FT_STATUS SimFtdi::ResetDevice(FT_HANDLE h) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    d->rx.clear();
    d->usbPending = 0;
    d->inbuf.clear();
    return FT_OK;
}

FT_STATUS SimFtdi::SetBaudRate(FT_HANDLE h, uint32_t baud) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    if (const FT_STATUS bad = checkBaudRate(baud)) return bad;
    d->baud = baud;
    return FT_OK;
}

FT_STATUS SimFtdi::SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t p) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    if (const FT_STATUS bad = checkDataCharacteristics(w, s, p)) return bad;
    d->frame8N1 = (w == 8 && s == 0 && p == 0);
    return FT_OK;
}

FT_STATUS SimFtdi::SetTimeouts(FT_HANDLE h, uint32_t r, uint32_t w) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    d->readTimeoutMs = r;
    d->writeTimeoutMs = w;
    return FT_OK;
}

FT_STATUS SimFtdi::SetLatencyTimer(FT_HANDLE h, uint8_t ms) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    if (const FT_STATUS bad = checkLatencyTimer(ms)) return bad;
    // A fixed timer, as on a tty: kept when it is no longer than asked (the
    // udev rule's), refused otherwise (one that only root may set).
    if (lockedLatencyMs_) return ms >= lockedLatencyMs_ ? FT_OK : FT_OTHER_ERROR;
    d->latencyMs = ms;
    return FT_OK;
}

FT_STATUS SimFtdi::SetChars(FT_HANDLE h, uint8_t ev, uint8_t evOn, uint8_t er, uint8_t erOn) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    if (!charsSettable_) return FT_NOT_SUPPORTED;
    // Bytes already on their way keep the packets they were given.
    d->eventChar = ev;
    d->eventOn = evOn != 0;
    d->errorChar = er;
    d->errorOn = erOn != 0;
    return FT_OK;
}

FT_STATUS SimFtdi::Purge(FT_HANDLE h, uint32_t mask) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    pump(*d);
    const int64_t now = clock_.nowUs();
    if (mask & FT_PURGE_TX) d->held.clear();  // what has not left the bridge is gone
    if (mask & FT_PURGE_RX) {
        // Only what has reached the host's buffer is dropped; bytes still on
        // the wire arrive afterwards, as with a real chip.
        while (!d->rx.empty() && d->rx.front().second <= now) d->rx.pop_front();
    }
    if (mask & FT_PURGE_TX) d->txFreeAt = std::min(d->txFreeAt, now);
    return FT_OK;
}

FT_STATUS SimFtdi::GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    rx = tx = ev = 0;
    if (clock_.instant()) clock_.advanceTo(clock_.nowUs() + (timed_ ? kIdealStatusCostUs : kStatusCostUs));
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    pump(*d);
    const int64_t now = clock_.nowUs();
    rx = rxReady(*d, now);
    tx = txPending(*d, now);
    return FT_OK;
}

FT_STATUS SimFtdi::Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    written = 0;
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    const int64_t now = clock_.nowUs();
    // Over USB the bytes reach the bridge at the next frame, then the line.
    const int64_t reach = usb_ ? (now / kFrameUs + 1) * kFrameUs : now;
    d->txFreeAt = std::max(d->txFreeAt, reach) + lineUs(timed_, d->baud, len);
    written = len;
    d->hostBytes += len;
    // Through the bridge the bytes wait for their frame; until they are out, a
    // purge of the transmit queue loses them, as it does on the chip.
    if (usb_ && d->txFreeAt > now) d->held.push_back({d->txFreeAt, {buf, buf + len}, d->baud, d->frame8N1});
    else deliver(*d, buf, len, d->baud, d->frame8N1, d->txFreeAt);
    if (d->unplugAfter >= 0 && d->hostBytes >= d->unplugAfter) d->unplugged = true;
    cv_.notify_all();
    return FT_OK;
}

void SimFtdi::waitUntil(std::unique_lock<std::recursive_mutex>& lk, SimDevice& d, int64_t deadlineUs,
                        const std::function<bool()>& ready, const std::function<int64_t()>& readyAt) {
    for (;;) {
        pump(d);
        if (d.unplugged || ready()) return;
        const int64_t now = clock_.nowUs();
        if (now >= deadlineUs) return;
        int64_t target = std::min({deadlineUs, readyAt(), nextEventAt(d)});
        if (target <= now) target = now + 1;
        if (clock_.instant()) clock_.advanceTo(target);
        else pacedWait(lk, target, kNever);
    }
}

void SimFtdi::pacedWait(std::unique_lock<std::recursive_mutex>& lk, int64_t target, int64_t realLeftUs) {
    const int64_t wait = std::max<int64_t>(1, std::min(target - clock_.nowUs(), realLeftUs));
    PreciseTimers precise;
    cv_.wait_for(lk, std::chrono::microseconds(wait));
}

FT_STATUS SimFtdi::Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) {
    std::unique_lock<std::recursive_mutex> lk(mu_);
    got = 0;
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    const int64_t start = clock_.nowUs();
    const int64_t deadline = d->readTimeoutMs == 0 ? kNever : start + int64_t(d->readTimeoutMs) * 1000;
    waitUntil(
        lk, *d, deadline, [&] { return rxReady(*d, clock_.nowUs()) >= len; },
        [&] { return d->rx.size() >= len ? d->rx[len - 1].second : kNever; });
    if (d->unplugged) return FT_IO_ERROR;
    const uint32_t n = std::min(len, rxReady(*d, clock_.nowUs()));
    for (uint32_t i = 0; i < n; ++i) {
        buf[i] = d->rx.front().first;
        d->rx.pop_front();
    }
    got = n;
    return FT_OK;
}

FT_STATUS SimFtdi::WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) {
    std::unique_lock<std::recursive_mutex> lk(mu_);
    FT_STATUS st;
    SimDevice* d = dev(h, st);
    if (!d) return st;
    const int64_t deadline = clock_.nowUs() + int64_t(timeoutMs) * 1000;
    waitUntil(
        lk, *d, deadline,
        [&] {
            const int64_t now = clock_.nowUs();
            return (rxAtLeast > 0 && rxReady(*d, now) >= rxAtLeast) || (txEmpty && txPending(*d, now) == 0);
        },
        [&] {
            int64_t t = kNever;
            if (rxAtLeast > 0 && d->rx.size() >= rxAtLeast) t = d->rx[rxAtLeast - 1].second;
            if (txEmpty) t = std::min(t, d->txFreeAt);
            return t;
        });
    return d->unplugged ? FT_IO_ERROR : FT_OK;
}

FT_STATUS SimFtdi::WaitArrival(FT_HANDLE h, int64_t& seenUs, uint32_t timeoutMs, bool& arrived) {
    std::unique_lock<std::recursive_mutex> lk(mu_);
    arrived = false;
    const int64_t realEnd = steadyUs() + int64_t(timeoutMs) * 1000;
    for (;;) {
        FT_STATUS st;
        SimDevice* d = dev(h, st);
        if (!d) return st;
        pump(*d);
        const int64_t now = clock_.nowUs();
        const int64_t due = batchDue(*d, seenUs);
        if (due <= now) {
            seenUs = now;
            arrived = true;
            return FT_OK;
        }
        const int64_t realLeft = realEnd - steadyUs();
        if (realLeft <= 0) return FT_OK;
        if (clock_.instant()) {
            // Bytes still in the bridge toward the jig are as good as sent.
            const int64_t next = std::min(due, d->held.empty() ? kNever : d->held.front().at);
            if (next != kNever) {
                clock_.advanceTo(next);
                continue;
            }
            cv_.wait_for(lk, std::chrono::microseconds(realLeft));  // until the jig sends or the handle closes
        } else {
            pacedWait(lk, std::min(due, nextEventAt(*d)), realLeft);
        }
    }
}

FT_STATUS SimFtdi::Close(FT_HANDLE h) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    auto it = handles_.find(h);
    if (it == handles_.end()) return FT_INVALID_HANDLE;
    SimDevice& d = *it->second;
    // Closing the handle does not stop the bridge: what it holds still goes out.
    while (!d.held.empty()) {
        SimDevice::HeldWrite w = std::move(d.held.front());
        d.held.pop_front();
        deliver(d, w.bytes.data(), w.bytes.size(), w.baud, w.frame8N1, w.at);
    }
    d.open = false;
    handles_.erase(it);
    cv_.notify_all();
    return FT_OK;
}

size_t SimFtdi::openHandles() {
    std::lock_guard<std::recursive_mutex> g(mu_);
    return handles_.size();
}

void SimFtdi::unplug(uint32_t index) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    if (index < devices_.size()) devices_[index]->unplugged = true;
    cv_.notify_all();
}

std::string SimFtdi::jigFirmware() {
    std::lock_guard<std::recursive_mutex> g(mu_);
    if (jigIndex_ < 0 || size_t(jigIndex_) >= devices_.size()) return "none";
    return devices_[size_t(jigIndex_)]->fw->name();
}

std::vector<std::vector<uint8_t>> SimFtdi::hostWrites() {
    std::lock_guard<std::recursive_mutex> g(mu_);
    std::vector<std::vector<uint8_t>> all;
    for (auto& d : devices_)
        if (d->isJig) all = d->hostWrites;
    return all;
}

std::vector<uint8_t> SimFtdi::hostBytes() {
    std::vector<uint8_t> out;
    for (auto& w : hostWrites()) out.insert(out.end(), w.begin(), w.end());
    return out;
}

std::vector<std::string> SimFtdi::errors() {
    std::lock_guard<std::recursive_mutex> g(mu_);
    std::vector<std::string> all;
    for (auto& d : devices_) all.insert(all.end(), d->errors.begin(), d->errors.end());
    return all;
}

void SimFtdi::clearRecord() {
    std::lock_guard<std::recursive_mutex> g(mu_);
    for (auto& d : devices_) {
        d->hostWrites.clear();
        d->jigSent.clear();
    }
}

void SimFtdi::withLock(const std::function<void()>& fn) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    fn();
}

std::vector<KeySpec> deviceKeys() {
    constexpr int64_t kLongMs = 1'000'000'000;  // about eleven days: any test or demo fits
    return {
        KeySpec::text("jig"),
        KeySpec::text("ident",
                      [](const std::string& v) {
                          try {
                              const std::string id = unescape(v);
                              return id.empty() ? std::string("the identification must not be empty") : std::string();
                          } catch (const std::exception& e) {
                              return std::string(e.what());
                          }
                      }),
        KeySpec::number("devices", 0, 16),
        KeySpec::number("jig-index", 0, 15),
        KeySpec::text("serials",
                      [](const std::string& v) {
                          return v.empty() || v.front() == ';' || v.back() == ';' || v.find(";;") != std::string::npos
                                     ? std::string("a serial number must not be empty")
                                     : std::string();
                      }),
        KeySpec::choice("mode", "instant|paced|ideal"),
        KeySpec::number("driver", 0, 0xFFFFFFFF),
        KeySpec::number("latency-us", 0, 60'000'000),
        KeySpec::choice("usb", "off|ft232r"),
        KeySpec::number("usb-latency-ms", 1, 255),
        KeySpec::choice("usb-chars", "on|off"),
        KeySpec::number("usb-line-error-at", 1, int64_t{1} << 40),
        KeySpec::number("unplug-after", 0, int64_t{1} << 40),
        KeySpec::number("unplug-at", 0, kLongMs),
        KeySpec::flag("wedged"),
        KeySpec::number("reset-after", 0, kLongMs),
        KeySpec::outFile("stats-out"),
    };
}

}  // namespace qj::sim
