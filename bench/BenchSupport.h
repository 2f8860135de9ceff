#pragma once
// What the benchmark runner measures with: a byte counter around the backend,
// the wall clock and the process's CPU clock.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "jig/ftdi/FtdiDecorator.h"

namespace qjb {

using namespace qj;

// Counts the bytes that cross the link in both directions.
class CountingFtdi final : public FtdiDecorator {
public:
    explicit CountingFtdi(FtdiApi& inner) : FtdiDecorator(inner) {}
    uint64_t written = 0, read = 0;

    FT_STATUS Write(FT_HANDLE h, const uint8_t* b, uint32_t n, uint32_t& w) override {
        FT_STATUS st = inner_->Write(h, b, n, w);
        written += w;
        return st;
    }
    FT_STATUS Read(FT_HANDLE h, uint8_t* b, uint32_t n, uint32_t& got) override {
        FT_STATUS st = inner_->Read(h, b, n, got);
        read += got;
        return st;
    }
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
