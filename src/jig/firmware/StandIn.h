#pragma once
// The stand-in jig images and JTAG script that come with the source (written by
// firmware/make_images.py) are filler, not programs: the virtual jig takes them,
// a real jig or a real EC must never get them. Each carries a mark that a real
// image never has; the tool looks for it before it flashes an image or plays a
// script through a backend that is not the virtual jig.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qj {

inline constexpr std::string_view kStandInMark = "QJIG-STAND-IN:VIRTUAL-JIG-ONLY";

// Whether `n` bytes hold the mark.
bool hasStandInMark(const uint8_t* p, size_t n);
// Whether the jig image or script at `path` is a stand-in: an Intel HEX image
// by its decoded data, anything else by its bytes. A file that cannot be read
// is none (the caller's own open reports it).
bool isStandInFile(const std::string& path);
// What the user is told when a stand-in was about to reach real hardware.
std::string standInRefusal(const std::string& path);

}  // namespace qj
