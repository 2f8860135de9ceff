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

// `qjig MODE read FILE [--twice]`. Twice: two complete reads, compared byte for
// byte; FILE is written only when they are equal (on a difference both reads
// are kept beside it as FILE.read1 and FILE.read2).
int read(const std::string& file, bool twice, const ReadOnce& readOnce);

// `qjig MODE verify FILE`: reads the target and compares it with FILE (a
// shorter file is compared with 0xFF behind it, as a write pads it). Nothing is
// written to the target.
int verify(const std::string& file, const ReadOnce& readOnce);

// "checksum: N bytes, CRC-32 xxxxxxxx, SHA-256 x...x" of a file's bytes (the
// values crc32 and sha256sum print); nothing when the file cannot be read.
std::optional<std::string> checksumLine(const std::string& path);
// Prints the checksum line of `path` after a successful read or write.
void printChecksum(const std::string& path);

// What a mode's read, verify and write commands drive: one complete read into
// a path, and the write of FILE; each returns the exit status.
struct Transfer {
    ReadOnce read;
    ReadOnce write;
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
