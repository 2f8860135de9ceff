#include "cli/Checks.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <openssl/evp.h>
#include <zlib.h>

#include "cli/Cli.h"
#include "modes/common/ImageFile.h"

namespace qj::cli::checks {

namespace {
void removeQuietly(const std::string& path) {
    if (!path.empty()) std::remove(path.c_str());
}

std::string hex(const uint8_t* p, size_t n) {
    static const char* d = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

// The dump just stored, read back for its checksum line: what is on disk.
int printChecksum(const std::string& path, size_t cap) {
    if (auto line = checksumLine(path, cap)) {
        std::printf("%s\n", line->c_str());
        std::fflush(stdout);
        return kOk;
    }
    std::printf("checksum: cannot read %s\n", path.c_str());
    std::fflush(stdout);
    return kFailed;
}

// A read that is kept: under its usual name or the next free one, never over a file.
std::string keep(const std::string& scratch, const std::string& name) {
    const std::string kept = image::keepAs(scratch, name);
    return kept.empty() ? scratch : kept;
}
}  // namespace

std::optional<Difference> compare(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
    std::optional<Difference> d;
    const size_t n = std::max(got.size(), want.size());
    for (size_t i = 0; i < n; ++i) {
        const bool differs = i >= got.size() || got[i] != (i < want.size() ? want[i] : uint8_t{0xFF});
        if (!differs) continue;
        if (!d) d = Difference{i, 0};
        ++d->count;
    }
    return d;
}

std::string describe(const Difference& d) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "first difference at 0x%06zX, %zu byte%s differ", d.first, d.count,
                  d.count == 1 ? "" : "s");
    return buf;
}

std::string checksumLine(const std::vector<uint8_t>& bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    for (size_t at = 0; at < bytes.size(); at += 1u << 30) {
        const uInt n = static_cast<uInt>(std::min<size_t>(bytes.size() - at, 1u << 30));
        crc = crc32(crc, bytes.data() + at, n);
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdLen = 0;
    EVP_Digest(bytes.data(), bytes.size(), md, &mdLen, EVP_sha256(), nullptr);
    char c[16];
    std::snprintf(c, sizeof c, "%08lx", static_cast<unsigned long>(crc));
    return "checksum: " + std::to_string(bytes.size()) + " bytes, CRC-32 " + c + ", SHA-256 " + hex(md, mdLen);
}

std::optional<std::string> checksumLine(const std::string& path, size_t cap) {
    const image::FileRead r = image::readHead(path, cap);
    if ((!r.ok() && r.result != image::Load::Empty) || r.longer) return std::nullopt;
    return checksumLine(r.bytes);
}

bool lookAtInput(const std::string& file, size_t image, bool* empty) {
    const image::FileRead r = image::readHead(file, image);
    if (empty) *empty = r.result == image::Load::Empty;
    if (r.ok() || r.result == image::Load::Empty) return true;
    std::fprintf(stderr, "qjig: %s\n", image::whyRefused(file, r).c_str());
    return false;
}

bool lookAtOutput(const std::string& file) {
    // A device, a FIFO or a folder is never replaced by a dump, nor written into.
    const std::string why = image::whyNotWritable(file);
    if (!why.empty()) std::fprintf(stderr, "qjig: no dump is written to %s: %s\n", file.c_str(), why.c_str());
    return why.empty();
}

bool lookFirst(const std::string& sub, const std::string& file, size_t image) {
    if (sub == "read") return lookAtOutput(file);
    if (sub == "write" || sub == "verify") return lookAtInput(file, image);
    return true;
}

int read(const std::string& file, bool twice, const Target& t) {
    if (!lookAtOutput(file)) return kFailed;
    if (!twice) {
        const int st = t.read(file);
        return st == kOk ? printChecksum(file, t.image) : st;
    }
    const std::string first = image::createScratch(file, ".read1"), second = image::createScratch(file, ".read2");
    auto drop = [&] {
        removeQuietly(first);
        removeQuietly(second);
    };
    if (first.empty() || second.empty()) {
        std::fprintf(stderr, "qjig: cannot create a scratch file beside %s: %s\n", file.c_str(), std::strerror(errno));
        drop();
        return kFailed;
    }
    std::printf("first read\n");
    int st = t.read(first);
    if (st != kOk) {
        drop();
        return st;
    }
    std::printf("second read\n");
    st = t.read(second);
    if (st != kOk) {
        drop();
        return st;
    }
    const image::FileRead a = image::readHead(first, t.image), b = image::readHead(second, t.image);
    if (!a.ok() || !b.ok() || a.longer || b.longer) {
        std::printf("The reads cannot be compared: a dump cannot be read back.\n");
        drop();
        return kFailed;
    }
    if (auto d = compare(b.bytes, a.bytes)) {
        const std::string k1 = keep(first, file + ".read1"), k2 = keep(second, file + ".read2");
        std::printf("The two reads differ: %s. %s is not written; the reads are kept as %s and %s.\n",
                    describe(*d).c_str(), file.c_str(), k1.c_str(), k2.c_str());
        return kFailed;
    }
    // Written as a single read writes it: in place, through a link, every byte checked.
    if (!image::storeDump(file, b.bytes)) {
        std::printf("%s\n", t.writeError.c_str());
        removeQuietly(first);
        std::printf("The two reads are equal, but %s cannot be written; the read is kept as %s.\n", file.c_str(),
                    keep(second, file + ".read1").c_str());
        return kFailed;
    }
    drop();
    std::printf("The two reads are equal.\n");
    return printChecksum(file, t.image);
}

int verify(const std::string& file, const Target& t) {
    const image::FileRead want = image::readHead(file, t.image);
    if (want.result == image::Load::Empty) {
        // A write refuses an empty file; there is nothing to verify against either.
        std::fprintf(stderr, "qjig: nothing to compare in the empty file %s\n", file.c_str());
        return kMisuse;
    }
    if (!want.ok()) {
        std::fprintf(stderr, "qjig: %s\n", image::whyRefused(file, want).c_str());
        return kFailed;
    }
    const std::string dump = image::createScratch(file, ".verify");
    if (dump.empty()) {
        std::fprintf(stderr, "qjig: cannot create a scratch file beside %s: %s\n", file.c_str(), std::strerror(errno));
        return kFailed;
    }
    const int st = t.read(dump);
    const image::FileRead got = st == kOk ? image::readHead(dump, t.image) : image::FileRead{};
    removeQuietly(dump);
    if (st != kOk) return st;
    if (!got.ok() || got.longer) {
        std::printf("Verify: the read cannot be compared.\n");
        return kFailed;
    }
    std::vector<uint8_t> image = want.bytes;
    if (want.size > got.bytes.size()) {
        // A write takes only the image's size from a longer file.
        std::printf("Verify: %s is longer than the target's image; its last %llu bytes are not compared.\n",
                    file.c_str(), static_cast<unsigned long long>(want.size - got.bytes.size()));
        if (image.size() > got.bytes.size()) image.resize(got.bytes.size());
    }
    if (auto d = compare(got.bytes, image)) {
        std::printf("Verify: the target differs from %s: %s.\n", file.c_str(), describe(*d).c_str());
        return kFailed;
    }
    std::printf("Verify: the target equals %s.\n", file.c_str());
    return kOk;
}

int write(const std::string& file, size_t image, const std::function<int()>& writeOnce) {
    if (!lookAtInput(file, image)) return kFailed;
    const int st = writeOnce();
    if (st != kOk) return st;
    // The bytes the write took: FILE up to the image's size.
    const image::FileRead r = image::readHead(file, image);
    if (!r.ok()) {
        std::printf("checksum: cannot read %s\n", file.c_str());
        return kFailed;
    }
    std::printf("%s\n", checksumLine(r.bytes).c_str());
    std::fflush(stdout);
    return kOk;
}

int transfer(const std::string& sub, const std::string& file, const Transfer& t) {
    if (sub == "read") return read(file, t.twice, t.target);
    if (sub == "verify") return verify(file, t.target);
    const int st = write(file, t.target.image, t.write);
    return st == kOk && t.verifyAfterWrite ? verify(file, t.target) : st;
}

}  // namespace qj::cli::checks
