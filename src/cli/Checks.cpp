#include "cli/Checks.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <openssl/evp.h>
#include <zlib.h>

#include "cli/Cli.h"

namespace qj::cli::checks {

namespace {
std::optional<std::vector<uint8_t>> slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    std::vector<uint8_t> v((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (f.bad()) return std::nullopt;
    return v;
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
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

std::optional<std::string> checksumLine(const std::string& path) {
    const auto bytes = slurp(path);
    if (!bytes) return std::nullopt;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (size_t at = 0; at < bytes->size(); at += 1u << 30) {
        const uInt n = static_cast<uInt>(std::min<size_t>(bytes->size() - at, 1u << 30));
        crc = crc32(crc, bytes->data() + at, n);
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdLen = 0;
    if (EVP_Digest(bytes->data(), bytes->size(), md, &mdLen, EVP_sha256(), nullptr) != 1) return std::nullopt;
    char c[16];
    std::snprintf(c, sizeof c, "%08lx", static_cast<unsigned long>(crc));
    return "checksum: " + std::to_string(bytes->size()) + " bytes, CRC-32 " + c + ", SHA-256 " + hex(md, mdLen);
}

void printChecksum(const std::string& path) {
    if (auto line = checksumLine(path)) std::printf("%s\n", line->c_str());
    else std::printf("checksum: cannot read %s\n", path.c_str());
    std::fflush(stdout);
}

int read(const std::string& file, bool twice, const ReadOnce& readOnce) {
    if (!twice) {
        const int st = readOnce(file);
        if (st == kOk) printChecksum(file);
        return st;
    }
    const std::string first = file + ".read1", second = file + ".read2";
    std::printf("first read\n");
    int st = readOnce(first);
    if (st != kOk) {
        removeQuietly(first);
        return st;
    }
    std::printf("second read\n");
    st = readOnce(second);
    if (st != kOk) {
        removeQuietly(first);
        removeQuietly(second);
        return st;
    }
    const auto a = slurp(first), b = slurp(second);
    if (!a || !b) {
        std::printf("The reads cannot be compared: a dump cannot be read back.\n");
        return kFailed;
    }
    if (auto d = compare(*b, *a)) {
        std::printf("The two reads differ: %s. %s is not written; the reads are kept as %s and %s.\n",
                    describe(*d).c_str(), file.c_str(), first.c_str(), second.c_str());
        return kFailed;
    }
    std::error_code ec;
    std::filesystem::rename(second, file, ec);
    if (ec) {
        std::printf("Cannot write %s: %s\n", file.c_str(), ec.message().c_str());
        removeQuietly(first);
        return kFailed;
    }
    removeQuietly(first);
    std::printf("The two reads are equal.\n");
    printChecksum(file);
    return kOk;
}

int verify(const std::string& file, const ReadOnce& readOnce) {
    const auto want = slurp(file);
    if (!want || want->empty()) {
        // A write refuses an empty file; there is nothing to verify against either.
        std::fprintf(stderr, "qjig: %s %s\n", want ? "nothing to compare in the empty file" : "cannot read", file.c_str());
        return kMisuse;
    }
    const std::string dump = file + ".verify";
    const int st = readOnce(dump);
    const auto got = st == kOk ? slurp(dump) : std::nullopt;
    removeQuietly(dump);
    if (st != kOk) return st;
    if (!got) {
        std::printf("Verify: the read cannot be compared.\n");
        return kFailed;
    }
    std::vector<uint8_t> image = *want;
    if (image.size() > got->size()) {
        // A write takes only the image's size from a longer file.
        std::printf("Verify: %s is longer than the target's image; its last %zu bytes are not compared.\n",
                    file.c_str(), image.size() - got->size());
        image.resize(got->size());
    }
    if (auto d = compare(*got, image)) {
        std::printf("Verify: the target differs from %s: %s.\n", file.c_str(), describe(*d).c_str());
        return kFailed;
    }
    std::printf("Verify: the target equals %s.\n", file.c_str());
    return kOk;
}

int transfer(const std::string& sub, const std::string& file, const Transfer& t) {
    if (sub == "read") return read(file, t.twice, t.read);
    if (sub == "verify") return verify(file, t.read);
    const int st = t.write(file);
    if (st != kOk) return st;
    printChecksum(file);
    return t.verifyAfterWrite ? verify(file, t.read) : kOk;
}

}  // namespace qj::cli::checks
