#pragma once
// A jig that answers whatever a byte stream says, for fuzzing the mode cores
// and for regression cases of what fuzzing found. One device; every call
// succeeds; each Write releases the stream's next piece as the answer:
//   a length byte L, then L bytes (L 0..253);
//   L = 0xFE: a 16-bit length (high byte first), then that many bytes (a long block);
//   L = 0xFF: the device is unplugged (every later call fails).
// When the stream is used up nothing more ever comes. Time is virtual: a wait
// for bytes that will not come jumps the clock to its deadline.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "jig/ftdi/FtdiApi.h"

namespace qjt {

class VirtualClock final : public qj::Clock {
public:
    int64_t nowMs() override { return ms_.load(); }
    void sleepMs(int64_t ms) override {
        if (ms > 0) ms_ += ms;
    }

private:
    std::atomic<int64_t> ms_{0};
};

class StreamFtdi final : public qj::FtdiApi {
public:
    StreamFtdi(const uint8_t* data, size_t n) : stream_(data, data + n) {}

    qj::FT_STATUS CreateDeviceInfoList(uint32_t& n) override;
    qj::FT_STATUS GetDeviceInfo(uint32_t index, qj::FtDeviceInfo& info) override;
    qj::FT_STATUS Open(uint32_t index, qj::FT_HANDLE& h) override;
    qj::FT_STATUS GetDriverVersion(qj::FT_HANDLE h, uint32_t& v) override;
    qj::FT_STATUS ResetDevice(qj::FT_HANDLE h) override { return check(h); }
    qj::FT_STATUS SetBaudRate(qj::FT_HANDLE h, uint32_t) override { return check(h); }
    qj::FT_STATUS SetDataCharacteristics(qj::FT_HANDLE h, uint8_t, uint8_t, uint8_t) override { return check(h); }
    qj::FT_STATUS SetTimeouts(qj::FT_HANDLE h, uint32_t r, uint32_t) override;
    qj::FT_STATUS SetLatencyTimer(qj::FT_HANDLE h, uint8_t) override { return check(h); }
    qj::FT_STATUS SetChars(qj::FT_HANDLE h, uint8_t, uint8_t, uint8_t, uint8_t) override { return check(h); }
    qj::FT_STATUS Purge(qj::FT_HANDLE h, uint32_t mask) override;
    qj::FT_STATUS GetStatus(qj::FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) override;
    qj::FT_STATUS Write(qj::FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) override;
    qj::FT_STATUS Read(qj::FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) override;
    qj::FT_STATUS Close(qj::FT_HANDLE h) override;
    qj::FT_STATUS WaitQueues(qj::FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) override;
    bool ReachesVirtualJig(qj::FT_HANDLE) override { return true; }  // a made-up jig, never hardware
    qj::Clock& clock() override { return clock_; }
    std::string backendName() const override { return "stream"; }

    size_t hostBytes() const { return hostBytes_; }
    size_t openHandles() const { return open_; }

private:
    qj::FT_STATUS check(qj::FT_HANDLE h) const;
    void releasePiece();

    std::mutex mu_;
    VirtualClock clock_;
    std::vector<uint8_t> stream_;
    size_t at_ = 0;
    std::deque<uint8_t> rx_;
    bool gone_ = false;
    size_t open_ = 0;
    uint32_t readTimeoutMs_ = 0;
    size_t hostBytes_ = 0;
};

}  // namespace qjt
