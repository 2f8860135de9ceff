#include <cstdio>
#include <algorithm>
#include <cstring>
#include <map>
#include <unistd.h>

#include "cli/Cli.h"
#include "modes/Modes.h"
#include "jig/ProgramDir.h"
#include "jig/ftdi/Backends.h"
#include "jig/ftdi/TraceFtdi.h"
#include "sim/SimBackend.h"

namespace qj::cli {

namespace {
std::map<std::string, Command>& registry() {
    static std::map<std::string, Command> commands;
    return commands;
}

std::string usage() {
    std::string u =
        "usage: qjig [--sim KEYS] [--backend NAME] [--trace FILE] COMMAND ...\n"
        "\n"
        "commands:\n"
        "  devices                 list the FTDI devices of the backend\n"
        "  identify                open the jig and print its identification\n"
        "  start MODE              Start for a mode given by its item text (\"EDID lcd\", ...)\n"
        "  hex FILE                decode a jig firmware image (Intel HEX)\n";
    for (const Mode& m : modes()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-22s  %s\n", m.synopsis.c_str(), m.summary.c_str());
        u += line;
    }
    return u +
           "\n"
           "global options:\n"
           "  --sim KEYS      use the virtual jig (\"demo\", or keys such as jig=ENE_EDID_KB,devices=2)\n"
           "  --backend NAME  auto (default), tty, d2xx, libftdi or sim; tty:PATH[,PATH] names\n"
           "                  serial nodes directly (a pseudo-terminal served by qjig-sim)\n"
           "  --trace FILE    append a byte trace of every FTDI call to FILE\n"
           "  --lang en|ru    which memo a two-language window prints (default en)\n"
           "\n"
           "Log lines are printed as they are; a message box prints as \"!box KIND: TEXT\".\n"
           "Exit status: 0 success, 1 failure, 2 misuse.\n";
}
}  // namespace

ModeCommand::ModeCommand(const char* word, Command fn) { registry()[word] = fn; }

Command modeCommand(const std::string& word) {
    auto it = registry().find(word);
    return it == registry().end() ? nullptr : it->second;
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
    const std::string cmd = args[0];
    args.erase(args.begin());
    Command fn = nullptr;
    if (cmd == "devices") fn = cmdDevices;
    else if (cmd == "identify") fn = cmdIdentify;
    else if (cmd == "start") fn = cmdStart;
    else if (cmd == "hex") fn = cmdHex;
    else if (modeByWord(cmd)) fn = modeCommand(cmd);
    if (!fn) {
        std::fprintf(stderr, "qjig: unknown command \"%s\"\n%s", cmd.c_str(), usage().c_str());
        return kMisuse;
    }
    auto api = makeBackend(bo, err);
    if (!api) {
        std::fprintf(stderr, "qjig: %s\n", err.c_str());
        return kMisuse;
    }
    CliContext ctx{*api, args, programDir(), bo.backend, lang};
    const int status = fn(ctx);
    // The trace asked for is incomplete (said on stderr when it happened): not a clean run.
    auto* trace = dynamic_cast<TraceFtdi*>(api.get());
    return status == kOk && trace && trace->writeFailed() ? kFailed : status;
}

}  // namespace qj::cli
