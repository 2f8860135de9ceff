#include "jig/ImageFile.h"

#include <cstdio>
#include <sys/stat.h>

namespace qj {

bool loadImageFile(const std::string& path, uint8_t* dst, size_t max, size_t* got) {
    if (got) *got = 0;
    // Looked at before opening: opening a pipe would wait for a writer.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    const size_t n = std::fread(dst, 1, max, f);
    const bool ok = !std::ferror(f) && n > 0;
    std::fclose(f);
    if (ok && got) *got = n;
    return ok;
}

}  // namespace qj
