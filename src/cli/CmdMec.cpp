#include <cstdio>

#include "cli/Checks.h"
#include "cli/Cli.h"
#include "modes/mec/MecCore.h"

namespace qj::cli {

namespace {
const char* kMecUsage =
    "usage: qjig mec check\n"
    "       qjig mec read FILE [--info] [--twice]\n"
    "       qjig mec verify FILE\n"
    "       qjig mec erase [--info]\n"
    "       qjig mec write FILE [--erase] [--verify]\n"
    "\n"
    "check    the MEC's identification, registers and protection (write-protect pin, Boot_Lock)\n"
    "read     the MAIN block (196,608 bytes) into FILE; --info: MAIN then INFO (198,656 bytes)\n"
    "verify   reads MAIN and compares it with FILE\n"
    "erase    the MAIN block; --info: MAIN and INFO\n"
    "write    the first 196,608 bytes of FILE into the MAIN block (a shorter file is padded\n"
    "         with FFh); the flash must be erased first. --erase erases MAIN before writing,\n"
    "         --verify reads MAIN back and compares it with the file.\n";

int misuse(const std::string& why) { return cli::misuse("mec", kMecUsage, why); }
}  // namespace

static int cmdMec(CliContext& c) {
    Words w;
    if (const auto bad = readCommand(c.args, {"--info", "--twice", "--erase", "--verify"}, {}, w)) return misuse(*bad);
    const std::string& sub = w.sub;
    const std::string file = w.file;
    const bool info = w.flag("--info"), twice = w.flag("--twice"), erase = w.flag("--erase"), verify = w.flag("--verify");
    const bool needsFile = sub == "read" || sub == "write" || sub == "verify";
    if (sub != "check" && sub != "erase" && !needsFile) return misuse("unknown sub-command \"" + sub + "\"");
    if (needsFile != !file.empty()) return misuse(needsFile ? sub + " needs FILE" : sub + " takes no FILE");
    if (info && sub != "read" && sub != "erase") return misuse("--info is for read and erase");
    if (twice && sub != "read") return misuse("--twice is for read");
    if ((erase || verify) && sub != "write") return misuse("--erase and --verify are for write");

    const size_t readSize = info ? mec::kMainSize + mec::kInfoSize : mec::kMainSize;
    if (!checks::lookFirst(sub, file, readSize)) return kFailed;
    CliView view = commandView(c);
    mec::MecCore core(c.api, view);
    if (sub == "check") return runOperation(core, &mec::MecCore::BitBtn_MEC16Click);
    core.CheckBox_erase_mec16Click(info);
    if (sub == "erase") return runOperation(core, &mec::MecCore::BitBtn_MEC16_ERASEClick);
    const bool withInfo = info && sub == "read";
    // The window's write neither erases nor verifies; here both are asked for by name.
    checks::Transfer t;
    t.target = {withInfo ? readSize : mec::kMainSize, checks::kWriteError, [&](const std::string& path) {
                    core.CheckBox_MEC16_RDClick(withInfo);
                    view.savePath = path;
                    return runOperation(core, &mec::MecCore::BitBtn_RD_MEC16Click);
                }};
    t.write = [&]() -> int {
        if (erase && runOperation(core, &mec::MecCore::BitBtn_MEC16_ERASEClick) != kOk) return kFailed;
        view.openPath = file;
        return runOperation(core, &mec::MecCore::BitBtn_MEC16_WRITEClick);
    };
    t.twice = twice;
    t.verifyAfterWrite = verify;
    return checks::transfer(sub, file, t);
}

const ModeCommand kCommand{"mec", cmdMec, {
    {"check", false, {}},
    {"read", true, {"--info", "--twice"}},
    {"verify", true, {}},
    {"erase", false, {"--info"}},
    {"write", true, {"--erase", "--verify"}},
}};

}  // namespace qj::cli
