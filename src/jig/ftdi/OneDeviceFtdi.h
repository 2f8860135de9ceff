#pragma once
// `--device SERIAL`: the backend's device list as the program sees it holds
// only the device with that serial number, so open-and-identify, Start, every
// mode window and the version 3 update reach that jig and no other. Two copies
// of the tool can then work two jigs on one bench: neither opens, resets or
// sends its identification request to the other's device.
#include <atomic>
#include <memory>
#include <string>

#include "jig/ftdi/FtdiDecorator.h"

namespace qj {

class OneDeviceFtdi final : public FtdiDecorator {
public:
    OneDeviceFtdi(std::unique_ptr<FtdiApi> inner, std::string serial);
    const std::string& serial() const { return serial_; }

    // One device when exactly one of the backend's devices carries the serial,
    // none otherwise (unplugged, or two devices that cannot be told apart).
    FT_STATUS CreateDeviceInfoList(uint32_t& numDevs) override;
    FT_STATUS GetDeviceInfo(uint32_t index, FtDeviceInfo& info) override;
    FT_STATUS Open(uint32_t index, FT_HANDLE& handle) override;

private:
    std::string serial_;
    std::atomic<int64_t> index_{-1};  // the device's index in the backend's last list; -1 none
};

}  // namespace qj
