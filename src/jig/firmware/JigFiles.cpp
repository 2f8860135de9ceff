#include "jig/firmware/JigFiles.h"

#include <cstdlib>
#include <string_view>
#include <filesystem>

// Paths of the installed layout relative to the installation prefix (set by the build).
#ifndef QJ_INSTALL_PROGRAM_DIR
#define QJ_INSTALL_PROGRAM_DIR "libexec/quillmore-jig"
#endif
#ifndef QJ_INSTALL_FIRMWARE_DIR
#define QJ_INSTALL_FIRMWARE_DIR "share/quillmore-jig/firmware"
#endif

namespace qj {

namespace {
std::string userFolder() {
    // A relative XDG_DATA_HOME is not to be used: it would depend on the current directory.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') return "";
        base = std::string(home) + "/.local/share";
    }
    if (base.back() != '/') base += '/';
    return base + "quillmore-jig/firmware/";
}

std::string installedFolder(const std::string& programDir) {
    const std::string tail = std::string("/") + QJ_INSTALL_PROGRAM_DIR + "/";
    if (programDir.size() < tail.size() || programDir.compare(programDir.size() - tail.size(), tail.size(), tail) != 0)
        return "";
    return programDir.substr(0, programDir.size() - tail.size()) + "/" + QJ_INSTALL_FIRMWARE_DIR + "/";
}
}  // namespace

std::vector<std::string> jigFileFolders(const std::string& programDir) {
    std::vector<std::string> out{programDir};
    for (const std::string& f : {userFolder(), installedFolder(programDir)})
        if (!f.empty() && f != programDir) out.push_back(f);
    return out;
}

std::string JigFileLookup::lookedIn() const {
    std::string s;
    for (const auto& f : folders) s += (s.empty() ? "(looked in " : ", ") + f;
    return s + ")";
}

JigFileLookup findJigFile(const std::string& name, const std::string& programDir) {
    JigFileLookup r;
    r.folders = jigFileFolders(programDir);
    r.path = programDir + name;
    if (name.empty()) return r;
    for (size_t i = 0; i < r.folders.size(); ++i) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(r.folders[i] + name, ec)) {
            r.found = true;
            r.place = i;
            r.path = r.folders[i] + name;
            return r;
        }
    }
    return r;
}

std::string carriedIdent(const uint8_t* p, size_t n, const std::string& firmware) {
    if (firmware.empty()) return "";
    const std::string_view bytes(reinterpret_cast<const char*>(p), n);
    const size_t at = bytes.find(firmware);
    if (at == std::string_view::npos) return "";
    auto identChar = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '_';
    };
    size_t b = at, e = at + firmware.size();
    while (b > 0 && identChar(bytes[b - 1])) --b;
    while (e < n && identChar(bytes[e])) ++e;
    return std::string(bytes.substr(b, e - b));
}

}  // namespace qj
