#pragma once
// Loading an image file that the user chose for a write.
#include <cstddef>
#include <cstdint>
#include <string>

namespace qj {

// Reads a regular file of at least one byte from its start into `dst`, at most
// `max` bytes; what lies beyond a shorter file is left as the caller filled it.
// False for an empty file, a path that is not a regular
// file (a folder, a device, a pipe) or a file that cannot be read: an image
// that is not there must never reach the target as padding.
bool loadImageFile(const std::string& path, uint8_t* dst, size_t max, size_t* got = nullptr);

}  // namespace qj
