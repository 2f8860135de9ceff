#include <cstdio>

#include "cli/Checks.h"
#include "cli/Cli.h"
#include "modes/common/ImageFile.h"
#include "modes/edid/EdidCore.h"
#include "modes/edid/EdidDecode.h"

namespace qj::cli {

namespace {
const char* kEdidUsage =
    "usage: qjig edid read FILE [--twice] [--decode]   read the panel's EEPROM and save its 256 bytes to FILE\n"
    "       qjig edid write FILE [--force]             write FILE to the EEPROM (a short file is padded with 0xFF)\n"
    "       qjig edid verify FILE                      read the EEPROM and compare it with FILE\n"
    "       qjig edid decode FILE                      the base block of an EDID file in plain words\n"
    "\n"
    "--twice reads the EEPROM two times and writes FILE only when both reads are equal.\n"
    "write refuses a file whose base block has a wrong header or checksum unless --force is given.\n";

int misuse(const std::string& why) { return cli::misuse("edid", kEdidUsage, why); }

// The longest EDID: a base block and 255 extension blocks of 128 bytes.
constexpr size_t kLongestEdid = 256 * 128;

// A file looked at and read no further than an EDID can go; refused by name.
std::optional<std::vector<uint8_t>> readEdidFile(const std::string& path, size_t cap) {
    const image::FileRead r = image::readHead(path, cap);
    if (!r.ok() && r.result != image::Load::Empty) {
        std::fprintf(stderr, "qjig edid: %s\n", image::whyRefused(path, r).c_str());
        return std::nullopt;
    }
    return r.bytes;
}

void printDecoded(const std::vector<uint8_t>& image) {
    for (const std::string& l : edid::describe(image)) std::printf("%s\n", l.c_str());
}
}  // namespace

static int cmdEdid(CliContext& c) {
    Words w;
    if (const auto bad = readCommand(c.args, {"read:--twice", "read:--decode", "write:--force"}, {}, w))
        return misuse(*bad);
    const std::string& sub = w.sub;
    const std::string file = w.file;
    const bool twice = w.flag("--twice"), decode = w.flag("--decode"), force = w.flag("--force");
    if (sub != "read" && sub != "write" && sub != "verify" && sub != "decode")
        return misuse("unknown sub-command \"" + sub + "\"");
    if (file.empty()) return misuse(sub + " needs FILE");

    if (sub == "decode") {
        const auto image = readEdidFile(file, kLongestEdid);
        if (!image) return kFailed;
        printDecoded(*image);
        return edid::check(*image).good() ? kOk : kFailed;
    }

    auto readOnce = [&](const std::string& path) {
        CliView view;
        view.savePath = path;
        edid::EdidCore core(c.api, view);
        return core.EDID_READClick() ? kOk : kFailed;
    };
    checks::Transfer t;
    t.target = {edid::EdidCore::kImage, "!box error: Ошибка создания файла.", readOnce};
    t.twice = twice;
    t.write = [&] {
        // The image as the EEPROM will hold it (padded with 0xFF, cut at 256 bytes).
        std::vector<uint8_t> image;
        if (!force && image::load(file, image, edid::EdidCore::kImage).ok()) {
            const edid::Checks chk = edid::check(image);
            if (!chk.good()) {
                std::printf("Refused: %s is not a valid EDID (%s). Give --force to write it anyway.\n", file.c_str(),
                            !chk.header ? "the base block's header is not 00 FF FF FF FF FF FF 00"
                                        : "a block's checksum is wrong");
                printDecoded(image);
                return kFailed;
            }
        }
        CliView view;
        view.openPath = file;
        edid::EdidCore core(c.api, view);
        return core.EDID_WRITEClick() ? kOk : kFailed;
    };
    const int st = checks::transfer(sub, file, t);
    if (st == kOk && sub == "read" && decode)
        if (const auto image = readEdidFile(file, edid::EdidCore::kImage)) printDecoded(*image);
    return st;
}

const ModeCommand kCommand{"edid", cmdEdid, {
    {"read", true, {"--twice", "--decode"}},
    {"write", true, {"--force"}},
    {"verify", true, {}},
    {"decode", true, {}},
}};

}  // namespace qj::cli
