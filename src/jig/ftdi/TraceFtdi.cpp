#include "jig/ftdi/TraceFtdi.h"

#include <cerrno>
#include <cstring>

namespace qj {

TraceFtdi::TraceFtdi(std::unique_ptr<FtdiApi> inner, const std::string& path)
    : TraceFtdi(std::move(inner), std::fopen(path.c_str(), "ab"), path) {}

TraceFtdi::TraceFtdi(std::unique_ptr<FtdiApi> inner, std::FILE* file, std::string path)
    : FtdiDecorator(std::move(inner)), file_(file), path_(std::move(path)) {}

TraceFtdi::~TraceFtdi() {
    if (file_) std::fclose(file_);
}

void TraceFtdi::line(const std::string& s) {
    std::string failure;
    {
        std::lock_guard<std::mutex> g(mu_);
        if (!file_ || writeFailed_) return;
        if (std::fputs(s.c_str(), file_) >= 0 && std::fputc('\n', file_) != EOF && std::fflush(file_) == 0) return;
        writeFailed_ = true;
        failure = "cannot write the trace file " + path_ + ": " + std::strerror(errno) + " (the trace is incomplete)";
    }
    if (writeError_) writeError_(failure);
    else std::fprintf(stderr, "%s\n", failure.c_str());
}

void TraceFtdi::bytes(char dir, const uint8_t* p, uint32_t n) {
    static const char* hex = "0123456789ABCDEF";
    std::string s;
    s.reserve(2 + 3 * n);
    s += dir;
    s += ' ';
    for (uint32_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += hex[p[i] >> 4];
        s += hex[p[i] & 15];
    }
    line(s);
}

FT_STATUS TraceFtdi::CreateDeviceInfoList(uint32_t& numDevs) {
    FT_STATUS st = inner_->CreateDeviceInfoList(numDevs);
    line("# devices " + std::to_string(st == FT_OK ? numDevs : 0));
    return st;
}
FT_STATUS TraceFtdi::Open(uint32_t index, FT_HANDLE& handle) {
    line("# open " + std::to_string(index));
    return inner_->Open(index, handle);
}
FT_STATUS TraceFtdi::ResetDevice(FT_HANDLE h) {
    line("# reset");
    return inner_->ResetDevice(h);
}
FT_STATUS TraceFtdi::SetBaudRate(FT_HANDLE h, uint32_t baud) {
    line("# baud " + std::to_string(baud));
    return inner_->SetBaudRate(h, baud);
}
FT_STATUS TraceFtdi::SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t p) {
    line("# data " + std::to_string(w) + " " + std::to_string(s) + " " + std::to_string(p));
    return inner_->SetDataCharacteristics(h, w, s, p);
}
FT_STATUS TraceFtdi::SetTimeouts(FT_HANDLE h, uint32_t r, uint32_t w) {
    line("# timeouts " + std::to_string(r) + " " + std::to_string(w));
    return inner_->SetTimeouts(h, r, w);
}
FT_STATUS TraceFtdi::SetLatencyTimer(FT_HANDLE h, uint8_t ms) {
    line("# latency " + std::to_string(ms));
    return inner_->SetLatencyTimer(h, ms);
}
// "# chars EE e RR r": each character in hex, each followed by its enable flag.
FT_STATUS TraceFtdi::SetChars(FT_HANDLE h, uint8_t ev, uint8_t evOn, uint8_t er, uint8_t erOn) {
    char s[32];
    std::snprintf(s, sizeof s, "# chars %02X %u %02X %u", ev, unsigned(evOn), er, unsigned(erOn));
    line(s);
    return inner_->SetChars(h, ev, evOn, er, erOn);
}
FT_STATUS TraceFtdi::Purge(FT_HANDLE h, uint32_t mask) {
    line("# purge " + std::to_string(mask));
    return inner_->Purge(h, mask);
}
FT_STATUS TraceFtdi::Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) {
    bytes('>', buf, len);
    return inner_->Write(h, buf, len, written);
}
FT_STATUS TraceFtdi::Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) {
    FT_STATUS st = inner_->Read(h, buf, len, got);
    if (got > 0) bytes('<', buf, got);
    return st;
}
FT_STATUS TraceFtdi::Close(FT_HANDLE h) {
    line("# close");
    return inner_->Close(h);
}

}  // namespace qj
