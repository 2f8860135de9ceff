#include <cstdio>
#include <fstream>
#include <iterator>

#include "cli/Checks.h"
#include "cli/Cli.h"
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

std::optional<std::vector<uint8_t>> slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void printDecoded(const std::vector<uint8_t>& image) {
    for (const std::string& l : edid::describe(image)) std::printf("%s\n", l.c_str());
}
}  // namespace

static int cmdEdid(CliContext& c) {
    if (c.args.empty()) return misuse("");
    const std::string sub = c.args[0];
    Words w;
    std::string err;
    std::vector<std::string> flags;
    if (sub == "read") flags = {"--twice", "--decode"};
    if (sub == "write") flags = {"--force"};
    if (!readWords(c.args, 1, flags, {}, w, err)) return misuse(err);
    const std::string file = w.file;
    const bool twice = w.flag("--twice"), decode = w.flag("--decode"), force = w.flag("--force");
    if (sub != "read" && sub != "write" && sub != "verify" && sub != "decode")
        return misuse("unknown sub-command \"" + sub + "\"");
    if (file.empty()) return misuse(sub + " needs FILE");

    if (sub == "decode") {
        const auto image = slurp(file);
        if (!image) {
            std::fprintf(stderr, "qjig edid: cannot read %s\n", file.c_str());
            return kFailed;
        }
        printDecoded(*image);
        return edid::check(*image).good() ? kOk : kFailed;
    }

    checks::Transfer t;
    t.twice = twice;
    t.read = [&](const std::string& path) {
        CliView view;
        view.savePath = path;
        EdidCore core(c.api, view);
        return core.EDID_READClick() ? kOk : kFailed;
    };
    t.write = [&](const std::string& path) {
        CliView view;
        view.openPath = path;
        EdidCore core(c.api, view);
        return core.EDID_WRITEClick() ? kOk : kFailed;
    };
    if (sub == "read") {
        const int st = checks::transfer(sub, file, t);
        if (st == kOk && decode)
            if (const auto image = slurp(file)) printDecoded(*image);
        return st;
    }
    if (sub == "verify") return checks::transfer(sub, file, t);

    // write: the image as the EEPROM will hold it (padded with 0xFF, cut at 256 bytes).
    if (!force) {
        if (auto image = slurp(file); image && !image->empty()) {
            image->resize(EdidCore::kImage, 0xFF);
            const edid::Checks chk = edid::check(*image);
            if (!chk.good()) {
                std::printf("Refused: %s is not a valid EDID (%s). Give --force to write it anyway.\n", file.c_str(),
                            !chk.header ? "the base block's header is not 00 FF FF FF FF FF FF 00"
                                        : "a block's checksum is wrong");
                printDecoded(*image);
                return kFailed;
            }
        }
    }
    return checks::transfer(sub, file, t);
}

const ModeCommand kCommand{"edid", cmdEdid};

}  // namespace qj::cli
