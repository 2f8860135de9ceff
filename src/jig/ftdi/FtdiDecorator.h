#pragma once
// A backend worn over another one: every call goes to the backend inside, so a
// decorator (the trace, the one-device list, the fault plan, the benchmarks'
// byte counter) overrides only the calls it changes. A call added to FtdiApi
// is forwarded here, once.
#include <memory>
#include <string>

#include "jig/ftdi/FtdiApi.h"

namespace qj {

class FtdiDecorator : public FtdiApi {
public:
    // Owns the backend inside.
    explicit FtdiDecorator(std::unique_ptr<FtdiApi> inner) : owned_(std::move(inner)), inner_(owned_.get()) {}
    // Borrows it: `inner` outlives the decorator.
    explicit FtdiDecorator(FtdiApi& inner) : inner_(&inner) {}
    FtdiApi& inner() { return *inner_; }

    FT_STATUS CreateDeviceInfoList(uint32_t& numDevs) override { return inner_->CreateDeviceInfoList(numDevs); }
    FT_STATUS GetDeviceInfo(uint32_t index, FtDeviceInfo& info) override { return inner_->GetDeviceInfo(index, info); }
    FT_STATUS Open(uint32_t index, FT_HANDLE& handle) override { return inner_->Open(index, handle); }
    FT_STATUS GetDriverVersion(FT_HANDLE h, uint32_t& version) override { return inner_->GetDriverVersion(h, version); }
    FT_STATUS ResetDevice(FT_HANDLE h) override { return inner_->ResetDevice(h); }
    FT_STATUS SetBaudRate(FT_HANDLE h, uint32_t baud) override { return inner_->SetBaudRate(h, baud); }
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t p) override {
        return inner_->SetDataCharacteristics(h, w, s, p);
    }
    FT_STATUS SetTimeouts(FT_HANDLE h, uint32_t r, uint32_t w) override { return inner_->SetTimeouts(h, r, w); }
    FT_STATUS SetLatencyTimer(FT_HANDLE h, uint8_t ms) override { return inner_->SetLatencyTimer(h, ms); }
    FT_STATUS SetChars(FT_HANDLE h, uint8_t ev, uint8_t evOn, uint8_t er, uint8_t erOn) override {
        return inner_->SetChars(h, ev, evOn, er, erOn);
    }
    FT_STATUS Purge(FT_HANDLE h, uint32_t mask) override { return inner_->Purge(h, mask); }
    FT_STATUS GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) override {
        return inner_->GetStatus(h, rx, tx, ev);
    }
    FT_STATUS Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) override {
        return inner_->Write(h, buf, len, written);
    }
    FT_STATUS Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) override {
        return inner_->Read(h, buf, len, got);
    }
    FT_STATUS Close(FT_HANDLE h) override { return inner_->Close(h); }
    FT_STATUS WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) override {
        return inner_->WaitQueues(h, rxAtLeast, txEmpty, timeoutMs);
    }
    bool ReachesVirtualJig(FT_HANDLE h) override { return inner_->ReachesVirtualJig(h); }
    Clock& clock() override { return inner_->clock(); }
    std::string backendName() const override { return inner_->backendName(); }

private:
    std::unique_ptr<FtdiApi> owned_;

protected:
    FtdiApi* const inner_;
};

}  // namespace qj
