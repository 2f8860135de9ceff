// Every mode's operations through the qjig entry point, against a jig that
// answers arbitrary bytes (tests/support/StreamFtdi.h). The first byte picks
// the operation; the rest is the jig's side of the conversation. An operation
// must end (on the virtual clock every wait is bounded) and never crash.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/Cli.h"
#include "jig/ftdi/Backends.h"
#include "support/StreamFtdi.h"

namespace {
std::vector<uint8_t> g_stream;

const std::vector<std::vector<std::string>>& operations() {
    static const std::vector<std::vector<std::string>> ops = {
        {"identify"},
        {"start", "ENE KB90XX"},
        {"start", "ITE"},
        {"start", "MEC jtag"},
        {"ene", "read", "dump.bin", "--kestra"},
        {"ene", "read", "dump.bin", "--board", "1"},
        {"ene", "write", "image.bin", "--kestra"},
        {"ene", "verify", "image.bin", "--kestra"},
        {"edid", "read", "edid.bin"},
        {"edid", "write", "image.bin", "--force"},
        {"keyboard", "scan", "--reports", "4", "--no-buzzer", "--time", "3000"},
        {"start", "NUVOTON spi"},
        {"npce", "read", "dump.bin"},
        {"npce", "read", "dump.bin", "--kestra"},
        {"npce", "write", "image.bin", "--kestra"},
        {"nuv", "read", "dump.bin"},
        {"nuv", "write", "image.bin", "--type-a"},
        // Appended, so that the seeds keep the operations they were written for.
        {"mec", "check"},
        {"mec", "read", "dump.bin", "--info"},
        {"mec", "erase"},
        {"mec", "write", "image.bin"},
        {"ite", "read", "dump.bin", "--board", "1"},
        {"ite", "write", "image.bin", "--board", "external", "--chip-erase"},
    };
    return ops;
}

bool setUp() {
    // A scratch folder of its own: dumps, the start log and the wiring list.
    char tmpl[] = "/tmp/qjig-fuzz-XXXXXX";
    if (!mkdtemp(tmpl) || chdir(tmpl) != 0) return false;
    if (std::FILE* f = std::fopen("MB connection ENE.txt", "wb")) {
        std::fputs("Board A KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\n", f);
        std::fclose(f);
    }
    if (std::FILE* f = std::fopen("MB connection ITE.txt", "wb")) {
        std::fputs("Board B PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 STB=6 AFD=7 INIT=8 SLIN=9 "
                   "KSI4=3 KSI5=4\n",
                   f);
        std::fclose(f);
    }
    if (std::FILE* f = std::fopen("image.bin", "wb")) {
        for (int i = 0; i < 300; ++i) std::fputc(i * 7, f);
        std::fclose(f);
    }
    if (!std::freopen("/dev/null", "w", stdout)) return false;
    qj::registerBackend("stream", [](const qj::BackendOptions&, std::string&) -> std::unique_ptr<qj::FtdiApi> {
        return std::make_unique<qjt::StreamFtdi>(g_stream.data(), g_stream.size());
    });
    return true;
}

bool g_ready = false;
}  // namespace

// The harness works in a scratch folder of its own; the corpus folders and
// artifact paths on the command line are made absolute before it moves there.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<std::string> keep;
    keep.reserve(static_cast<size_t>(*argc));
    for (int i = 1; i < *argc; ++i) {
        std::string a = (*argv)[i];
        const std::string prefix = a.rfind("-artifact_prefix=", 0) == 0 ? "-artifact_prefix=" : "";
        if (!prefix.empty() || (!a.empty() && a[0] != '-')) {
            const std::string path = a.substr(prefix.size());
            if (!path.empty() && path[0] != '/') {
                keep.push_back(prefix + (std::filesystem::current_path() / path).string() +
                               (path.back() == '/' ? "/" : ""));
                (*argv)[i] = keep.back().data();
            }
        }
    }
    g_ready = setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!g_ready || size < 1) return 0;
    const auto& op = operations()[data[0] % operations().size()];
    g_stream.assign(data + 1, data + size);
    std::vector<std::string> args = {"--backend", "stream"};
    args.insert(args.end(), op.begin(), op.end());
    qj::cli::run(args);
    return 0;
}
