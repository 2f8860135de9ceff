#include "sim/NorFlash.h"

#include <algorithm>
#include <cstdio>

namespace qj::sim {

NorFlash::NorFlash(std::vector<uint8_t>& cells, const SimConfig& cfg, std::string inKey, std::string outKey,
                   const std::function<uint8_t(size_t)>& pattern)
    : cells_(cells), outKey_(std::move(outKey)), out_(cfg.str(outKey_)) {
    if (!cfg.has(inKey)) {
        for (size_t i = 0; i < cells_.size(); ++i) cells_[i] = pattern(i);
        return;
    }
    const std::string path = cfg.str(inKey);
    if (!readImage(path, cells_)) loadError_ = "cannot read " + inKey + "=" + path;
}

NorFlash::~NorFlash() { writeImage(out_, outKey_, cells_); }

void NorFlash::erase(size_t at, size_t n) {
    const size_t end = std::min(cells_.size(), at + n);
    for (size_t i = at; i < end; ++i)
        if (!stuckThroughErase_ || !stuck(i)) cells_[i] = 0xFF;
}

void NorFlash::program(size_t at, const uint8_t* data, size_t n) {
    for (size_t k = 0; k < n; ++k) {
        const size_t i = (at + k) % cells_.size();
        if (!stuck(i)) cells_[i] &= data[k];
    }
}

void NorFlash::stick(int64_t at, int64_t n, bool throughErase) {
    if (at < 0) return;
    stuckAt_ = at;
    stuckEnd_ = at + n;
    stuckThroughErase_ = throughErase;
}

bool readImage(const std::string& path, std::vector<uint8_t>& mem) {
    std::fill(mem.begin(), mem.end(), 0xFF);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    (void)std::fread(mem.data(), 1, mem.size(), f);
    std::fclose(f);
    return true;
}

void writeImage(const std::string& path, const std::string& key, const std::vector<uint8_t>& mem) {
    if (path.empty()) return;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(mem.data(), 1, mem.size(), f) != mem.size())
        std::fprintf(stderr, "virtual jig: cannot write %s=%s\n", key.c_str(), path.c_str());
    if (f) std::fclose(f);
}

}  // namespace qj::sim
