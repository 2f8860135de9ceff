#include "jig/firmware/IntelHex.h"

#include <cstdio>
#include <filesystem>

#include "jig/Text.h"
#include "jig/firmware/JigFiles.h"

namespace qj {

namespace {
// A digit's value: "0"-"9" by their code, every other character as if it were
// "A"-"F". Nothing else is checked; the checksum catches what this lets through.
int digit(uint8_t c) { return c >= '0' && c <= '9' ? c - 48 : c - 55; }
}  // namespace

HexDecodeResult decodeJigHex(const uint8_t* data, size_t n, std::vector<uint8_t>& image) {
    HexDecodeResult r;
    auto fail = [&](size_t at, const char* why) {
        r.ok = false;
        r.offset = at;
        r.reason = why;
        return r;
    };
    size_t pos = 0;
    while (pos < n) {
        const size_t rec = pos;
        if (data[pos] != ':') return fail(rec, "record does not start with ':'");
        // A record is decoded only from bytes that were read.
        auto pair = [&](size_t at) { return static_cast<uint8_t>(16 * digit(data[at]) + digit(data[at + 1])); };
        if (rec + 9 > n) return fail(rec, "record cut off by the end of the file");
        const uint8_t count = pair(rec + 1);
        const uint8_t hi = pair(rec + 3), lo = pair(rec + 5);
        const uint8_t type = pair(rec + 7);
        uint8_t sum = static_cast<uint8_t>(count + hi + lo + type);
        pos = rec + 9;
        if (type == 0x00) {
            if (pos + 2 * size_t(count) + 2 > n) return fail(rec, "record cut off by the end of the file");
            const size_t addr = size_t(hi) << 8 | lo;
            if (addr + count > kJigImageSize) return fail(rec, "data beyond address 0x17FF");
            for (size_t i = 0; i < count; ++i, pos += 2) {
                const uint8_t b = pair(pos);
                sum = static_cast<uint8_t>(sum + b);
                image[addr + i] = b;
            }
            sum = static_cast<uint8_t>(sum + pair(pos));
            pos += 2 + 2;  // checksum, then CR LF taken on trust
            if (sum != 0) return fail(rec, "bad checksum");
        } else if (type == 0x01) {
            if (pos + 2 > n) return fail(rec, "record cut off by the end of the file");
            sum = static_cast<uint8_t>(sum + pair(pos));
            if (sum != 0) return fail(rec, "bad checksum");
            r.sawEof = true;
            return r;
        } else {
            return fail(rec, "record type other than 00 and 01");
        }
    }
    return r;
}

namespace {
// `lookedIn`: where a missing image was looked for ("" for a path the user named).
JigImage loadImage(const std::string& path, const std::string& lookedIn, ModeView& view) {
    JigImage img;
    std::error_code ec;
    std::FILE* f = std::filesystem::is_regular_file(path, ec) ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!f) {
        view.log("Not found .hex file -> " + path + " for Q37 in the program folder " + lookedIn);
        img.outcome = kErrorFileSearch;
        return img;
    }
    std::vector<uint8_t> buf(kHexFileLimit);
    const size_t n = std::fread(buf.data(), 1, buf.size(), f);
    view.log("UPGRADE file loaded to buffer (" + path + ")");
    std::fclose(f);
    view.log("Bytes read from file " + std::to_string(n));

    img.decode = decodeJigHex(buf.data(), n, img.flash);
    if (!img.decode.ok) {
        view.log("Wrong file format!");
        img.outcome = kErrorFileFormat;
        return img;
    }
    size_t end = kJigImageSize;
    while (end > 0 && img.flash[end - 1] == 0xFF) --end;
    if (end == 0) {
        // Nothing to send: the bootloader would get no line and the jig no program.
        view.log("The image holds no data (every byte is 0xFF)!");
        img.outcome = kErrorFileFormat;
        return img;
    }
    img.end = static_cast<uint32_t>(end - 1);
    view.log("HEX position_buff " + hexNumber(img.end, 4));
    view.gaugeMax(static_cast<int>(img.end));
    return img;
}

}  // namespace

JigImage loadJigImageFile(const std::string& path, ModeView& view) { return loadImage(path, "", view); }

JigImage loadJigImage(const std::string& name, const std::string& programDir, ModeView& view) {
    const JigFileLookup file = findJigFile(name, programDir);
    return loadImage(file.path, file.found ? "" : file.lookedIn(), view);
}

}  // namespace qj
