#include <cstdio>
#include <vector>

#include "cli/Cli.h"
#include "jig/firmware/IntelHex.h"
#include "jig/firmware/JigFiles.h"
#include "jig/firmware/StandIn.h"
#include "jig/firmware/V3Update.h"
#include "modes/Modes.h"
#include "modes/nuv/NuvCore.h"

namespace qj::cli {

namespace {
struct ImageRow {
    std::string file;
    std::string modes;     // the modes that need it
    std::string firmware;  // what its identification contains ("" for the JTAG script)
};

// Every file the tool looks up, in the order of the mode list.
std::vector<ImageRow> imageRows() {
    std::vector<ImageRow> rows;
    for (const Mode& mode : modes()) {
        ImageRow* row = nullptr;
        for (auto& r : rows)
            if (r.file == mode.image) row = &r;
        if (!row) row = &rows.emplace_back(ImageRow{mode.image, "", mode.firmware});
        row->modes += (row->modes.empty() ? "" : ", ") + mode.item;
    }
    rows.push_back({kV3ImageFile, "MEC jtag on a version 3 jig", "M328_EPM240_v19"});
    rows.push_back({nuv::kScriptFile, "NUVOTON jtag, its JTAG script", ""});
    return rows;
}
}  // namespace

// qjig images: where each file is found and what it is (the identification it
// carries, whether it is a stand-in); exit 1 when one is missing or cannot be used.
int cmdImages(CliContext& c) {
    if (!c.args.empty()) {
        std::fprintf(stderr, "usage: qjig images\n");
        return kMisuse;
    }
    bool failed = false;
    for (const ImageRow& row : imageRows()) {
        std::printf("%s (%s)\n", row.file.c_str(), row.modes.c_str());
        const JigFileLookup where = findJigFile(row.file, c.programDir);
        if (!where.found) {
            std::printf("  missing %s\n", where.lookedIn().c_str());
            failed = true;
            continue;
        }
        std::printf("  found: %s\n", where.path.c_str());
        const std::string standIn =
            isStandInFile(where.path) ? "a stand-in for the virtual jig (refused on a real jig)" : "";
        if (row.firmware.empty()) {
            if (!standIn.empty()) std::printf("  %s\n", standIn.c_str());
            continue;
        }
        std::vector<uint8_t> bytes;
        if (row.file == kV3ImageFile) {
            size_t length = 0;
            if (!readV3Image(where.path, bytes, length)) {
                std::printf("  cannot be read\n");
                failed = true;
                continue;
            }
            bytes.resize(length);
        } else {
            NullView quiet;
            const JigImage img = loadJigImageFile(where.path, quiet);
            if (!img.loaded()) {
                std::printf("  cannot be used: %s%s\n", img.outcome.c_str(),
                            img.decode.ok ? "" : (" at byte " + std::to_string(img.decode.offset) + ": " +
                                                  img.decode.reason).c_str());
                failed = true;
                continue;
            }
            bytes = img.flash;
        }
        const std::string ident = carriedIdent(bytes.data(), bytes.size(), row.firmware);
        std::printf("  identification: %s%s\n",
                    ident.empty() ? ("none (no \"" + row.firmware + "\" in it)").c_str() : ident.c_str(),
                    standIn.empty() ? "" : (", " + standIn).c_str());
    }
    return failed ? kFailed : kOk;
}

}  // namespace qj::cli
