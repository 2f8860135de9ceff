#include <cstdio>

#include "cli/Checks.h"
#include "cli/Cli.h"
#include "modes/nuv/NuvCore.h"

namespace qj::cli {

namespace {
const char* kNuvUsage =
    "usage: qjig nuv read FILE [--type-a] [--script FILE] [--twice]\n"
    "       qjig nuv write FILE [--type-a] [--script FILE] [--verify]\n"
    "       qjig nuv verify FILE [--type-a] [--script FILE]\n"
    "\n"
    "Sends the pin settings, checks the Nuvoton EC's JTAG ID, plays the JTAG script\n"
    "(NUVOTON.qjf where the jig's images are, see qjig images, unless --script names\n"
    "one) and reads the 128 KiB flash into FILE or writes FILE to it. --type-a: the\n"
    "flat cable's contact 1 does not meet contact 1 of the keyboard connector. --twice\n"
    "reads the flash two times and writes FILE only when both reads are equal; verify\n"
    "(and write --verify, after the write) reads the flash and compares it with FILE.\n";

int misuse(const std::string& why) { return cli::misuse("nuv", kNuvUsage, why); }

// The script named by --script, looked at before the jig is opened: what is no
// script file at all is refused here; the connect step says the rest, as the window does.
bool lookAtScript(const std::string& path) {
    const nuv::Script s = nuv::readScript(path);
    if (!s.refused.empty()) std::fprintf(stderr, "qjig nuv: --script: %s\n", s.refused.c_str());
    return s.refused.empty();
}

struct Options {
    std::string sub, file, script;
    bool typeA = false, verify = false, twice = false;
};

// The window's three steps in a row; true when the transfer ended "OK".
bool runSteps(nuv::NuvCore& core, CliView& view, const Options& o, bool read, const std::string& file) {
    using Step = nuv::NuvCore::Step;
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
    return core.lastOutcome() == Outcome::Ok;
}
}  // namespace

static int cmdNuv(CliContext& c) {
    Words w;
    const auto bad = readCommand(c.args, {"--type-a", "write:--verify", "read:--twice"}, {"--script"}, w);
    Options o;
    o.sub = w.sub;
    if (c.args.empty()) return misuse("");
    if (o.sub != "read" && o.sub != "write" && o.sub != "verify") return misuse("unknown sub-command \"" + o.sub + "\"");
    if (bad) return misuse(*bad);
    o.file = w.file;
    o.typeA = w.flag("--type-a");
    o.verify = w.flag("--verify");
    o.twice = w.flag("--twice");
    o.script = w.value("--script");
    if (o.file.empty()) return misuse(o.sub + " needs FILE");

    if (!checks::lookFirst(o.sub, o.file, nuv::kImageSize)) return kFailed;
    if (!o.script.empty() && !lookAtScript(o.script)) return kFailed;
    CliView view = commandView(c);
    nuv::NuvCore core(c.api, view, c.programDir);
    checks::Transfer t;
    t.target = {nuv::kImageSize, checks::kWriteError,
                [&](const std::string& path) { return runSteps(core, view, o, true, path) ? kOk : kFailed; }};
    t.write = [&] { return runSteps(core, view, o, false, o.file) ? kOk : kFailed; };
    t.twice = o.twice;
    t.verifyAfterWrite = o.verify;
    return checks::transfer(o.sub, o.file, t);
}

const ModeCommand kCommand{"nuv", cmdNuv, {
    {"read", true, {"--type-a", "--script=FILE", "--twice"}},
    {"write", true, {"--type-a", "--script=FILE", "--verify"}},
    {"verify", true, {"--type-a", "--script=FILE"}},
}};

}  // namespace qj::cli
