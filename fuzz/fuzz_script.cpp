// The Nuvoton JTAG script ("NUVOTON.qjf"): any bytes a file may hold. A line is
// either played, skipped or refused with a reason; nothing is read past it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "modes/nuv/NuvProtocol.h"

namespace {
// The script is read from a file, as the window reads it: one scratch file a
// process, written over for each input and removed at the end.
const std::string& scratch() {
    static const std::string path = [] {
        char name[] = "/tmp/fuzz_script_XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) std::abort();
        close(fd);
        return std::string(name);
    }();
    static const bool removed = std::atexit([] { std::remove(scratch().c_str()); }) == 0;
    (void)removed;
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratch();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    if (!written) return 0;
    const qj::nuv::Script s = qj::nuv::readScript(path);
    if (s.badLine != 0 && s.why.empty()) __builtin_trap();  // a refused line says why
    for (const auto& line : s.lines)
        for (const auto& cmd : line)
            if (cmd.bytes.size() < 2 || cmd.bytes[0] != 'J') __builtin_trap();  // only JTAG commands are played
    return 0;
}
