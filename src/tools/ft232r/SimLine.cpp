#include "tools/ft232r/SimLine.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "sim/SimFtdi.h"

namespace qj::usb {

namespace {
// How often the jig's clock catches up with real time while it is silent
// (a jig's own events: the reset button, keys, an unplug at a time).
constexpr uint32_t kTickMs = 5;

int64_t steadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

sim::SimConfig configOf(const std::string& spec) {
    sim::SimConfig cfg(spec);
    if (cfg.str("mode").empty()) cfg.set("mode", "instant");
    return cfg;
}
}  // namespace

SimLine::SimLine(const std::string& spec) : sim_(std::make_unique<sim::SimFtdi>(configOf(spec))) {
    uint32_t n = 0;
    sim_->CreateDeviceInfoList(n);
    const int jig = sim_->jigIndex();
    if (jig < 0 || uint32_t(jig) >= n || sim_->Open(uint32_t(jig), handle_) != FT_OK)
        throw std::runtime_error("the virtual jig has no device to put behind the FT232R");
    sim_->SetTimeouts(handle_, 0, 0);
}

SimLine::~SimLine() {
    stop();
    if (handle_) sim_->Close(handle_);
}

void SimLine::start(EmulatedFt232r& usb) {
    stop();
    usb_ = &usb;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void SimLine::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

bool SimLine::send(const uint8_t* p, size_t n) {
    uint32_t w = 0;
    if (sim_->Write(handle_, p, uint32_t(n), w) != FT_OK) return false;
    // An answer the jig gives at once goes to the chip at once, not after the
    // mover's wake-up: every exchange over USB pays for it otherwise.
    return deliver();
}

void SimLine::setLine(const LineSettings& s) {
    const uint32_t nominal = standardRate(s.baud);
    sim_->SetBaudRate(handle_, nominal ? nominal : s.baud);
    sim_->SetDataCharacteristics(handle_, uint8_t(s.dataBits), s.stopBits == 0 ? 0 : 2, uint8_t(s.parity));
}

bool SimLine::deliver() {
    std::lock_guard<std::mutex> g(deliverMu_);
    uint32_t rx = 0, tx = 0, ev = 0, got = 0;
    if (sim_->GetStatus(handle_, rx, tx, ev) != FT_OK) return false;
    if (rx == 0) return true;
    buf_.resize(rx);
    if (sim_->Read(handle_, buf_.data(), rx, got) != FT_OK) return false;
    if (usb_) usb_->receive(buf_.data(), got);
    return true;
}

void SimLine::run() {
    sim::SimClock& clock = sim_->simClock();
    const int64_t origin = steadyUs() - clock.nowUs();
    int64_t skipped = 0;  // jig time jumped over, ahead of real time
    int64_t seen = clock.nowUs();
    while (!stop_) {
        if (clock.instant()) clock.advanceTo(steadyUs() - origin + skipped);
        bool arrived = false;
        // Wakes at once when the host writes; on the instant clock it moves
        // the clock to bytes the jig has already decided to send.
        if (sim_->WaitArrival(handle_, seen, kTickMs, arrived) != FT_OK || (arrived && !deliver())) {
            usb_->unplug("the virtual jig went away");
            return;
        }
        if (clock.instant()) skipped = std::max(skipped, clock.nowUs() - (steadyUs() - origin));
    }
}

}  // namespace qj::usb
