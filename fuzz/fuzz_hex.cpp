// The jig firmware image decoder: any bytes a file may hold.
#include <cstdint>
#include <vector>

#include "jig/firmware/IntelHex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(qj::kJigImageSize, 0xFF);
    const auto r = qj::decodeJigHex(data, size, image);
    if (image.size() != qj::kJigImageSize) __builtin_trap();  // never stored past the image
    (void)r;
    return 0;
}
