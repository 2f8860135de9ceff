#include "modes/common/ImageFile.h"

#include <algorithm>
#include <sys/stat.h>

namespace qj::image {

Loaded load(const std::string& path, std::vector<uint8_t>& image, size_t size, uint8_t fill) {
    Loaded r;
    image.assign(size, fill);
    struct stat st {};
    // Looked at before opening too: opening a pipe would wait for a writer.
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        r.result = Load::NotRegular;
        return r;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return r;
    if (::fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(f);
        r.result = Load::NotRegular;
        return r;
    }
    r.bytes = std::fread(image.data(), 1, size, f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        std::fill(image.begin(), image.end(), fill);
        r.result = Load::ReadError;
    } else {
        r.result = r.bytes == 0 ? Load::Empty : Load::Ok;
    }
    return r;
}

bool DumpFile::create(const std::string& path) {
    close();
    f_ = std::fopen(path.c_str(), "wb");
    ok_ = f_ != nullptr;
    return ok_;
}

bool DumpFile::write(const uint8_t* p, size_t n) {
    if (!f_) return false;
    if (ok_ && std::fwrite(p, 1, n, f_) != n) ok_ = false;
    return ok_;
}

bool DumpFile::finish() {
    if (!f_) return false;
    ok_ = ok_ && std::fflush(f_) == 0 && !std::ferror(f_);
    ok_ = (std::fclose(f_) == 0) && ok_;
    f_ = nullptr;
    return ok_;
}

void DumpFile::close() {
    if (f_) std::fclose(f_);
    f_ = nullptr;
}

}  // namespace qj::image
