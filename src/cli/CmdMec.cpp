#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "cli/Cli.h"
#include "modes/common/ImageFile.h"
#include "modes/mec/Mec16Core.h"

namespace qj::cli {

namespace {
const char* kMecUsage =
    "usage: qjig mec check\n"
    "       qjig mec read FILE [--info]\n"
    "       qjig mec erase [--info]\n"
    "       qjig mec write FILE [--erase] [--verify]\n"
    "\n"
    "check    the MEC's identification, registers and protection (write-protect pin, Boot_Lock)\n"
    "read     the MAIN block (196,608 bytes) into FILE; --info: MAIN then INFO (198,656 bytes)\n"
    "erase    the MAIN block; --info: MAIN and INFO\n"
    "write    the first 196,608 bytes of FILE into the MAIN block (a shorter file is padded\n"
    "         with FFh); the flash must be erased first. --erase erases MAIN before writing,\n"
    "         --verify reads MAIN back and compares it with the file.\n";

int misuse(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "qjig mec: %s\n", why.c_str());
    std::fputs(kMecUsage, stderr);
    return kMisuse;
}

bool readWhole(const std::string& path, std::vector<uint8_t>& out) {
    out.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t buf[65536];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// Reads MAIN back into a scratch file and compares it with what the write was given.
int verify(mec::Mec16Core& core, CliView& view, const std::string& file) {
    std::vector<uint8_t> want;
    if (!image::load(file, want, mec::kMainSize, 0xFF).ok()) {
        std::printf("Verify: cannot read %s again\n", file.c_str());
        return kFailed;
    }
    std::string scratch = (std::filesystem::temp_directory_path() / "qjig-mec-verify-XXXXXX").string();
    const int fd = mkstemp(scratch.data());
    if (fd < 0) {
        std::printf("Verify: cannot create a scratch file\n");
        return kFailed;
    }
    close(fd);
    view.savePath = scratch;
    core.CheckBox_MEC16_RDClick(false);
    core.BitBtn_RD_MEC16Click();
    core.waitIdle();
    std::vector<uint8_t> got;
    const bool read = core.lastOutcome() == mec::Mec16Core::Outcome::Ok && readWhole(scratch, got);
    std::remove(scratch.c_str());
    if (!read) return kFailed;
    const long at = mec::firstDifference(want, got);
    if (at < 0) {
        std::printf("Verify: the MAIN block equals the file.\n");
        return kOk;
    }
    const size_t i = static_cast<size_t>(at);
    char flash[16] = "missing";
    if (i < got.size()) std::snprintf(flash, sizeof flash, "%02Xh", got[i]);
    std::printf("Verify: first difference at %06lXh: file %02Xh, flash %s\n", static_cast<unsigned long>(at), want[i],
                flash);
    return kFailed;
}
}  // namespace

int cmdMec(CliContext& c) {
    if (c.args.empty()) return misuse("");
    const std::string sub = c.args[0];
    std::string file;
    bool info = false, erase = false, verifyAfter = false;
    for (size_t i = 1; i < c.args.size(); ++i) {
        const std::string& a = c.args[i];
        if (a == "--info") info = true;
        else if (a == "--erase") erase = true;
        else if (a == "--verify") verifyAfter = true;
        else if (!a.empty() && a[0] != '-' && file.empty()) file = a;
        else return misuse("unexpected argument \"" + a + "\"");
    }
    const bool needsFile = sub == "read" || sub == "write";
    if (sub != "check" && sub != "read" && sub != "erase" && sub != "write")
        return misuse("unknown sub-command \"" + sub + "\"");
    if (needsFile != !file.empty()) return misuse(needsFile ? sub + " needs FILE" : sub + " takes no FILE");
    if (info && sub != "read" && sub != "erase") return misuse("--info is for read and erase");
    if ((erase || verifyAfter) && sub != "write") return misuse("--erase and --verify are for write");

    CliView view;
    view.progress = isatty(2);
    mec::Mec16Core core(c.api, view);
    using Outcome = mec::Mec16Core::Outcome;
    auto ok = [&] { return core.lastOutcome() == Outcome::Ok; };
    if (sub == "check") {
        core.BitBtn_MEC16Click();
        return ok() ? kOk : kFailed;
    }
    if (sub == "read") {
        core.CheckBox_MEC16_RDClick(info);
        view.savePath = file;
        core.BitBtn_RD_MEC16Click();
        core.waitIdle();
        return ok() ? kOk : kFailed;
    }
    if (sub == "erase" || erase) {
        core.CheckBox_erase_mec16Click(info);
        core.BitBtn_MEC16_ERASEClick();
        if (!ok() || sub == "erase") return ok() ? kOk : kFailed;
    }
    view.openPath = file;
    core.BitBtn_MEC16_WRITEClick();
    core.waitIdle();
    if (!ok()) return kFailed;
    return verifyAfter ? verify(core, view, file) : kOk;
}

}  // namespace qj::cli
