#include <cstdio>

#include "cli/Checks.h"
#include "cli/Cli.h"
#include "modes/ene/EneWiring.h"
#include "modes/ene/EneCore.h"

namespace qj::cli {

namespace {
const char* kEneUsage =
    "usage: qjig ene wiring --board N|TEXT --cable PINS [--reversed]\n"
    "       qjig ene read FILE [--board N|TEXT | --kestra] [--twice]\n"
    "       qjig ene write FILE [--board N|TEXT | --kestra]\n"
    "       qjig ene verify FILE [--board N|TEXT | --kestra]\n"
    "\n"
    "The boards are the lines of \"MB connection ENE.txt\" in the current directory:\n"
    "N is a line number (1 = first line), TEXT an exact line or a part of one line.\n"
    "--board 0 or --kestra chooses the KESTRA adapter board. PINS is the cable's\n"
    "contact count (18, 20, 24, 25, 26, 28, 30 or 32); --reversed: the cable's\n"
    "contact 1 does not meet contact 1 of the keyboard connector.\n"
    "--twice reads the flash two times and writes FILE only when both reads are equal;\n"
    "verify reads the flash and compares it with FILE (nothing is written).\n";

int misuse(const std::string& why) { return cli::misuse("ene", kEneUsage, why); }

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char ch : s)
        if (ch < '0' || ch > '9') return false;
    return true;
}

// The cables the completion offers after --cable: their contact counts.
std::string cableOption() {
    std::string o;
    for (const char* item : ene::kCableItems) o += (o.empty() ? "" : "|") + std::to_string(ene::cableContacts(item));
    return "--cable=" + o;
}

}  // namespace

static int cmdEne(CliContext& c) {
    Words w;
    if (const auto bad = readCommand(c.args, {"--kestra", "--reversed", "read:--twice"}, {"--board", "--cable"}, w))
        return misuse(*bad);
    const std::string& sub = w.sub;
    std::string err;
    const std::string file = w.file, board = w.value("--board"), cable = w.value("--cable");
    const bool kestra = w.flag("--kestra"), reversed = w.flag("--reversed"), twice = w.flag("--twice");
    const bool haveBoard = w.has("--board");
    const bool wiring = sub == "wiring";
    if (!wiring && sub != "read" && sub != "write" && sub != "verify")
        return misuse("unknown sub-command \"" + sub + "\"");
    if (kestra && haveBoard) return misuse("--board and --kestra exclude each other");
    if (wiring && (!file.empty() || (!haveBoard && !kestra) || (cable.empty() && !kestra)))
        return misuse("wiring needs --board and --cable");
    if (!wiring && (file.empty() || !cable.empty() || reversed)) return misuse(sub + " needs FILE only");

    int cableIndex = -1;
    if (!cable.empty()) {
        for (int i = 0; i < 8; ++i)
            if (ene::cableContacts(ene::kCableItems[i]) == (allDigits(cable) && cable.size() <= 2 ? std::stoi(cable) : -1))
                cableIndex = i;
        if (cableIndex < 0) return misuse("no " + cable + " pin cable (18, 20, 24, 25, 26, 28, 30 or 32)");
    }

    if (!checks::lookFirst(sub, file, ene::kImageSize)) return kFailed;
    CliView view = commandView(c);
    ene::EneCore core(c.api, view);
    core.FormCreate();
    int boardIndex = kestra ? 0 : -1;
    if (haveBoard) {
        if (!core.wiringLoaded()) {
            std::string why;
            wiring::readList(ene::kWiringFile, &why);
            std::fprintf(stderr, "qjig ene: cannot read \"%s\" in the current directory%s\n", ene::kWiringFile,
                         why.empty() ? "" : (" (" + why + ")").c_str());
            return kFailed;
        }
        // --board 0 is the adapter, the item before the list's lines.
        boardIndex = allDigits(board) && board.find_first_not_of('0') == std::string::npos
                         ? 0
                         : findBoardItem(core.boardItems(), 1, board, err);
        if (boardIndex < 0) return misuse(err);
    }
    if (cableIndex >= 0) core.ComboBox_KB901X_FFCSelect(cableIndex);
    if (reversed) core.CheckBox_KB901XClick(false);
    if (boardIndex >= 0) {
        const std::string before = core.labelResult();
        core.ComboBox_KB901XSelect(boardIndex);
        if (boardIndex == 0 && core.labelResult() != " Selected KESTRA board ") {
            if (core.labelResult() != before) std::printf("%s\n", core.labelResult().c_str());
            return kFailed;
        }
    }
    if (wiring) {
        std::printf("%s\n", core.labelResult().c_str());
        const std::string& l = core.labelResult();
        return l.rfind("Please connect GND and: ", 0) == 0 || l == " Selected KESTRA board " ? kOk : kFailed;
    }
    return checks::transfer(sub, file,
                            coreTransfer(core, view, file, ene::kImageSize, checks::kWriteError, twice,
                                         &ene::EneCore::KB901X_READClick, &ene::EneCore::KB901X_WRITEClick));
}

const ModeCommand kCommand{"ene", cmdEne, {
    {"wiring", false, {"--board=", cableOption(), "--reversed"}},
    {"read", true, {"--board=", "--kestra", "--twice"}},
    {"write", true, {"--board=", "--kestra"}},
    {"verify", true, {"--board=", "--kestra"}},
}};

}  // namespace qj::cli
