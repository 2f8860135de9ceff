#pragma once
// Choosing the FtdiApi backend once at start-up, the same way in both binaries
// and the tests: --backend auto|sim (real backends register here), --sim SPEC,
// --trace FILE.
#include <memory>
#include <string>
#include <vector>

#include "jig/ftdi/FtdiApi.h"

namespace qj {

struct BackendOptions {
    std::string backend = "auto";
    std::string simSpec;    // non-empty: the virtual jig
    std::string tracePath;  // non-empty: wrap in TraceFtdi
};

// Removes --backend/--sim/--trace (and their "=value" forms) from args;
// returns false with `error` set on a missing value.
bool takeBackendOptions(std::vector<std::string>& args, BackendOptions& opt, std::string& error);

// Builds the backend. Returns null with `error` set when it cannot.
std::unique_ptr<FtdiApi> makeBackend(const BackendOptions& opt, std::string& error);

// Names accepted by --backend, in the order auto tries the real ones.
std::vector<std::string> backendNames();

// A backend with no devices (no real backend available on this system).
class NoDevicesFtdi final : public FtdiApi {
public:
    explicit NoDevicesFtdi(std::string name) : name_(std::move(name)) {}
    FT_STATUS CreateDeviceInfoList(uint32_t& n) override { n = 0; return FT_OK; }
    FT_STATUS GetDeviceInfo(uint32_t, FtDeviceInfo&) override { return FT_DEVICE_NOT_FOUND; }
    FT_STATUS Open(uint32_t, FT_HANDLE& h) override { h = nullptr; return FT_DEVICE_NOT_FOUND; }
    FT_STATUS GetDriverVersion(FT_HANDLE, uint32_t&) override { return FT_INVALID_HANDLE; }
    FT_STATUS ResetDevice(FT_HANDLE) override { return FT_INVALID_HANDLE; }
    FT_STATUS SetBaudRate(FT_HANDLE, uint32_t) override { return FT_INVALID_HANDLE; }
    FT_STATUS SetDataCharacteristics(FT_HANDLE, uint8_t, uint8_t, uint8_t) override { return FT_INVALID_HANDLE; }
    FT_STATUS SetTimeouts(FT_HANDLE, uint32_t, uint32_t) override { return FT_INVALID_HANDLE; }
    FT_STATUS SetLatencyTimer(FT_HANDLE, uint8_t) override { return FT_INVALID_HANDLE; }
    FT_STATUS Purge(FT_HANDLE, uint32_t) override { return FT_INVALID_HANDLE; }
    FT_STATUS GetStatus(FT_HANDLE, uint32_t&, uint32_t&, uint32_t&) override { return FT_INVALID_HANDLE; }
    FT_STATUS Write(FT_HANDLE, const uint8_t*, uint32_t, uint32_t& w) override { w = 0; return FT_INVALID_HANDLE; }
    FT_STATUS Read(FT_HANDLE, uint8_t*, uint32_t, uint32_t& g) override { g = 0; return FT_INVALID_HANDLE; }
    FT_STATUS Close(FT_HANDLE) override { return FT_INVALID_HANDLE; }
    FT_STATUS WaitQueues(FT_HANDLE, uint32_t, bool, uint32_t) override { return FT_INVALID_HANDLE; }
    std::string backendName() const override { return name_; }

private:
    std::string name_;
};

}  // namespace qj
