#pragma once
// The user's files: every path the user hands over (an image to write or to
// compare, a dump to store, a wiring list, a JTAG script) is looked at before
// anything is read from it or written to it, and read no further than the
// operation needs. A folder, a device, a FIFO or a kernel file is refused by
// name: reading one would hang or never end, and writing one would hide a lost
// dump. An empty file is never written into a chip as all 0xFF, and a dump is
// flushed and checked before it is called complete.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace qj::image {

// What a path names (symbolic links followed).
enum class Kind {
    Missing,     // nothing there (or a link to nothing)
    Regular,
    Folder,
    Device,      // a character or block device
    Fifo,
    Socket,
    KernelFile,  // a /proc or /sys entry: its length says nothing of its content
    Other,
    Unreachable, // the path cannot be looked at (a folder on the way refuses it)
};

struct Look {
    Kind kind = Kind::Missing;
    uint64_t size = 0;  // a regular file's length
    int error = 0;      // why it cannot be reached (errno), for Unreachable
};
Look look(const std::string& path);
// "a folder", "a device", "a FIFO", ... (empty for a regular file).
std::string describe(Kind k);

enum class Load {
    Ok,
    CannotOpen,  // missing, or no permission
    NotRegular,  // a folder, a device, a FIFO, a kernel file
    Empty,       // 0 bytes: nothing to write
    ReadError,   // an I/O error while reading
};

// The head of a file: at most `cap` bytes, and whether more follow.
struct FileRead {
    Load result = Load::CannotOpen;
    Kind kind = Kind::Missing;
    int error = 0;                // errno of a failed open or read
    uint64_t size = 0;            // the file's length
    std::vector<uint8_t> bytes;   // at most `cap` bytes
    bool longer = false;          // the file holds more than `cap` bytes
    bool ok() const { return result == Load::Ok; }
};
// Never blocks on a FIFO, never reads a device, never reads past cap + 1 bytes.
FileRead readHead(const std::string& path, size_t cap);
// One line for a refusal: "PATH is a folder, not a regular file", "PATH: Permission denied", ...
std::string whyRefused(const std::string& path, const FileRead& r);

struct Loaded {
    Load result = Load::CannotOpen;
    size_t bytes = 0;     // bytes taken from the file (at most the image size)
    bool longer = false;  // the file goes on past the image
    bool ok() const { return result == Load::Ok; }
};

// Fills `image` with `fill` to `size` bytes, then reads at most `size` bytes of
// the file over it (a shorter file leaves `fill` behind it).
Loaded load(const std::string& path, std::vector<uint8_t>& image, size_t size, uint8_t fill = 0xFF);

// Where a dump may go: absent (it is created) or a regular file (it is
// rewritten in place, through a symbolic link to the file the link names).
// Anything else is refused before a dump is begun. Empty when it may; else why not.
std::string whyNotWritable(const std::string& path);

// A dump being written block by block.
class DumpFile {
public:
    DumpFile() = default;
    ~DumpFile() { close(); }
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    // The file at `path` emptied (or created) for a new dump. A path that names
    // no regular file (a device, a FIFO, a folder) is refused, never opened.
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

// A whole dump into `path` through DumpFile; true only when every byte is stored.
bool storeDump(const std::string& path, const std::vector<uint8_t>& bytes);

// A new, empty file beside `besides` (in its folder, so a rename stays on one
// file system) whose name no other file has: created exclusively, with a
// unique suffix after `besides` + `tag`. Empty when none can be made.
std::string createScratch(const std::string& besides, const std::string& tag);
// Moves `scratch` to `name`, or to the first of name.1, name.2, ... that does
// not exist: an existing file is never replaced. The name taken, or empty.
std::string keepAs(const std::string& scratch, const std::string& name);

}  // namespace qj::image
