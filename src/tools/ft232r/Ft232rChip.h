#pragma once
// The FT232R as its host sees it over USB: the requests on endpoint 0 (its
// descriptors and strings, and the vendor requests, decoded and recorded) and
// the bulk-in packets, each led by the two modem-status bytes and carrying up
// to 62 bytes from the serial line. No USB plumbing here: the emulated device
// (EmulatedFt232r) hands it the requests and asks it when a bulk-in transfer
// is due. Not thread-safe: its owner serialises the calls.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace qj::usb {

constexpr int kPacket = 64;               // wMaxPacketSize of both bulk endpoints
constexpr int kPacketData = kPacket - 2;  // bytes from the line in one bulk-in packet
constexpr uint8_t kEpIn = 0x81, kEpOut = 0x02;
constexpr uint8_t kModemStatus = 0x01;  // B0 reads 1, no modem line active
constexpr uint8_t kLineStatus = 0x60;   // transmitter holding register and shift register empty

// The serial line as the host has set it.
struct LineSettings {
    uint32_t baud = 9600;  // the rate the divisor gives
    int dataBits = 8;
    int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0;  // 0: 1, 1: 1.5, 2: 2
    bool operator==(const LineSettings&) const = default;
};

// One request of the host, as the chip understood it.
struct ChipRequest {
    enum Kind {
        Reset,        // SIO reset: both buffers emptied
        PurgeToLine,  // the host-to-line buffer emptied (libftdi's tcoflush, D2XX's FT_PURGE_TX)
        PurgeToHost,  // the line-to-host buffer emptied (tciflush, FT_PURGE_RX)
        ModemControl,
        FlowControl,
        BaudRate,     // value: the rate the divisor gives
        Data,         // value: the wValue (data bits | parity << 8 | stop bits << 11 | break << 14)
        PollModemStatus,
        EventChar,    // value: the character | enabled << 8
        ErrorChar,    // value: the character | enabled << 8
        LatencySet,   // value: ms
        LatencyGet,
        BitMode,
        ReadPins,
        ReadEeprom,
        PortReset,    // the USB port reset: every setting back to its power-on value
        Stalled,      // a request the chip does not know
    };
    Kind kind;
    uint32_t value = 0;
    std::string text;  // what the log says: "baud rate 923077 (divisor 0x8003 0x0000; 921600 within 3 %)"
};

// The rate an FT232R divisor gives: 3 MHz over a 14-bit integer part and an
// eighths fraction, the fraction's top bit in bit 0 of wIndex.
uint32_t decodeBaud(uint16_t value, uint16_t index);
// The standard rate within 3 % of `baud` (a UART at the far end hears it), 0 when none is.
uint32_t standardRate(uint32_t baud);

class Ft232rChip {
public:
    struct Strings {
        std::string manufacturer = "FTDI";
        std::string product = "FT232R USB UART";
        std::string serial = "QJ232R01";
    };
    explicit Ft232rChip(Strings s);

    static constexpr int kDeviceDescriptorSize = 18;
    static constexpr int kConfigDescriptorSize = 32;
    // The device descriptor followed by the configuration (what sysfs shows as `descriptors`).
    std::vector<uint8_t> descriptors() const;
    const Strings& strings() const { return strings_; }

    // A control transfer on endpoint 0. `data` holds wLength bytes (the host's
    // for OUT, filled for IN). Returns the bytes moved, or -EPIPE (a stall).
    int control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint16_t length,
                uint8_t* data);
    void portReset(int64_t nowUs);

    // Bytes that came in on the line, waiting for the host.
    void fromLine(const uint8_t* p, size_t n, int64_t nowUs);
    size_t buffered() const { return rx_.size(); }

    // The one place that decides when a waiting bulk-in transfer of `length`
    // bytes goes to the host: at once when it can be filled (full packets
    // leave at once, and a transfer ends only on a short packet or when full)
    // or when the buffer holds the event character the host enabled,
    // otherwise when the latency timer runs out (a short packet, perhaps only
    // the two status bytes). The timer restarts whenever a packet leaves.
    int64_t inDueUs(int length) const;
    // Fills a bulk-in transfer as the chip sends it: packets of the status
    // bytes and up to 62 data bytes, ending with the first short packet (the
    // one an event character ends, if any) or when `length` is reached.
    // Returns the length filled.
    int fillIn(uint8_t* buf, int length, int64_t nowUs);

    const LineSettings& line() const { return line_; }
    uint8_t latencyMs() const { return latencyMs_; }
    const std::vector<ChipRequest>& requests() const { return requests_; }
    uint64_t droppedBytes() const { return dropped_; }

private:
    int standardRequest(uint8_t requestType, uint8_t request, uint16_t value, uint16_t length, uint8_t* data);
    int vendorRequest(uint8_t request, uint16_t value, uint16_t index, uint16_t length, uint8_t* data);
    void note(ChipRequest::Kind kind, uint32_t value, std::string text);
    static int dataCapacity(int length);
    // The buffered bytes up to and including the first enabled event character; 0: none.
    size_t eventRun() const;

    Strings strings_;
    std::deque<uint8_t> rx_;  // line to host
    int64_t timerStartUs_ = 0;
    uint8_t latencyMs_ = 16;
    LineSettings line_;
    uint16_t modemControl_ = 0;  // bit 0 DTR, bit 1 RTS
    uint16_t flow_ = 0;
    uint16_t eventChar_ = 0, errorChar_ = 0;  // character | enabled << 8
    uint8_t bitMode_ = 0;
    uint64_t dropped_ = 0;
    std::vector<ChipRequest> requests_;
};

}  // namespace qj::usb
