#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "cli/Cli.h"
#include "modes/common/ImageFile.h"
#include "modes/nuvoton_jtag/NuvotonJtagCore.h"

namespace qj::cli {

namespace {
const char* kNuvUsage =
    "usage: qjig nuv read FILE [--type-a] [--script FILE]\n"
    "       qjig nuv write FILE [--type-a] [--script FILE] [--verify]\n"
    "\n"
    "Sends the pin settings, checks the Nuvoton EC's JTAG ID, plays the JTAG script\n"
    "(NUVOTON.qjf beside qjig unless --script names one) and reads the 128 KiB flash\n"
    "into FILE or writes FILE to it. --type-a: the flat cable's contact 1 does not meet\n"
    "contact 1 of the keyboard connector. --verify: after the write, the steps run\n"
    "again and the flash is read back and compared with FILE.\n";

int misuse(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "qjig nuv: %s\n", why.c_str());
    std::fputs(kNuvUsage, stderr);
    return kMisuse;
}

struct Options {
    bool read = true;
    std::string file, script;
    bool typeA = false, verify = false;
};

// The window's three steps in a row; true when the transfer ended "OK".
bool runSteps(nuv::NuvotonJtagCore& core, CliView& view, const Options& o, bool read, const std::string& file) {
    using Step = nuv::NuvotonJtagCore::Step;
    core.CheckBox1Click(!o.typeA);
    if (!o.script.empty()) core.setScriptPath(o.script);
    core.BitBtn_SETTINGSClick();
    if (core.step() != Step::Connect) return false;
    core.BitBtn_CONNECTClick();
    core.waitIdle();
    if (core.step() != Step::Transfer) return false;
    if (read) {
        view.savePath = file;
        core.BitBtn_NUV_JTAG_RDClick();
    } else {
        view.openPath = file;
        core.BitBtn_NUV_JTAG_WRClick();
    }
    core.waitIdle();
    // Nothing fires the window's timer here: its end of transfer runs now.
    if (!core.idle()) core.Timer_MSG_ERTimer();
    return core.resultText() == "OK";
}

int verify(nuv::NuvotonJtagCore& core, CliView& view, const Options& o) {
    std::vector<uint8_t> image;
    if (!image::load(o.file, image, nuv::kImageSize, 0xFF).ok()) {
        std::printf("verify: cannot read %s again\n", o.file.c_str());
        return kFailed;
    }
    char tmp[] = "/tmp/qjig-nuv-verify-XXXXXX";
    const int fd = mkstemp(tmp);
    if (fd < 0) {
        std::printf("verify: cannot create a temporary file\n");
        return kFailed;
    }
    close(fd);
    std::printf("verify: reading the flash back\n");
    std::fflush(stdout);
    const bool read = runSteps(core, view, o, true, tmp);
    std::vector<uint8_t> flash;
    const bool loaded = read && image::load(tmp, flash, nuv::kImageSize, 0xFF).ok();
    std::remove(tmp);
    if (!loaded) {
        std::printf("verify: the flash could not be read back\n");
        return kFailed;
    }
    for (size_t i = 0; i < image.size(); ++i) {
        if (flash[i] == image[i]) continue;
        std::printf("verify: the flash differs from the file at 0x%05zX (flash %02X, file %02X)\n", i, flash[i],
                    image[i]);
        return kFailed;
    }
    std::printf("verify: the flash equals the file\n");
    return kOk;
}
}  // namespace

int cmdNuv(CliContext& c) {
    if (c.args.empty()) return misuse("");
    Options o;
    const std::string sub = c.args[0];
    if (sub != "read" && sub != "write") return misuse("unknown sub-command \"" + sub + "\"");
    o.read = sub == "read";
    for (size_t i = 1; i < c.args.size(); ++i) {
        const std::string& a = c.args[i];
        if (a == "--type-a") {
            o.typeA = true;
        } else if (a == "--verify" && !o.read) {
            o.verify = true;
        } else if (a == "--script") {
            if (i + 1 >= c.args.size() || c.args[i + 1].empty()) return misuse("--script needs a file");
            o.script = c.args[++i];
        } else if (!a.empty() && a[0] != '-' && o.file.empty()) {
            o.file = a;
        } else {
            return misuse("unexpected argument \"" + a + "\"");
        }
    }
    if (o.file.empty()) return misuse(sub + " needs FILE");

    CliView view;
    view.progress = isatty(2);
    nuv::NuvotonJtagCore core(c.api, view, c.programDir);
    if (!runSteps(core, view, o, o.read, o.file)) return kFailed;
    return o.verify ? verify(core, view, o) : kOk;
}

}  // namespace qj::cli
