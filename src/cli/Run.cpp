#include <cstdio>
#include <algorithm>
#include <cstring>
#include <map>
#include <unistd.h>

#include "cli/Cli.h"
#include "jig/ProgramDir.h"
#include "jig/Version.h"
#include "modes/Modes.h"
#include "jig/ftdi/Backends.h"
#include "jig/ftdi/OneDeviceFtdi.h"
#include "jig/ftdi/TraceFtdi.h"
#include "sim/SimBackend.h"

namespace qj::cli {

namespace {
struct Registered {
    Command fn = nullptr;
    std::vector<SubWords> subs;
};
std::map<std::string, Registered>& registry() {
    static std::map<std::string, Registered> commands;
    return commands;
}

std::string usage() {
    std::string u =
        "usage: qjig [--sim KEYS] [--backend NAME] [--device SERIAL] [--trace FILE] [--fault KIND=N] [--lang en|ru] COMMAND ...\n"
        "       qjig --help | --version\n"
        "\n"
        "commands:\n"
        "  devices                 list the FTDI devices of the backend\n"
        "  identify                open the jig and print its identification\n"
        "  start MODE              Start for a mode given by its item text (\"EDID lcd\", ...)\n"
        "  images                  where each mode's jig firmware image is found, and what it is\n"
        "  hex FILE                decode a jig firmware image (Intel HEX)\n"
        "  sim-keys                list the virtual jig's presets and keys\n"
        "  words                   list the commands, modes and options (for the shell's completion)\n";
    for (const Mode& m : modes()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-22s  %s\n", m.synopsis.c_str(), m.summary.c_str());
        u += line;
    }
    return u +
           "\n"
           "global options:\n"
           "  --sim KEYS       use the virtual jig (\"demo\", or keys such as jig=ENE_EDID_KB,devices=2)\n"
           "  --backend NAME   auto (default), tty, d2xx, libftdi or sim; tty:PATH[,PATH] names\n"
           "                   serial nodes directly (a pseudo-terminal served by qjig-sim)\n"
           "  --device SERIAL  use only the FTDI device with this serial number (see devices)\n"
           "  --trace FILE     append a byte trace of every FTDI call to FILE\n"
           "  --fault KIND=N   make the Nth call of a kind fail (write-short, write-fail, read-fail,\n"
           "                   status-fail, purge-fail, baud-fail), on any backend\n"
           "  --lang en|ru     which memo a two-language window prints (default en)\n"
           "\n"
           "Jig firmware images are looked up in the program's folder, then in\n"
           "$XDG_DATA_HOME/quillmore-jig/firmware/ (~/.local/share/...), then in the\n"
           "installation's share/quillmore-jig/firmware/.\n"
           "Log lines are printed as they are; a message box prints as \"!box KIND: TEXT\".\n"
           "Exit status: 0 success, 1 failure, 2 misuse. See qjig(1).\n";
}

// The commands beside the modes' own (which register under their words, and reach the jig).
struct Fixed {
    const char* word;
    Command fn;
    bool jig;  // reaches the jig: the backend is built (and --sim, --device checked)
};
const Fixed kFixed[] = {
    {"devices", cmdDevices, true}, {"identify", cmdIdentify, true}, {"start", cmdStart, true},
    {"images", cmdImages, false},  {"hex", cmdHex, false},          {"sim-keys", cmdSimKeys, false},
    {"words", cmdWords, false},
};
}  // namespace

ModeCommand::ModeCommand(const char* word, Command fn, std::vector<SubWords> subs) {
    registry()[word] = {fn, std::move(subs)};
}

Command modeCommand(const std::string& word) {
    auto it = registry().find(word);
    return it == registry().end() ? nullptr : it->second.fn;
}

const std::vector<SubWords>& modeSubWords(const std::string& word) {
    static const std::vector<SubWords> none;
    auto it = registry().find(word);
    return it == registry().end() ? none : it->second.subs;
}

// The words qjig takes, one a line, for the shell's completion:
//   command WORD                          a command (the fixed ones, the modes', help)
//   item TEXT                             a mode's selector item (what start takes)
//   sub WORD SUB FILE|- OPTION...         a mode's sub-command, whether a FILE follows, its options
int cmdWords(CliContext& c) {
    if (!c.args.empty()) return kMisuse;
    for (const Fixed& k : kFixed)
        if (k.fn != cmdWords) std::printf("command %s\n", k.word);
    for (const Mode& m : modes()) std::printf("command %s\n", m.word.c_str());
    std::printf("command help\n");
    for (const Mode& m : modes()) std::printf("item %s\n", m.item.c_str());
    for (const Mode& m : modes())
        for (const SubWords& s : modeSubWords(m.word)) {
            std::printf("sub %s %s %s", m.word.c_str(), s.sub.c_str(), s.file ? "FILE" : "-");
            for (const std::string& o : s.options) std::printf(" %s", o.c_str());
            std::printf("\n");
        }
    return kOk;
}

int run(std::vector<std::string> args) {
    sim::registerSimBackend();
    BackendOptions bo;
    std::string err;
    if (!takeBackendOptions(args, bo, err)) {
        std::fprintf(stderr, "qjig: %s\n%s", err.c_str(), usage().c_str());
        return kMisuse;
    }
    Lang lang = Lang::En;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--lang" && args[i].rfind("--lang=", 0) != 0) continue;
        std::string v = args[i].size() > 6 ? args[i].substr(7) : (i + 1 < args.size() ? args[i + 1] : "");
        const size_t take = args[i].size() > 6 ? 1 : 2;
        if (v != "en" && v != "ru") {
            std::fprintf(stderr, "qjig: --lang takes en or ru\n");
            return kMisuse;
        }
        lang = v == "ru" ? Lang::Ru : Lang::En;
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(std::min(i + take, args.size())));
        --i;
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(usage().c_str(), args.empty() ? stderr : stdout);
        return args.empty() ? kMisuse : kOk;
    }
    if (args[0] == "--version") {
        std::printf("qjig %s\n", versionText().c_str());
        return kOk;
    }
    const std::string cmd = args[0];
    args.erase(args.begin());
    Command fn = modeByWord(cmd) ? modeCommand(cmd) : nullptr;
    bool jig = true;
    for (const Fixed& k : kFixed) {
        if (cmd != k.word) continue;
        fn = k.fn;
        jig = k.jig;
    }
    if (!fn) {
        std::fprintf(stderr, "qjig: unknown command \"%s\"\n%s", cmd.c_str(), usage().c_str());
        return kMisuse;
    }
    std::unique_ptr<FtdiApi> api;
    if (jig) api = makeBackend(bo, err);
    else api = std::make_unique<NoDevicesFtdi>("none");
    if (!api) {
        std::fprintf(stderr, "qjig: %s\n", err.c_str());
        return kMisuse;
    }
    CliContext ctx{*api, args, programDir(), bo.backend, bo.device, lang};
    const int status = fn(ctx);
    // The trace asked for is incomplete (said on stderr when it happened): not a clean run.
    FtdiApi* traced = api.get();
    if (auto* one = dynamic_cast<OneDeviceFtdi*>(traced)) traced = &one->inner();
    auto* trace = dynamic_cast<TraceFtdi*>(traced);
    return status == kOk && trace && trace->writeFailed() ? kFailed : status;
}

}  // namespace qj::cli
