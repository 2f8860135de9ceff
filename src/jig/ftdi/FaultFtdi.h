#pragma once
// Decorator that makes the Nth call of a kind fail, on whatever backend it
// wears (as TraceFtdi wears them), so that what the tool does when a real
// device misbehaves is proven on the real backends too, not only on the
// virtual jig. Configured by KIND=N pairs separated by commas
// (`--fault write-fail=3,read-fail=40`); calls are counted from the start,
// every handle together, and only the Nth call of its kind fails:
//   write-short  the Write sends the first half of its bytes (nothing of a single byte) and says FT_OK
//   write-fail   the Write sends nothing: FT_IO_ERROR
//   read-fail    the Read takes nothing: FT_IO_ERROR
//   status-fail  the GetStatus: FT_IO_ERROR, every count 0
//   purge-fail   the Purge purges nothing: FT_IO_ERROR
//   baud-fail    the SetBaudRate is refused (FT_INVALID_BAUD_RATE); the rate stays as it was
// Every other call goes straight through.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "jig/ftdi/FtdiDecorator.h"

namespace qj {

struct FaultPlan {
    // 0: never.
    uint64_t writeShort = 0, writeFail = 0, readFail = 0, statusFail = 0, purgeFail = 0, baudFail = 0;
    bool any() const { return writeShort || writeFail || readFail || statusFail || purgeFail || baudFail; }
    // Reads "KIND=N,..."; false with `error` naming the pair it cannot take.
    static bool parse(const std::string& text, FaultPlan& plan, std::string& error);
};

class FaultFtdi final : public FtdiDecorator {
public:
    FaultFtdi(std::unique_ptr<FtdiApi> inner, FaultPlan plan) : FtdiDecorator(std::move(inner)), plan_(plan) {}

    FT_STATUS SetBaudRate(FT_HANDLE h, uint32_t baud) override;
    FT_STATUS Purge(FT_HANDLE h, uint32_t mask) override;
    FT_STATUS GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) override;
    FT_STATUS Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) override;
    FT_STATUS Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) override;

private:
    const FaultPlan plan_;
    std::atomic<uint64_t> writes_{0}, reads_{0}, statuses_{0}, purges_{0}, bauds_{0};
};

}  // namespace qj
