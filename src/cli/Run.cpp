#include <cstdio>
#include <algorithm>
#include <cstring>
#include <unistd.h>

#include "cli/Cli.h"
#include "jig/Version.h"
#include "jig/ftdi/Backends.h"
#include "jig/ftdi/OneDeviceFtdi.h"
#include "jig/ftdi/TraceFtdi.h"
#include "sim/SimBackend.h"

namespace qj::cli {

namespace {
const char* kUsage =
    "usage: qjig [--sim SPEC] [--backend NAME] [--device SERIAL] [--trace FILE] [--fault KIND=N] [--lang en|ru] COMMAND ...\n"
    "       qjig --help | --version\n"
    "\n"
    "commands:\n"
    "  devices                 list the FTDI devices of the backend\n"
    "  identify                open the jig and print its identification\n"
    "  start MODE              Start for a mode given by its item text (\"EDID lcd\", ...)\n"
    "  images                  where each mode's jig firmware image is found, and what it is\n"
    "  hex FILE                decode a jig firmware image (Intel HEX)\n"
    "  sim-keys                list the virtual jig's presets and keys\n"
    "  ene ...                 ENE KB90xx: wiring, read, write, verify\n"
    "  edid ...                display EDID EEPROM: read, write, verify, decode\n"
    "  keyboard scan ...       keyboard matrix tester\n"
    "  ite ...                 ITE EC: boards, read, write, verify\n"
    "  mec ...                 MEC16xx over JTAG: check, read, verify, erase, write\n"
    "  nuv ...                 Nuvoton EC over JTAG: read, write, verify\n"
    "  npce ...                Nuvoton NPCE over SPI: read, write, verify\n"
    "\n"
    "global options:\n"
    "  --sim SPEC       use the virtual jig (\"demo\", or keys such as jig=ENE_EDID_KB,devices=2)\n"
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

struct Command {
    const char* word;
    int (*fn)(CliContext&);
    bool jig;  // reaches the jig: the backend is built (and --sim, --device checked)
};
const Command kCommands[] = {
    {"devices", cmdDevices, true}, {"identify", cmdIdentify, true}, {"start", cmdStart, true},
    {"images", cmdImages, false},  {"hex", cmdHex, false},          {"sim-keys", cmdSimKeys, false},
    {"ene", cmdEne, true},         {"edid", cmdEdid, true},         {"keyboard", cmdKeyboard, true},
    {"ite", cmdIte, true},         {"mec", cmdMec, true},           {"nuv", cmdNuv, true},
    {"npce", cmdNpce, true},
};
}  // namespace

int run(std::vector<std::string> args) {
    sim::registerSimBackend();
    BackendOptions bo;
    std::string err;
    if (!takeBackendOptions(args, bo, err)) {
        std::fprintf(stderr, "qjig: %s\n%s", err.c_str(), kUsage);
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
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? kMisuse : kOk;
    }
    if (args[0] == "--version") {
        std::printf("qjig %s\n", versionText().c_str());
        return kOk;
    }
    const std::string cmd = args[0];
    args.erase(args.begin());
    const Command* command = nullptr;
    for (const Command& k : kCommands)
        if (cmd == k.word) command = &k;
    if (!command) {
        std::fprintf(stderr, "qjig: unknown command \"%s\"\n%s", cmd.c_str(), kUsage);
        return kMisuse;
    }
    std::unique_ptr<FtdiApi> api;
    if (command->jig) api = makeBackend(bo, err);
    else api = std::make_unique<NoDevicesFtdi>("none");
    if (!api) {
        std::fprintf(stderr, "qjig: %s\n", err.c_str());
        return kMisuse;
    }
    CliContext ctx{*api, args, programDir(), bo.backend, bo.device, lang};
    const int status = command->fn(ctx);
    // The trace asked for is incomplete (said on stderr when it happened): not a clean run.
    FtdiApi* traced = api.get();
    if (auto* one = dynamic_cast<OneDeviceFtdi*>(traced)) traced = &one->inner();
    auto* trace = dynamic_cast<TraceFtdi*>(traced);
    return status == kOk && trace && trace->writeFailed() ? kFailed : status;
}

}  // namespace qj::cli
