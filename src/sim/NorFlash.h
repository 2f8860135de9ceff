#pragma once
// The NOR flash of a target model, over the model's own cells (the vector the
// model serves reads from and the tests look at). The cells start from a
// pattern, or from the file the model's `...flash=FILE` key names (a shorter
// file leaves FFh behind it), and go to the file of its `...flash-out=FILE`
// key when the model goes away. An erase sets FFh, programming only clears
// bits, and a stuck cell keeps its value when programmed (and when erased too,
// where the model says so).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/SimConfig.h"

namespace qj::sim {

class NorFlash {
public:
    // Without `inKey` in `cfg`, cell i starts as pattern(i), in order.
    NorFlash(std::vector<uint8_t>& cells, const SimConfig& cfg, std::string inKey, std::string outKey,
             const std::function<uint8_t(size_t)>& pattern);
    ~NorFlash();
    NorFlash(const NorFlash&) = delete;
    NorFlash& operator=(const NorFlash&) = delete;

    // Why the `inKey` file could not be read ("cannot read KEY=FILE"), or "".
    const std::string& loadError() const { return loadError_; }

    // An erase stops at the end of the flash.
    void erase(size_t at, size_t n);
    // Addresses beyond the end wrap round, as the chip's address lines do.
    void program(size_t at, const uint8_t* data, size_t n);
    // `n` cells from `at` keep their value (none when `at` < 0).
    void stick(int64_t at, int64_t n, bool throughErase);

private:
    bool stuck(size_t i) const { return static_cast<int64_t>(i) >= stuckAt_ && static_cast<int64_t>(i) < stuckEnd_; }

    std::vector<uint8_t>& cells_;
    std::string outKey_, out_, loadError_;
    int64_t stuckAt_ = -1, stuckEnd_ = -1;
    bool stuckThroughErase_ = false;
};

// Fills `mem` with FFh and reads `path` over it; false when the file cannot be opened.
bool readImage(const std::string& path, std::vector<uint8_t>& mem);
// Writes a model's memory to `path` (nothing when it is ""); a failure is said on
// stderr with the key that named the file.
void writeImage(const std::string& path, const std::string& key, const std::vector<uint8_t>& mem);

}  // namespace qj::sim
