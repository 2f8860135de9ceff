#pragma once
// What the benchmark runner measures with: a byte counter around the backend,
// the wall clock and the process's CPU clock.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "jig/ftdi/FtdiApi.h"

namespace qjb {

using namespace qj;

// Counts the bytes that cross the link in both directions.
class CountingFtdi final : public FtdiApi {
public:
    explicit CountingFtdi(FtdiApi& inner) : in_(inner) {}
    uint64_t written = 0, read = 0;

    FT_STATUS CreateDeviceInfoList(uint32_t& n) override { return in_.CreateDeviceInfoList(n); }
    FT_STATUS GetDeviceInfo(uint32_t i, FtDeviceInfo& info) override { return in_.GetDeviceInfo(i, info); }
    FT_STATUS Open(uint32_t i, FT_HANDLE& h) override { return in_.Open(i, h); }
    FT_STATUS GetDriverVersion(FT_HANDLE h, uint32_t& v) override { return in_.GetDriverVersion(h, v); }
    FT_STATUS ResetDevice(FT_HANDLE h) override { return in_.ResetDevice(h); }
    FT_STATUS SetBaudRate(FT_HANDLE h, uint32_t b) override { return in_.SetBaudRate(h, b); }
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t p) override {
        return in_.SetDataCharacteristics(h, w, s, p);
    }
    FT_STATUS SetTimeouts(FT_HANDLE h, uint32_t r, uint32_t w) override { return in_.SetTimeouts(h, r, w); }
    FT_STATUS SetLatencyTimer(FT_HANDLE h, uint8_t ms) override { return in_.SetLatencyTimer(h, ms); }
    FT_STATUS SetChars(FT_HANDLE h, uint8_t ev, uint8_t evOn, uint8_t er, uint8_t erOn) override {
        return in_.SetChars(h, ev, evOn, er, erOn);
    }
    FT_STATUS Purge(FT_HANDLE h, uint32_t m) override { return in_.Purge(h, m); }
    FT_STATUS GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) override {
        return in_.GetStatus(h, rx, tx, ev);
    }
    FT_STATUS Write(FT_HANDLE h, const uint8_t* b, uint32_t n, uint32_t& w) override {
        FT_STATUS st = in_.Write(h, b, n, w);
        written += w;
        return st;
    }
    FT_STATUS Read(FT_HANDLE h, uint8_t* b, uint32_t n, uint32_t& got) override {
        FT_STATUS st = in_.Read(h, b, n, got);
        read += got;
        return st;
    }
    FT_STATUS Close(FT_HANDLE h) override { return in_.Close(h); }
    FT_STATUS WaitQueues(FT_HANDLE h, uint32_t rx, bool tx, uint32_t ms) override {
        return in_.WaitQueues(h, rx, tx, ms);
    }
    bool ReachesVirtualJig(FT_HANDLE h) override { return in_.ReachesVirtualJig(h); }
    Clock& clock() override { return in_.clock(); }
    std::string backendName() const override { return in_.backendName(); }

private:
    FtdiApi& in_;
};

inline double wallNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

inline double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace qjb
