#pragma once
// The user's image files: loading one for a write, and writing a dump block by
// block. Both refuse to pass a failure off as a success: an empty file (or a
// path that is not a regular file) is never written into a chip as all 0xFF,
// and a dump is flushed and checked before it is called complete.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qj::image {

enum class Load {
    Ok,
    CannotOpen,  // missing, or no permission
    NotRegular,  // a folder, a device
    Empty,       // 0 bytes: nothing to write
    ReadError,   // an I/O error while reading
};

struct Loaded {
    Load result = Load::CannotOpen;
    size_t bytes = 0;  // bytes taken from the file (at most the image size)
    bool ok() const { return result == Load::Ok; }
};

// Fills `image` with `fill` to `size` bytes, then reads at most `size` bytes of
// the file over it (a shorter file leaves `fill` behind it).
Loaded load(const std::string& path, std::vector<uint8_t>& image, size_t size, uint8_t fill = 0xFF);

// A dump being written block by block.
class DumpFile {
public:
    DumpFile() = default;
    ~DumpFile() { close(); }
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    // A new file, replacing an existing one.
    bool create(const std::string& path);
    bool isOpen() const { return f_ != nullptr; }
    // False once any write has failed (disk full, I/O error).
    bool write(const uint8_t* p, size_t n);
    // Flushes and closes; true only when every byte reached the file.
    bool finish();
    // Closes on a failure path; what was written stays in the file.
    void close();

private:
    std::FILE* f_ = nullptr;
    bool ok_ = true;
};

}  // namespace qj::image
