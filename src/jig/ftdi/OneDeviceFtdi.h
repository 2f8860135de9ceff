#pragma once
// `--device SERIAL`: the backend's device list as the program sees it holds
// only the device with that serial number, so open-and-identify, Start, every
// mode window and the version 3 update reach that jig and no other. Two copies
// of the tool can then work two jigs on one bench: neither opens, resets or
// sends its identification request to the other's device.
#include <atomic>
#include <memory>
#include <string>

#include "jig/ftdi/FtdiApi.h"

namespace qj {

class OneDeviceFtdi final : public FtdiApi {
public:
    OneDeviceFtdi(std::unique_ptr<FtdiApi> inner, std::string serial);
    const std::string& serial() const { return serial_; }
    FtdiApi& inner() { return *inner_; }

    // One device when exactly one of the backend's devices carries the serial,
    // none otherwise (unplugged, or two devices that cannot be told apart).
    FT_STATUS CreateDeviceInfoList(uint32_t& numDevs) override;
    FT_STATUS GetDeviceInfo(uint32_t index, FtDeviceInfo& info) override;
    FT_STATUS Open(uint32_t index, FT_HANDLE& handle) override;
    FT_STATUS GetDriverVersion(FT_HANDLE h, uint32_t& v) override { return inner_->GetDriverVersion(h, v); }
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
    std::unique_ptr<FtdiApi> inner_;
    std::string serial_;
    std::atomic<int64_t> index_{-1};  // the device's index in the backend's last list; -1 none
};

}  // namespace qj
