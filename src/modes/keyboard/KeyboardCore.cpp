#include "modes/keyboard/KeyboardCore.h"
#include "modes/Modes.h"

#include <algorithm>

namespace qj::keyboard {

KeyboardCore::KeyboardCore(FtdiApi& api, ModeView& view) : Operations(api, view) {
    for (auto& c : cells_) c.store(kAqua);
}

KeyboardCore::~KeyboardCore() {
    stopRequest_.store(true);
    thread_.join();
}

bool KeyboardCore::isCell(int code) {
    if (code < 2 || code > 1024) return false;
    const int i = (code - 1) / 32 + 1;
    const int j = code - (i - 1) * 32;
    return j > i;
}

std::vector<std::pair<int, int>> KeyboardCore::parsePairs(const uint8_t* p, size_t n) {
    std::vector<std::pair<int, int>> out;
    int first = -1;
    for (size_t k = 0; k < n && p[k] != '&'; ++k) {
        if (p[k] == '>') first = -1;
        else if (first < 0) first = p[k];
        else out.emplace_back(first, p[k]);
    }
    return out;
}

uint32_t KeyboardCore::cellColor(int code) const {
    return code >= 0 && code <= 1024 ? cells_[static_cast<size_t>(code)].load() : kAqua;
}

std::vector<int> KeyboardCore::hiddenList() const {
    std::lock_guard<std::mutex> g(hideMu_);
    return hidden_;
}

KeyboardCore::Hide KeyboardCore::hideState() const {
    std::lock_guard<std::mutex> g(hideMu_);
    return hide_;
}

void KeyboardCore::setStatus(const std::string& text, uint32_t colour) {
    view_.setText(kStatusLabel, text);
    view_.setColor(kStatusLabel, colour);
}

void KeyboardCore::FormCreate() {
    busy_.set(Busy::NONE);
    setStatus("Press start scan", kRed);
}

void KeyboardCore::START_SCANClick() {
    if (busy_.is(Busy::Keyboard)) {
        stopRequest_.store(true);
        return;
    }
    if (!busy_.idle()) return;
    setStatus("Press start scan", kRed);
    busy_.set(Busy::Keyboard);
    {
        std::lock_guard<std::mutex> g(hideMu_);
        hide_ = Hide::None;
    }
    switch (link_.open(mode(ModeId::Keyboard).open, nullptr)) {
    case OpenResult::NoJig:
        setStatus("Device not found", kRed);
        busy_.set(Busy::NONE);
        return;
    case OpenResult::WrongFirmware:
        setStatus("Please update FW", kRed);
        busy_.set(Busy::NONE);
        return;
    case OpenResult::Ready: break;
    }
    setStatus("Ready to work", kGreen);
    view_.setEnabled(kExitButton, false);
    view_.setText(kStartButton, "STOP");
    stopRequest_.store(false);
    view_.setEnabled(kHideBox, true);
    thread_.start();
}

void KeyboardCore::EXIT_KB_TESTClick() {
    if (!busy_.idle()) return;
    leaveMode(view_, ModeId::Keyboard);
}

void KeyboardCore::CheckBox_HIDEClick(bool checked) {
    std::lock_guard<std::mutex> g(hideMu_);
    if (checked) {
        hide_ = Hide::Start;
        hidden_.clear();
    } else {
        hide_ = Hide::None;
    }
}

void KeyboardCore::armWatchdog() {
    watchdogOn_ = true;
    watchdogEnd_ = link_.api().clock().nowMs() + kWatchdogMs;
}

bool KeyboardCore::watchdogExpired() { return watchdogOn_ && link_.api().clock().nowMs() >= watchdogEnd_; }

void KeyboardCore::paint(int code, uint32_t colour) {
    cells_[static_cast<size_t>(code)].store(colour);
    view_.setColor(cellName(code), colour);
}

void KeyboardCore::paintAllAqua() {
    for (int i = 1; i <= 31; ++i)
        for (int j = i + 1; j <= 32; ++j) paint((i - 1) * 32 + j, kAqua);
}

void KeyboardCore::Execute() {
    FtdiApi& api = link_.api();
    linkError_.store(false);
    overflow_.store(false);
    if (link_.write({'U'}) != FT_OK) linkError_.store(true);
    reportLen_ = 0;
    armWatchdog();
    for (;;) {
        uint32_t rx = 0, tx = 0;
        bool progressed = false;
        if (link_.status(rx, tx) != FT_OK) {
            linkError_.store(true);
        } else if (rx > 0) {
            progressed = true;
            if (reportLen_ + rx > kReportSize) {
                // No end mark within the buffer: the jig is out of step.
                overflow_.store(true);
                linkError_.store(true);
            } else {
                uint32_t got = 0;
                if (link_.read(report_.data() + reportLen_, rx, got) != FT_OK) linkError_.store(true);
                reportLen_ += got;
                if (reportLen_ > 0 && report_[reportLen_ - 1] == '&') {
                    handleReport();
                    if (stopRequest_.load()) {
                        stop(false);
                        return;
                    }
                    reportLen_ = 0;
                    if (!linkError_.load()) {
                        if (link_.write({'U'}) != FT_OK) linkError_.store(true);
                        armWatchdog();
                    }
                }
            }
        }
        if (watchdogExpired()) linkError_.store(true);
        if (linkError_.load()) {
            stop(true);
            return;
        }
        if (clearRequest_.exchange(false)) paintAllAqua();
        if (!progressed) {
            // Block until bytes come, bounded by the watchdog.
            int64_t left = kPollSliceMs;
            if (watchdogOn_) left = std::min<int64_t>(left, watchdogEnd_ - api.clock().nowMs());
            if (api.WaitQueues(link_.handle(), 1, false, static_cast<uint32_t>(std::max<int64_t>(left, 1))) != FT_OK)
                linkError_.store(true);
        }
    }
}

void KeyboardCore::handleReport() {
    watchdogOn_ = false;
    Report rep;
    rep.bytes.assign(report_.begin(), report_.begin() + static_cast<long>(reportLen_));
    if (reportLen_ > 1) {
        rep.pairs = parsePairs(report_.data(), reportLen_);
        std::vector<std::pair<int, uint32_t>> paints;
        {
            std::lock_guard<std::mutex> g(hideMu_);
            for (const auto& [first, second] : rep.pairs) {
                const int code = (first - 1) * 32 + second;
                if (!isCell(code)) continue;
                uint32_t colour = kBlack;
                if (hide_ == Hide::Start) {
                    if (hidden_.size() < kHiddenMax) hidden_.push_back(code);
                } else if (hide_ == Hide::End &&
                           std::find(hidden_.begin(), hidden_.end(), code) != hidden_.end()) {
                    continue;
                } else {
                    // A held key alternates red and yellow at each report.
                    const uint32_t now = cells_[static_cast<size_t>(code)].load();
                    colour = now == kRed ? kYellow : kRed;
                }
                cells_[static_cast<size_t>(code)].store(colour);
                paints.emplace_back(code, colour);
                rep.keyFound = true;
            }
            if (hide_ == Hide::Start) hide_ = Hide::End;
        }
        for (const auto& [code, colour] : paints) view_.setColor(cellName(code), colour);
        if (rep.keyFound) buzz();
    }
    if (observer_) observer_(rep);
}

void KeyboardCore::buzz() {
    if (buzzerOff_.load()) {
        link_.api().clock().sleepMs(kBuzzerOffPauseMs);
        return;
    }
    if (link_.write({'I'}) != FT_OK) {
        linkError_.store(true);
        return;
    }
    armWatchdog();
    uint8_t ack = 0;
    if (link_.awaitByte(ack, kWatchdogMs) != Xfer::Ok) linkError_.store(true);
    watchdogOn_ = false;
}

void KeyboardCore::stop(bool error) {
    view_.setChecked(kBuzzerBox, false);
    buzzerOff_.store(false);
    view_.setChecked(kHideBox, false);
    view_.setEnabled(kHideBox, false);
    {
        std::lock_guard<std::mutex> g(hideMu_);
        hide_ = Hide::None;
    }
    watchdogOn_ = false;
    view_.setEnabled(kExitButton, true);
    view_.setText(kStartButton, "START SCAN");
    stopRequest_.store(false);
    link_.close();
    setStatus(error ? "Device not found" : "Press start scan", kRed);
    // Last, once the stop is on the screen: the busy state hands the link back.
    view_.handBack([this] { busy_.set(Busy::NONE); });
}

}  // namespace qj::keyboard
