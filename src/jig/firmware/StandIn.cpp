#include "jig/firmware/StandIn.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "jig/firmware/IntelHex.h"

namespace qj {

namespace {
// Every jig image and script is far below this; a larger file is read no further.
constexpr size_t kLookLimit = 1 << 20;

bool endsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

bool hasStandInMark(const uint8_t* p, size_t n) {
    const auto* m = reinterpret_cast<const uint8_t*>(kStandInMark.data());
    return std::search(p, p + n, m, m + kStandInMark.size()) != p + n;
}

bool isStandInFile(const std::string& path) {
    // A FIFO or a device named like an image is no image, and must not block Start.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<uint8_t> bytes(kLookLimit);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (endsWith(path, ".hex")) {
        // What would be flashed: the decoded image, as far as it decodes.
        std::vector<uint8_t> image(kJigImageSize, 0xFF);
        decodeJigHex(bytes.data(), std::min(bytes.size(), kHexFileLimit), image);
        return hasStandInMark(image.data(), image.size());
    }
    return hasStandInMark(bytes.data(), bytes.size());
}

std::string standInRefusal(const std::string& path) {
    return path +
           " is a stand-in for the virtual jig and was not sent to a real JIG. "
           "The files that came with the JIG (its images and NUVOTON.qjf) belong beside the program "
           "or in ~/.local/share/quillmore-jig/firmware/.";
}

}  // namespace qj
