#pragma once
// The technician's checks around a mode's read and write, the same for every
// mode: read twice and compare before trusting a dump, verify the target
// against a file, and a checksum line for every image read or written. They
// drive the mode's own operations (a complete read each time), so no protocol
// byte lives here.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qj::cli::checks {

// One complete read of the target into `path`; returns the exit status (0: the
// dump in `path` is whole).
using ReadOnce = std::function<int(const std::string& path)>;

// The line most modes log for a dump that cannot be stored.
inline constexpr const char* kWriteError = "Error writing the file!";

// A mode's read as the checks drive it.
struct Target {
    size_t image = 0;        // the longest image the mode reads: no file is read past it
    std::string writeError;  // the mode's own line for a dump that cannot be stored
    ReadOnce read;
};

// Looks at an input FILE before the jig is opened: a file that is no regular
// file, or cannot be read, is refused with a line naming it (false). At most
// `image` + 1 bytes are read. `empty` is set for a file of no bytes.
bool lookAtInput(const std::string& file, size_t image, bool* empty = nullptr);

// Looks at an output FILE before the jig is opened: absent, a regular file or a
// link to one; anything else is refused with a line naming it (false).
bool lookAtOutput(const std::string& file);

// The FILE of `read` (an output), `write` or `verify` (an input) looked at
// before anything opens the jig.
bool lookFirst(const std::string& sub, const std::string& file, size_t image);

// `qjig MODE read FILE [--twice]`. FILE is absent, a regular file or a link to
// one (written through the link); anything else is refused before the jig is
// opened. Twice: two complete reads into scratch files beside FILE, compared
// byte for byte; FILE is written only when they are equal (on a difference
// both reads are kept beside it, as FILE.read1 and FILE.read2 or the next free
// names, said in the output).
int read(const std::string& file, bool twice, const Target& t);

// `qjig MODE verify FILE`: reads the target into a scratch file beside FILE
// and compares it with FILE (a shorter file is compared with 0xFF behind it,
// as a write pads it). Nothing is written to the target.
int verify(const std::string& file, const Target& t);

// `qjig MODE write FILE`: FILE looked at before the jig is opened, then the
// mode's write; on success the checksum line of the image written (the
// first `image` bytes of FILE).
int write(const std::string& file, size_t image, const std::function<int()>& writeOnce);

// "checksum: N bytes, CRC-32 xxxxxxxx, SHA-256 x...x" of these bytes (the
// values crc32 and sha256sum print for a file of them).
std::string checksumLine(const std::vector<uint8_t>& bytes);
// The same of a file of at most `cap` bytes; nothing when it cannot be read whole.
std::optional<std::string> checksumLine(const std::string& path, size_t cap);

// What a mode's read, verify and write commands drive: its read as the checks
// drive it, and its write of FILE (the exit status).
struct Transfer {
    Target target;
    std::function<int()> write;
    bool twice = false;             // read: two reads, compared
    bool verifyAfterWrite = false;  // write: then read back and compare
};
// The tail every mode's `read|verify|write FILE` shares: the checks around
// the mode's own operations, and the checksum line after a good write.
int transfer(const std::string& sub, const std::string& file, const Transfer& t);

struct Difference {
    size_t first = 0;  // address of the first differing byte
    size_t count = 0;  // how many bytes differ
};
// Compares `got` with `want`; `want` shorter than `got` counts as 0xFF behind it,
// and `got` shorter than `want` counts the missing bytes as different.
std::optional<Difference> compare(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want);
std::string describe(const Difference& d);

}  // namespace qj::cli::checks
