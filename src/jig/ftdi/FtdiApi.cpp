#include "jig/ftdi/FtdiApi.h"

#include <chrono>
#include <thread>

namespace qj {

const char* ftStatusName(FT_STATUS s) {
    switch (s) {
    case FT_OK: return "FT_OK";
    case FT_INVALID_HANDLE: return "FT_INVALID_HANDLE";
    case FT_DEVICE_NOT_FOUND: return "FT_DEVICE_NOT_FOUND";
    case FT_DEVICE_NOT_OPENED: return "FT_DEVICE_NOT_OPENED";
    case FT_IO_ERROR: return "FT_IO_ERROR";
    case FT_INSUFFICIENT_RESOURCES: return "FT_INSUFFICIENT_RESOURCES";
    case FT_INVALID_PARAMETER: return "FT_INVALID_PARAMETER";
    case FT_INVALID_BAUD_RATE: return "FT_INVALID_BAUD_RATE";
    case FT_NOT_SUPPORTED: return "FT_NOT_SUPPORTED";
    default: return "FT_OTHER_ERROR";
    }
}

namespace {
class SteadyClock final : public Clock {
public:
    int64_t nowMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void sleepMs(int64_t ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};
}  // namespace

Clock& steadyClock() {
    static SteadyClock c;
    return c;
}

FT_STATUS FtdiApi::checkBaudRate(uint32_t baud) {
    return baud < 183 || baud > 3'000'000 ? FT_INVALID_BAUD_RATE : FT_OK;
}

FT_STATUS FtdiApi::checkDataCharacteristics(uint8_t w, uint8_t s, uint8_t p) {
    return (w != 7 && w != 8) || (s != 0 && s != 2) || p > 4 ? FT_INVALID_PARAMETER : FT_OK;
}

FT_STATUS FtdiApi::checkLatencyTimer(uint8_t ms) { return ms < 1 ? FT_INVALID_PARAMETER : FT_OK; }

// Fallback for backends without an event source: short sleeps, so a waiting
// thread costs next to no CPU while staying within a millisecond of the event.
FT_STATUS FtdiApi::WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) {
    Clock& c = clock();
    const int64_t end = c.nowMs() + timeoutMs;
    for (;;) {
        uint32_t rx = 0, tx = 0, ev = 0;
        FT_STATUS st = GetStatus(h, rx, tx, ev);
        if (st != FT_OK) return st;
        if (rxAtLeast > 0 && rx >= rxAtLeast) return FT_OK;
        if (txEmpty && tx == 0) return FT_OK;
        if (c.nowMs() >= end) return FT_OK;
        c.sleepMs(1);
    }
}

}  // namespace qj
