#pragma once
// Decorator that writes every call of the wrapped backend to a trace file, one
// line each: "> " bytes written, "< " bytes read, "# " configuration calls.
// Other tools parse this format; keep it stable.
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "jig/ftdi/FtdiDecorator.h"

namespace qj {

class TraceFtdi final : public FtdiDecorator {
public:
    using Sink = std::function<void(const std::string&)>;
    // Appends to `path` (the file is created when missing).
    TraceFtdi(std::unique_ptr<FtdiApi> inner, const std::string& path);
    // Takes over `file`, already open for appending to `path`.
    TraceFtdi(std::unique_ptr<FtdiApi> inner, std::FILE* file, std::string path);
    ~TraceFtdi() override;
    bool ok() const { return file_ != nullptr; }
    // The first failed write is told to `sink` (stderr when unset); the calls
    // to the jig go on, only the trace is incomplete.
    void onWriteError(Sink sink) { writeError_ = std::move(sink); }
    bool writeFailed() const { return writeFailed_; }

    // The calls that leave a line.
    FT_STATUS CreateDeviceInfoList(uint32_t& numDevs) override;
    FT_STATUS Open(uint32_t index, FT_HANDLE& handle) override;
    FT_STATUS ResetDevice(FT_HANDLE h) override;
    FT_STATUS SetBaudRate(FT_HANDLE h, uint32_t baud) override;
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t p) override;
    FT_STATUS SetTimeouts(FT_HANDLE h, uint32_t readMs, uint32_t writeMs) override;
    FT_STATUS SetLatencyTimer(FT_HANDLE h, uint8_t ms) override;
    FT_STATUS SetChars(FT_HANDLE h, uint8_t ev, uint8_t evOn, uint8_t er, uint8_t erOn) override;
    FT_STATUS Purge(FT_HANDLE h, uint32_t mask) override;
    FT_STATUS Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) override;
    FT_STATUS Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) override;
    FT_STATUS Close(FT_HANDLE h) override;

private:
    void line(const std::string& s);
    void bytes(char dir, const uint8_t* p, uint32_t n);
    std::FILE* file_ = nullptr;
    std::string path_;
    Sink writeError_;
    std::atomic<bool> writeFailed_{false};
    std::mutex mu_;
};

}  // namespace qj
