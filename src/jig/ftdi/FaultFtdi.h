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

#include "jig/ftdi/FtdiApi.h"

namespace qj {

struct FaultPlan {
    // 0: never.
    uint64_t writeShort = 0, writeFail = 0, readFail = 0, statusFail = 0, purgeFail = 0, baudFail = 0;
    bool any() const { return writeShort || writeFail || readFail || statusFail || purgeFail || baudFail; }
    // Reads "KIND=N,..."; false with `error` naming the pair it cannot take.
    static bool parse(const std::string& text, FaultPlan& plan, std::string& error);
};

class FaultFtdi final : public FtdiApi {
public:
    FaultFtdi(std::unique_ptr<FtdiApi> inner, FaultPlan plan) : inner_(std::move(inner)), plan_(plan) {}
    FtdiApi& inner() { return *inner_; }

    FT_STATUS CreateDeviceInfoList(uint32_t& numDevs) override { return inner_->CreateDeviceInfoList(numDevs); }
    FT_STATUS GetDeviceInfo(uint32_t index, FtDeviceInfo& info) override { return inner_->GetDeviceInfo(index, info); }
    FT_STATUS Open(uint32_t index, FT_HANDLE& handle) override { return inner_->Open(index, handle); }
    FT_STATUS GetDriverVersion(FT_HANDLE h, uint32_t& version) override { return inner_->GetDriverVersion(h, version); }
    FT_STATUS ResetDevice(FT_HANDLE h) override { return inner_->ResetDevice(h); }
    FT_STATUS SetBaudRate(FT_HANDLE h, uint32_t baud) override;
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t p) override {
        return inner_->SetDataCharacteristics(h, w, s, p);
    }
    FT_STATUS SetTimeouts(FT_HANDLE h, uint32_t r, uint32_t w) override { return inner_->SetTimeouts(h, r, w); }
    FT_STATUS SetLatencyTimer(FT_HANDLE h, uint8_t ms) override { return inner_->SetLatencyTimer(h, ms); }
    FT_STATUS SetChars(FT_HANDLE h, uint8_t ev, uint8_t evOn, uint8_t er, uint8_t erOn) override {
        return inner_->SetChars(h, ev, evOn, er, erOn);
    }
    FT_STATUS Purge(FT_HANDLE h, uint32_t mask) override;
    FT_STATUS GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) override;
    FT_STATUS Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) override;
    FT_STATUS Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) override;
    FT_STATUS Close(FT_HANDLE h) override { return inner_->Close(h); }
    FT_STATUS WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) override {
        return inner_->WaitQueues(h, rxAtLeast, txEmpty, timeoutMs);
    }
    bool ReachesVirtualJig(FT_HANDLE h) override { return inner_->ReachesVirtualJig(h); }
    Clock& clock() override { return inner_->clock(); }
    std::string backendName() const override { return inner_->backendName(); }

private:
    std::unique_ptr<FtdiApi> inner_;
    const FaultPlan plan_;
    std::atomic<uint64_t> writes_{0}, reads_{0}, statuses_{0}, purges_{0}, bauds_{0};
};

}  // namespace qj
