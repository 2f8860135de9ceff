#pragma once
// The D2XX call set the jig is reached through. Every backend (vendor library,
// kernel tty, libftdi1, the virtual jig) implements it; protocol code sees only this.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qj {

using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
};

enum : uint32_t { FT_PURGE_RX = 1, FT_PURGE_TX = 2 };

const char* ftStatusName(FT_STATUS s);

struct FtDeviceInfo {
    std::string description;
    std::string serial;
    std::string location;  // backend-specific path (tty node, bus/address)
};

// Time as the backend sees it. Real backends use the steady clock; the virtual
// jig in instant mode keeps its own clock that jumps forward instead of sleeping,
// so time-outs and watchdogs run without real waiting in tests.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t nowMs() = 0;
    virtual void sleepMs(int64_t ms) = 0;
};

Clock& steadyClock();

// The D2XX calls below as a backend's class declares them: it says
// QJ_FTDI_CALL_OVERRIDES; once and defines each call.
#define QJ_FTDI_CALL_OVERRIDES                                                                      \
    FT_STATUS CreateDeviceInfoList(uint32_t& numDevs) override;                                     \
    FT_STATUS GetDeviceInfo(uint32_t index, FtDeviceInfo& info) override;                           \
    FT_STATUS Open(uint32_t index, FT_HANDLE& handle) override;                                     \
    FT_STATUS GetDriverVersion(FT_HANDLE h, uint32_t& version) override;                            \
    FT_STATUS ResetDevice(FT_HANDLE h) override;                                                    \
    FT_STATUS SetBaudRate(FT_HANDLE h, uint32_t baud) override;                                     \
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t p) override;        \
    FT_STATUS SetTimeouts(FT_HANDLE h, uint32_t readMs, uint32_t writeMs) override;                 \
    FT_STATUS SetLatencyTimer(FT_HANDLE h, uint8_t ms) override;                                    \
    FT_STATUS SetChars(FT_HANDLE h, uint8_t ev, uint8_t evOn, uint8_t er, uint8_t erOn) override;   \
    FT_STATUS Purge(FT_HANDLE h, uint32_t mask) override;                                           \
    FT_STATUS GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) override;            \
    FT_STATUS Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) override;     \
    FT_STATUS Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) override;                \
    FT_STATUS Close(FT_HANDLE h) override

class FtdiApi {
public:
    virtual ~FtdiApi() = default;

    virtual FT_STATUS CreateDeviceInfoList(uint32_t& numDevs) = 0;
    // Description of device `index` of the last list (for `qjig devices`).
    virtual FT_STATUS GetDeviceInfo(uint32_t index, FtDeviceInfo& info) = 0;
    virtual FT_STATUS Open(uint32_t index, FT_HANDLE& handle) = 0;
    virtual FT_STATUS GetDriverVersion(FT_HANDLE h, uint32_t& version) = 0;
    virtual FT_STATUS ResetDevice(FT_HANDLE h) = 0;
    virtual FT_STATUS SetBaudRate(FT_HANDLE h, uint32_t baud) = 0;
    virtual FT_STATUS SetDataCharacteristics(FT_HANDLE h, uint8_t wordLength, uint8_t stopBits, uint8_t parity) = 0;
    virtual FT_STATUS SetTimeouts(FT_HANDLE h, uint32_t readMs, uint32_t writeMs) = 0;
    virtual FT_STATUS SetLatencyTimer(FT_HANDLE h, uint8_t ms) = 0;
    // The bridge's event character (a received byte equal to it sends what the
    // bridge holds to the host at once) and error character (put in place of
    // a byte received with a line error), each with its enable flag 0 or 1.
    // FT_NOT_SUPPORTED where the path to the chip has no such setting.
    virtual FT_STATUS SetChars(FT_HANDLE h, uint8_t eventChar, uint8_t eventEnable, uint8_t errorChar,
                               uint8_t errorEnable) = 0;
    virtual FT_STATUS Purge(FT_HANDLE h, uint32_t mask) = 0;
    virtual FT_STATUS GetStatus(FT_HANDLE h, uint32_t& rxQueue, uint32_t& txQueue, uint32_t& eventStatus) = 0;
    virtual FT_STATUS Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) = 0;
    // Returns when `len` bytes have come or the read time-out has passed.
    virtual FT_STATUS Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) = 0;
    virtual FT_STATUS Close(FT_HANDLE h) = 0;

    // Blocks until the receive queue holds at least `rxAtLeast` bytes (0: not
    // asked), or the transmit queue is empty (when `txEmpty`), or `timeoutMs`
    // has passed, or the device failed. Says nothing by itself: callers query
    // GetStatus afterwards. Never spins a core.
    virtual FT_STATUS WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs);

    // Whether the device behind `h` is the virtual jig (in process, or served
    // through a pseudo-terminal), which alone may get the stand-in images.
    virtual bool ReachesVirtualJig(FT_HANDLE h) {
        (void)h;
        return false;
    }

    virtual Clock& clock() { return steadyClock(); }

    // The argument checks of SetBaudRate (183 to 3,000,000 baud),
    // SetDataCharacteristics (7 or 8 bits, 1 or 2 stop bits, parity 0 to 4) and
    // SetLatencyTimer (1 ms or more), the same for every backend: FT_OK, or the
    // status the call returns after the backend's own handle check.
    static FT_STATUS checkBaudRate(uint32_t baud);
    static FT_STATUS checkDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity);
    static FT_STATUS checkLatencyTimer(uint8_t ms);
    // Short name of the backend ("sim", "tty", ...).
    virtual std::string backendName() const = 0;
};

}  // namespace qj
