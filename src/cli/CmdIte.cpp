#include <cstdio>

#include "cli/Checks.h"
#include "cli/Cli.h"
#include "jig/Text.h"
#include "modes/common/WiringList.h"
#include "modes/ite/IteCore.h"
#include "modes/ite/IteWiring.h"

namespace qj::cli {

namespace {
const char* kIteUsage =
    "usage: qjig ite boards\n"
    "       qjig ite read FILE --board N|TEXT|external [--reversed] [--twice]\n"
    "       qjig ite write FILE --board N|TEXT|external [--reversed] [--chip-erase]\n"
    "       qjig ite verify FILE --board N|TEXT|external [--reversed]\n"
    "\n"
    "The boards are the lines of \"MB connection ITE.txt\" in the current directory:\n"
    "N is a line number (1 = first line), TEXT an exact line or a part of one line;\n"
    "external chooses the external board. --reversed mirrors the board's contacts\n"
    "for a turned-over cable (the line needs KB_pins=). A write erases sector by\n"
    "sector unless --chip-erase is given. read and write apply the settings, check\n"
    "the connection and then transfer, in one run. --twice reads the flash two times\n"
    "and writes FILE only when both reads are equal; verify reads the flash and\n"
    "compares it with FILE (nothing is written).\n";

int misuse(const std::string& why) { return cli::misuse("ite", kIteUsage, why); }

bool ok(const ite::IteCore& core) { return core.lastOutcome() == Outcome::Ok; }

constexpr size_t kLargestImage = 196608;  // the 192 KiB chips
}  // namespace

static int cmdIte(CliContext& c) {
    Words w;
    if (const auto bad = readCommand(c.args, {"--reversed", "--chip-erase", "read:--twice"}, {"--board"}, w))
        return misuse(*bad);
    const std::string& sub = w.sub;
    std::string err;
    const std::string file = w.file, board = w.value("--board");
    const bool haveBoard = w.has("--board"), reversed = w.flag("--reversed"), chipErase = w.flag("--chip-erase");
    const bool twice = w.flag("--twice");
    const bool boards = sub == "boards";
    if (!boards && sub != "read" && sub != "write" && sub != "verify")
        return misuse("unknown sub-command \"" + sub + "\"");
    if (boards && (haveBoard || reversed || chipErase || !file.empty())) return misuse("boards takes no arguments");
    if (!boards && (file.empty() || !haveBoard)) return misuse(sub + " needs FILE and --board");
    if (chipErase && sub != "write") return misuse("--chip-erase is for a write");
    if (reversed && board == "external") return misuse("--reversed is for a motherboard's wiring");

    CliView view = commandView(c);
    ite::IteCore core(c.api, view);
    core.FormCreate();
    if (!core.wiringLoaded()) {
        std::string why;
        wiring::readList(ite::kWiringFile, &why);
        std::fprintf(stderr, "qjig ite: cannot read \"%s\" in the current directory%s\n", ite::kWiringFile,
                     why.empty() ? "" : (" (" + why + ")").c_str());
        return kFailed;
    }
    const auto& items = core.boardItems();
    constexpr size_t kFirstLine = 2;  // after the prompt and the external board
    if (boards) {
        for (size_t i = kFirstLine; i < items.size(); ++i) std::printf("%zu: %s\n", i - kFirstLine + 1, items[i].c_str());
        return kOk;
    }
    const int index = board == "external" ? 1 : findBoardItem(items, kFirstLine, board, err);
    if (index < 0) return misuse(err);
    // A line of the list can name the external board too: it has no contacts to mirror.
    if (reversed && contains(items[static_cast<size_t>(index)], ite::kExternalWord))
        return misuse("--reversed is for a motherboard's wiring; \"" + items[static_cast<size_t>(index)] +
                      "\" is the external board");
    // The file is looked at before the settings open the jig.
    if (!checks::lookFirst(sub, file, kLargestImage)) return kFailed;
    core.ITE_ComboBox_MB_SWITCHSelect(index);
    if (core.boardIndex() != index) return kFailed;  // the entry's bad key is logged
    if (reversed) {
        core.ITE_CheckBoxClick(false);
        if (core.mirrorChecked()) return kFailed;  // why is logged
    }
    if (chipErase) core.CheckBox_BL_SECClick(false);
    // Every run sends the settings: the jig may not hold them from an earlier one.
    core.ITE_SETUP_BitBtnClick();
    if (!ok(core)) return kFailed;
    core.ITE_CHECK_CON_BitBtnClick();
    core.waitIdle();
    if (!ok(core)) return kFailed;
    const char* writeError = c.lang == Lang::Ru ? "Ошибка записи в файл!" : checks::kWriteError;
    return checks::transfer(sub, file,
                            coreTransfer(core, view, file, kLargestImage, writeError, twice,
                                         &ite::IteCore::ITE_READ_BitBtnClick, &ite::IteCore::ITE_WRITE_BitBtnClick));
}

const ModeCommand kCommand{"ite", cmdIte, {
    {"boards", false, {}},
    {"read", true, {"--board=external", "--reversed", "--twice"}},
    {"write", true, {"--board=external", "--reversed", "--chip-erase"}},
    {"verify", true, {"--board=external", "--reversed"}},
}};

}  // namespace qj::cli
