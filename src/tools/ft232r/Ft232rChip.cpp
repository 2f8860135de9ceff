#include "tools/ft232r/Ft232rChip.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace qj::usb {

namespace {
// What the chip keeps for a host that does not read. The real chip holds 256
// bytes and loses the rest; the jig only answers what it is asked, so this
// never fills in practice.
constexpr size_t kRxCap = size_t(1) << 20;

std::string hex4(uint16_t v) {
    char b[8];
    std::snprintf(b, sizeof b, "0x%04X", v);
    return b;
}

const char* parityName(int p) {
    static const char* names[] = {"none", "odd", "even", "mark", "space"};
    return p >= 0 && p <= 4 ? names[p] : "invalid";
}
}  // namespace

uint32_t decodeBaud(uint16_t value, uint16_t index) {
    // The fraction's code, in eighths: 0, 1/2, 1/4, 1/8, 3/8, 5/8, 3/4, 7/8.
    static const uint32_t eighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
    const uint32_t whole = value & 0x3FFF;
    const uint32_t frac = eighths[((value >> 14) & 3) | ((index & 1) << 2)];
    if (whole == 0 && frac == 0) return 3'000'000;
    if (whole == 1 && frac == 0) return 2'000'000;  // the chip's special case
    const uint32_t d8 = whole * 8 + frac;
    return (24'000'000 + d8 / 2) / d8;
}

uint32_t standardRate(uint32_t baud) {
    static const uint32_t rates[] = {300,    600,    1200,   2400,   4800,   9600,    14400,   19200,   38400,  57600,
                                     115200, 230400, 460800, 500000, 921600, 1000000, 1500000, 2000000, 3000000};
    for (uint32_t r : rates)
        if (uint64_t(baud) * 100 >= uint64_t(r) * 97 && uint64_t(baud) * 100 <= uint64_t(r) * 103) return r;
    return 0;
}

Ft232rChip::Ft232rChip(Strings s) : strings_(std::move(s)) {}

std::vector<uint8_t> Ft232rChip::descriptors() const {
    return {
        // Device: USB 2.0, vendor-specific, 8-byte endpoint 0, 0403:6001, release 6.00 (what tells an FT232R).
        0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x08, 0x03, 0x04, 0x01, 0x60, 0x00, 0x06, 0x01, 0x02, 0x03, 0x01,
        // Configuration 1: one interface, bus-powered with remote wake-up, 90 mA.
        0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0xA0, 0x2D,
        // Interface 0: two endpoints, vendor-specific, named by the product string.
        0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x02,
        // Bulk in and bulk out, 64 bytes each.
        0x07, 0x05, kEpIn, 0x02, kPacket, 0x00, 0x00,
        0x07, 0x05, kEpOut, 0x02, kPacket, 0x00, 0x00,
    };
}

void Ft232rChip::note(ChipRequest::Kind kind, uint32_t value, std::string text) {
    requests_.push_back({kind, value, std::move(text)});
}

int Ft232rChip::control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint16_t length,
                        uint8_t* data) {
    switch (requestType & 0x60) {
    case 0x00: return standardRequest(requestType, request, value, length, data);
    case 0x40: return vendorRequest(request, value, index, length, data);
    default:
        note(ChipRequest::Stalled, request, "class request " + std::to_string(request) + " (stall)");
        return -EPIPE;
    }
}

int Ft232rChip::standardRequest(uint8_t requestType, uint8_t request, uint16_t value, uint16_t length,
                                uint8_t* data) {
    auto give = [&](const std::vector<uint8_t>& d) {
        const int n = std::min<int>(length, int(d.size()));
        std::copy_n(d.begin(), n, data);
        return n;
    };
    constexpr uint8_t kGetStatus = 0, kClearFeature = 1, kGetDescriptor = 6, kGetConfiguration = 8,
                      kSetConfiguration = 9, kSetInterface = 11;
    if (request == kGetDescriptor && (requestType & 0x80)) {
        const std::vector<uint8_t> all = descriptors();
        switch (value >> 8) {
        case 1: return give({all.begin(), all.begin() + kDeviceDescriptorSize});
        case 2: return give({all.begin() + kDeviceDescriptorSize, all.end()});
        case 3: {
            const int i = value & 0xFF;
            if (i == 0) return give({4, 3, 0x09, 0x04});  // US English
            const std::string* s = i == 1 ? &strings_.manufacturer : i == 2 ? &strings_.product
                                 : i == 3 ? &strings_.serial : nullptr;
            if (!s) break;
            std::vector<uint8_t> d{0, 3};
            for (char c : s->substr(0, 126)) d.insert(d.end(), {uint8_t(c), 0});
            d[0] = uint8_t(d.size());
            return give(d);
        }
        default: break;
        }
    } else if (request == kGetStatus && length >= 2) {
        return give({0, 0});
    } else if (request == kGetConfiguration && length >= 1) {
        return give({1});
    } else if (request == kSetConfiguration || request == kSetInterface || request == kClearFeature) {
        return 0;
    }
    note(ChipRequest::Stalled, request, "standard request " + std::to_string(request) + " value " + hex4(value) +
                                            " (stall)");
    return -EPIPE;
}

int Ft232rChip::vendorRequest(uint8_t request, uint16_t value, uint16_t index, uint16_t length, uint8_t* data) {
    switch (request) {
    case 0x00:  // reset and purges
        if (value == 0) {
            rx_.clear();
            note(ChipRequest::Reset, 0, "reset");
        } else if (value == 1) {
            note(ChipRequest::PurgeToLine, 0, "purge the host-to-line buffer");  // bulk out has none left here
        } else if (value == 2) {
            rx_.clear();
            note(ChipRequest::PurgeToHost, 0, "purge the line-to-host buffer");
        } else {
            break;
        }
        return 0;
    case 0x01:  // modem control: the high byte says which of the low byte's lines to set
        modemControl_ = uint16_t((modemControl_ & ~(value >> 8)) | (value & (value >> 8) & 3));
        note(ChipRequest::ModemControl, modemControl_,
             "modem control DTR " + std::to_string(modemControl_ & 1) + " RTS " + std::to_string(modemControl_ >> 1));
        return 0;
    case 0x02:
        flow_ = uint16_t(index & 0xFF00);
        note(ChipRequest::FlowControl, flow_,
             flow_ == 0 ? "flow control off" : "flow control " + hex4(flow_));
        return 0;
    case 0x03: {
        line_.baud = decodeBaud(value, index);
        const uint32_t nominal = standardRate(line_.baud);
        note(ChipRequest::BaudRate, line_.baud,
             "baud rate " + std::to_string(line_.baud) + " (divisor " + hex4(value) + " " + hex4(index) + ": " +
                 (nominal ? std::to_string(nominal) + " within 3 %)" : "no standard rate within 3 %)"));
        return 0;
    }
    case 0x04:
        line_.dataBits = value & 0xFF;
        line_.parity = (value >> 8) & 7;
        line_.stopBits = (value >> 11) & 3;
        note(ChipRequest::Data, value,
             "data " + std::to_string(line_.dataBits) + " bits, parity " + parityName(line_.parity) + ", stop bits " +
                 (line_.stopBits == 0 ? "1" : line_.stopBits == 1 ? "1.5" : "2") + (value & 0x4000 ? ", break" : ""));
        return 0;
    case 0x05:
        if (length < 2) break;
        data[0] = kModemStatus;
        data[1] = kLineStatus;
        note(ChipRequest::PollModemStatus, 0, "poll modem status");
        return 2;
    case 0x06:
    case 0x07: {
        const bool event = request == 0x06;
        (event ? eventChar_ : errorChar_) = value & 0x1FF;
        char b[64];
        std::snprintf(b, sizeof b, "%s character 0x%02X %s", event ? "event" : "error", value & 0xFF,
                      value & 0x100 ? "enabled" : "disabled");
        note(event ? ChipRequest::EventChar : ChipRequest::ErrorChar, value & 0x1FF, b);
        return 0;
    }
    case 0x09:
        // The chip takes 1 to 255 ms; 0 would stop the timer, which it does not allow.
        latencyMs_ = uint8_t(std::max(1, value & 0xFF));
        note(ChipRequest::LatencySet, latencyMs_, "latency timer " + std::to_string(latencyMs_) + " ms");
        return 0;
    case 0x0A:
        if (length < 1) break;
        data[0] = latencyMs_;
        note(ChipRequest::LatencyGet, latencyMs_, "latency timer read: " + std::to_string(latencyMs_) + " ms");
        return 1;
    case 0x0B:
        bitMode_ = uint8_t(value >> 8);
        note(ChipRequest::BitMode, value, "bit mode " + hex4(value));
        return 0;
    case 0x0C:
        if (length < 1) break;
        data[0] = 0xFF;
        note(ChipRequest::ReadPins, 0xFF, "read pins");
        return 1;
    case 0x90:  // an erased EEPROM
        if (length < 2) break;
        data[0] = data[1] = 0xFF;
        note(ChipRequest::ReadEeprom, index, "read EEPROM word " + std::to_string(index));
        return 2;
    default: break;
    }
    note(ChipRequest::Stalled, request,
         "vendor request " + std::to_string(request) + " value " + hex4(value) + " index " + hex4(index) + " (stall)");
    return -EPIPE;
}

void Ft232rChip::portReset(int64_t nowUs) {
    rx_.clear();
    line_ = LineSettings{};
    latencyMs_ = 16;
    modemControl_ = flow_ = eventChar_ = errorChar_ = 0;
    bitMode_ = 0;
    timerStartUs_ = nowUs;
    note(ChipRequest::PortReset, 0, "USB port reset");
}

void Ft232rChip::fromLine(const uint8_t* p, size_t n, int64_t nowUs) {
    const size_t take = std::min(n, kRxCap - std::min(kRxCap, rx_.size()));
    dropped_ += n - take;
    const size_t before = rx_.size() / kPacketData;
    rx_.insert(rx_.end(), p, p + take);
    // A full packet leaves at once, and sending one restarts the timer.
    if (rx_.size() / kPacketData != before) timerStartUs_ = nowUs;
}

int Ft232rChip::dataCapacity(int length) { return (length / kPacket) * kPacketData + std::max(0, length % kPacket - 2); }

size_t Ft232rChip::eventRun() const {
    if (!(eventChar_ & 0x100)) return 0;
    const auto it = std::find(rx_.begin(), rx_.end(), uint8_t(eventChar_));
    return it == rx_.end() ? 0 : size_t(it - rx_.begin()) + 1;
}

int64_t Ft232rChip::inDueUs(int length) const {
    if (rx_.size() >= size_t(dataCapacity(length)) || eventRun() > 0) return 0;
    return timerStartUs_ + int64_t(latencyMs_) * 1000;
}

int Ft232rChip::fillIn(uint8_t* buf, int length, int64_t nowUs) {
    int off = 0;
    while (length - off >= 2) {
        int n = std::min({kPacketData, int(rx_.size()), length - off - 2});
        if (const size_t ev = eventRun(); ev > 0 && ev < size_t(n)) n = int(ev);  // the event character ends it
        buf[off] = kModemStatus;
        buf[off + 1] = kLineStatus;
        std::copy_n(rx_.begin(), n, buf + off + 2);
        rx_.erase(rx_.begin(), rx_.begin() + n);
        off += 2 + n;
        if (n < kPacketData) break;  // a short packet ends the transfer
    }
    timerStartUs_ = nowUs;
    return off;
}

}  // namespace qj::usb
