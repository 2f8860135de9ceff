#include "jig/ftdi/OneDeviceFtdi.h"

namespace qj {

OneDeviceFtdi::OneDeviceFtdi(std::unique_ptr<FtdiApi> inner, std::string serial)
    : FtdiDecorator(std::move(inner)), serial_(std::move(serial)) {}

FT_STATUS OneDeviceFtdi::CreateDeviceInfoList(uint32_t& numDevs) {
    numDevs = 0;
    index_ = -1;
    uint32_t n = 0;
    const FT_STATUS st = inner_->CreateDeviceInfoList(n);
    if (st != FT_OK) return st;
    int64_t found = -1;
    for (uint32_t i = 0; i < n; ++i) {
        FtDeviceInfo info;
        if (inner_->GetDeviceInfo(i, info) != FT_OK || info.serial != serial_) continue;
        if (found >= 0) return FT_OK;  // two of them: the jig meant cannot be told
        found = i;
    }
    index_ = found;
    numDevs = found >= 0 ? 1 : 0;
    return FT_OK;
}

FT_STATUS OneDeviceFtdi::GetDeviceInfo(uint32_t index, FtDeviceInfo& info) {
    const int64_t at = index_;
    if (index != 0 || at < 0) return FT_DEVICE_NOT_FOUND;
    return inner_->GetDeviceInfo(static_cast<uint32_t>(at), info);
}

FT_STATUS OneDeviceFtdi::Open(uint32_t index, FT_HANDLE& handle) {
    handle = nullptr;
    const int64_t at = index_;
    if (index != 0 || at < 0) return FT_DEVICE_NOT_FOUND;
    return inner_->Open(static_cast<uint32_t>(at), handle);
}

}  // namespace qj
