#include "support/StreamFtdi.h"

#include <algorithm>

namespace qjt {

using namespace qj;

namespace {
FT_HANDLE const kHandle = reinterpret_cast<FT_HANDLE>(0x5151);
}

FT_STATUS StreamFtdi::check(FT_HANDLE h) const {
    if (h != kHandle || open_ == 0) return FT_INVALID_HANDLE;
    return gone_ ? FT_IO_ERROR : FT_OK;
}

void StreamFtdi::releasePiece() {
    if (at_ >= stream_.size()) return;
    size_t len = stream_[at_++];
    if (len == 0xFF) {
        gone_ = true;
        return;
    }
    if (len == 0xFE) {
        len = 0;
        for (int i = 0; i < 2 && at_ < stream_.size(); ++i) len = len << 8 | stream_[at_++];
    }
    const size_t n = std::min(len, stream_.size() - at_);
    rx_.insert(rx_.end(), stream_.begin() + static_cast<long>(at_), stream_.begin() + static_cast<long>(at_ + n));
    at_ += n;
}

FT_STATUS StreamFtdi::CreateDeviceInfoList(uint32_t& n) {
    std::lock_guard<std::mutex> g(mu_);
    n = gone_ ? 0 : 1;
    return FT_OK;
}

FT_STATUS StreamFtdi::GetDeviceInfo(uint32_t index, FtDeviceInfo& info) {
    if (index != 0) return FT_DEVICE_NOT_FOUND;
    info.description = "stream";
    info.serial = "S0";
    return FT_OK;
}

FT_STATUS StreamFtdi::Open(uint32_t index, FT_HANDLE& h) {
    std::lock_guard<std::mutex> g(mu_);
    h = nullptr;
    if (index != 0 || gone_ || open_ != 0) return FT_DEVICE_NOT_OPENED;
    ++open_;
    h = kHandle;
    return FT_OK;
}

FT_STATUS StreamFtdi::GetDriverVersion(FT_HANDLE h, uint32_t& v) {
    v = 0x00021224;
    return check(h);
}

FT_STATUS StreamFtdi::SetTimeouts(FT_HANDLE h, uint32_t r, uint32_t) {
    std::lock_guard<std::mutex> g(mu_);
    readTimeoutMs_ = r;
    return check(h);
}

FT_STATUS StreamFtdi::Purge(FT_HANDLE h, uint32_t mask) {
    std::lock_guard<std::mutex> g(mu_);
    if (mask & FT_PURGE_RX) rx_.clear();
    return check(h);
}

FT_STATUS StreamFtdi::GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) {
    std::lock_guard<std::mutex> g(mu_);
    clock_.sleepMs(0);
    rx = static_cast<uint32_t>(rx_.size());
    tx = ev = 0;
    return check(h);
}

FT_STATUS StreamFtdi::Write(FT_HANDLE h, const uint8_t*, uint32_t len, uint32_t& written) {
    std::lock_guard<std::mutex> g(mu_);
    written = 0;
    if (FT_STATUS st = check(h)) return st;
    written = len;
    hostBytes_ += len;
    releasePiece();
    return FT_OK;
}

FT_STATUS StreamFtdi::Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) {
    std::lock_guard<std::mutex> g(mu_);
    got = 0;
    if (FT_STATUS st = check(h)) return st;
    if (rx_.size() < len) clock_.sleepMs(readTimeoutMs_ == 0 ? 1000 : readTimeoutMs_);
    const uint32_t n = std::min<uint32_t>(len, static_cast<uint32_t>(rx_.size()));
    for (uint32_t i = 0; i < n; ++i) {
        buf[i] = rx_.front();
        rx_.pop_front();
    }
    got = n;
    return FT_OK;
}

FT_STATUS StreamFtdi::Close(FT_HANDLE h) {
    std::lock_guard<std::mutex> g(mu_);
    if (h != kHandle || open_ == 0) return FT_INVALID_HANDLE;
    --open_;
    return FT_OK;
}

FT_STATUS StreamFtdi::WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) {
    std::lock_guard<std::mutex> g(mu_);
    if (FT_STATUS st = check(h)) return st;
    if (txEmpty) return FT_OK;  // the host's bytes leave at once
    if (rxAtLeast > 0 && rx_.size() >= rxAtLeast) return FT_OK;
    clock_.sleepMs(std::max<uint32_t>(timeoutMs, 1));  // nothing more comes before the next write
    return FT_OK;
}

}  // namespace qjt
