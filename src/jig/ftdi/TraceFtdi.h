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

#include "jig/ftdi/FtdiApi.h"

namespace qj {

class TraceFtdi final : public FtdiApi {
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

    QJ_FTDI_CALL_OVERRIDES;
    FT_STATUS WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) override;
    bool ReachesVirtualJig(FT_HANDLE h) override { return inner_->ReachesVirtualJig(h); }
    Clock& clock() override { return inner_->clock(); }
    std::string backendName() const override { return inner_->backendName(); }

private:
    void line(const std::string& s);
    void bytes(char dir, const uint8_t* p, uint32_t n);
    std::unique_ptr<FtdiApi> inner_;
    std::FILE* file_ = nullptr;
    std::string path_;
    Sink writeError_;
    std::atomic<bool> writeFailed_{false};
    std::mutex mu_;
};

}  // namespace qj
