#include "modes/common/ImageFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif

namespace qj::image {

namespace {
// The pseudo file systems whose files claim a length that has nothing to do
// with what reading them gives (or whose writes change the running system).
bool onKernelFileSystem(int fd) {
#ifdef __linux__
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x9fa0UL:      // proc
    case 0x62656572UL:  // sysfs
    case 0x64626720UL:  // debugfs
    case 0x74726163UL:  // tracefs
    case 0x73636673UL:  // securityfs
    case 0x63677270UL:  // cgroup2
    case 0x27e0ebUL:    // cgroup
    case 0x62656570UL:  // configfs
    case 0xde5e81e4UL:  // efivarfs
        return true;
    default:
        return false;
    }
#else
    (void)fd;
    return false;
#endif
}

Kind kindOf(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return Kind::Regular;
    if (S_ISDIR(st.st_mode)) return Kind::Folder;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return Kind::Device;
    if (S_ISFIFO(st.st_mode)) return Kind::Fifo;
    if (S_ISSOCK(st.st_mode)) return Kind::Socket;
    return Kind::Other;
}

// Opened without waiting (a FIFO that appeared since the look) and without
// becoming anyone's terminal; -1 for anything but a regular file on disk.
int openRegular(const std::string& path, int flags, Kind& kind, int& error) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        kind = error == ENOENT ? Kind::Missing : Kind::Unreachable;
        return -1;
    }
    struct stat st {};
    kind = ::fstat(fd, &st) == 0 ? kindOf(st) : Kind::Other;
    if (kind == Kind::Regular && onKernelFileSystem(fd)) kind = Kind::KernelFile;
    if (kind != Kind::Regular) {
        ::close(fd);
        return -1;
    }
    // Blocking again for the transfer itself.
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}
}  // namespace

Look look(const std::string& path) {
    Look l;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        l.error = errno;
        l.kind = errno == ENOENT ? Kind::Missing : Kind::Unreachable;
        return l;
    }
    l.kind = kindOf(st);
    l.size = static_cast<uint64_t>(st.st_size);
    if (l.kind == Kind::Regular) {
#ifdef __linux__
        // A handle on the name alone: the file system can be asked without opening the file.
        const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
        if (fd >= 0) {
            if (onKernelFileSystem(fd)) l.kind = Kind::KernelFile;
            ::close(fd);
        }
#endif
    }
    return l;
}

std::string describe(Kind k) {
    switch (k) {
    case Kind::Regular: return "";
    case Kind::Missing: return "missing";
    case Kind::Folder: return "a folder";
    case Kind::Device: return "a device";
    case Kind::Fifo: return "a FIFO (named pipe)";
    case Kind::Socket: return "a socket";
    case Kind::KernelFile: return "a kernel file (/proc, /sys)";
    case Kind::Unreachable: return "out of reach";
    case Kind::Other: break;
    }
    return "not a file";
}

FileRead readHead(const std::string& path, size_t cap) {
    FileRead r;
    const Look l = look(path);
    r.kind = l.kind;
    r.error = l.error;
    if (l.kind == Kind::Missing || l.kind == Kind::Unreachable) return r;
    if (l.kind != Kind::Regular) {
        r.result = Load::NotRegular;
        return r;
    }
    const int fd = openRegular(path, O_RDONLY, r.kind, r.error);
    if (fd < 0) {
        r.result = r.kind == Kind::Missing || r.kind == Kind::Unreachable ? Load::CannotOpen : Load::NotRegular;
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0) r.size = static_cast<uint64_t>(st.st_size);
    // One byte past the cap tells a longer file; nothing further is read.
    const size_t want = cap + 1;
    r.bytes.resize(static_cast<size_t>(std::min<uint64_t>(want, r.size + 1)));
    size_t got = 0;
    for (;;) {
        if (got == r.bytes.size()) {
            if (got == want) break;
            r.bytes.resize(std::min(want, std::max<size_t>(got * 2, 4096)));  // the file grew
        }
        const ssize_t n = ::read(fd, r.bytes.data() + got, r.bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            r.error = errno;
            ::close(fd);
            r.bytes.clear();
            r.result = Load::ReadError;
            return r;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    r.bytes.resize(got);
    if (got > cap) {
        r.longer = true;
        r.bytes.resize(cap);
    }
    r.result = got == 0 ? Load::Empty : Load::Ok;
    return r;
}

std::string whyRefused(const std::string& path, const FileRead& r) {
    switch (r.result) {
    case Load::Ok: return "";
    case Load::Empty: return path + " is empty";
    case Load::NotRegular: return path + " is " + describe(r.kind) + ", not a regular file";
    case Load::ReadError: return path + ": read error: " + std::strerror(r.error);
    case Load::CannotOpen: break;
    }
    return path + ": " + std::strerror(r.error ? r.error : ENOENT);
}

Loaded load(const std::string& path, std::vector<uint8_t>& image, size_t size, uint8_t fill) {
    image.assign(size, fill);
    const FileRead r = readHead(path, size);
    Loaded l;
    l.result = r.result;
    if (!r.ok()) return l;
    std::copy(r.bytes.begin(), r.bytes.end(), image.begin());
    l.bytes = r.bytes.size();
    l.longer = r.longer;
    return l;
}

std::string whyNotWritable(const std::string& path) {
    const Look l = look(path);
    if (l.kind == Kind::Missing) return "";
    if (l.kind == Kind::Unreachable) return std::strerror(l.error);
    if (l.kind != Kind::Regular) return "it is " + describe(l.kind) + ", not a regular file";
    // Opened as the dump would be, but left as it is.
    Kind k = Kind::Missing;
    int error = 0;
    const int fd = openRegular(path, O_WRONLY, k, error);
    if (fd < 0) return k == Kind::Regular || k == Kind::Missing || k == Kind::Unreachable
                           ? std::string(std::strerror(error))
                           : "it is " + describe(k) + ", not a regular file";
    ::close(fd);
    return "";
}

bool DumpFile::create(const std::string& path) {
    close();
    ok_ = false;
    const Look l = look(path);
    if (l.kind != Kind::Missing && l.kind != Kind::Regular) return false;
    Kind k = Kind::Missing;
    int error = 0;
    // Not truncated before it is known to be a regular file.
    const int fd = openRegular(path, O_WRONLY | O_CREAT, k, error);
    if (fd < 0) return false;
    if (::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    f_ = ::fdopen(fd, "wb");
    if (!f_) {
        ::close(fd);
        return false;
    }
    ok_ = true;
    return true;
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

bool storeDump(const std::string& path, const std::vector<uint8_t>& bytes) {
    DumpFile f;
    return f.create(path) && f.write(bytes.data(), bytes.size()) && f.finish();
}

std::string createScratch(const std::string& besides, const std::string& tag) {
    std::string name = besides + tag + ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return "";
    // mkstemp makes it private; a read that is kept gets a dump's usual rights.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    return name;
}

std::string keepAs(const std::string& scratch, const std::string& name) {
    for (int n = 0; n < 1000; ++n) {
        const std::string candidate = n == 0 ? name : name + "." + std::to_string(n);
        // A hard link is made only where no name is: nothing is ever replaced.
        if (::link(scratch.c_str(), candidate.c_str()) == 0) {
            ::unlink(scratch.c_str());
            return candidate;
        }
        if (errno == EEXIST) continue;
        // No hard links here: claim the name exclusively, then move onto the claim.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return "";
        }
        ::close(fd);
        if (::rename(scratch.c_str(), candidate.c_str()) == 0) return candidate;
        ::unlink(candidate.c_str());
        return "";
    }
    return "";
}

}  // namespace qj::image
