#pragma once
// Choosing the FtdiApi backend once at start-up, the same way in both binaries
// and the tests: --backend auto|tty|d2xx|libftdi|sim, --sim KEYS, --trace FILE,
// --fault KIND=N,...
//
// auto takes the first real backend that finds a device, in this order:
//   tty      the kernel's own FTDI serial driver: works out of the box on every
//            Linux, needs no extra library and no detaching, and the udev rule
//            sets its latency timer;
//   d2xx     the vendor's library, when installed: it only sees devices the
//            kernel driver has been unbound from, so it finds something exactly
//            when the user set the system up for it;
//   libftdi  user-space USB: it detaches the kernel driver for the session,
//            the most intrusive, so it comes last.
// `tty:PATH[,PATH...]` names serial nodes directly (a pseudo-terminal served
// by qjig-sim, or a port the sysfs scan does not show).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jig/ftdi/FtdiApi.h"
#include "jig/ftdi/Notice.h"

namespace qj {

struct BackendOptions {
    std::string backend = "auto";
    std::string simKeys;    // non-empty: the virtual jig
    std::string tracePath;  // non-empty: wrap in TraceFtdi
    std::string device;     // non-empty: the serial of the one device to use (OneDeviceFtdi)
    std::string faultSpec;  // non-empty: wrap in FaultFtdi (inside the trace, which shows what the tool asked)
    NoticeOnce::Sink notice;  // advice from the real backends; stderr when unset
};

// Removes --backend/--sim/--trace/--device/--fault (and their "=value" forms)
// from args; returns false with `error` set on a missing value.
bool takeBackendOptions(std::vector<std::string>& args, BackendOptions& opt, std::string& error);

// Builds the backend. Returns null with `error` set when it cannot; with a
// device chosen, also when no device or more than one carries its serial
// (`error` then lists the serials attached). Under auto the first real backend
// that has the device is taken.
std::unique_ptr<FtdiApi> makeBackend(const BackendOptions& opt, std::string& error);

// A backend that a front end adds to the real ones (the virtual jig: the jig
// library itself never depends on it). `make` returns null with `error` set,
// or throws std::exception, when the options do not describe a usable backend.
using BackendFactory = std::function<std::unique_ptr<FtdiApi>(const BackendOptions& opt, std::string& error)>;
// Registers (or replaces) the backend chosen by `--backend NAME`.
void registerBackend(const std::string& name, BackendFactory make);

// Names accepted by --backend: auto, the real ones in the order auto tries
// them (only those this build has), sim.
std::vector<std::string> backendNames();

// One real backend that auto may take. `make` returns null (with `why` set)
// when the backend cannot run here (no library).
struct BackendCandidate {
    std::string name;
    std::function<std::unique_ptr<FtdiApi>(std::string& why)> make;
};
// The real backends of this build, in auto's order.
std::vector<BackendCandidate> realBackends(const BackendOptions& opt);
// auto: the first candidate that lists at least one device; null when none does.
std::unique_ptr<FtdiApi> firstWithDevices(const std::vector<BackendCandidate>& candidates);

// Every device of every real backend, for `qjig devices`.
struct DeviceRow {
    std::string backend;
    uint32_t index = 0;
    FtDeviceInfo info;
    std::string note;  // set instead of a device: the backend is unavailable or has none
    bool failed = false;  // the device list could not be taken
};
std::vector<DeviceRow> listDevices(FtdiApi& api);
std::vector<DeviceRow> listAllDevices(const BackendOptions& opt);

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
    FT_STATUS SetChars(FT_HANDLE, uint8_t, uint8_t, uint8_t, uint8_t) override { return FT_INVALID_HANDLE; }
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
