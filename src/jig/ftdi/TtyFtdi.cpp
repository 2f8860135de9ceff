#ifdef __linux__

#include "jig/ftdi/TtyFtdi.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>

#include "jig/ftdi/TtyTermios.h"

namespace fs = std::filesystem;

namespace qj {

namespace {

// Our receive buffer above the driver's 4 KiB input queue. A jig answer is
// at most a few KiB; this only has to outlast a slow reader.
constexpr size_t kBufferCap = 1 << 20;

std::string readAttr(const fs::path& p) {
    std::ifstream f(p);
    std::string s;
    if (!f || !std::getline(f, s)) return {};
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.pop_back();
    size_t b = s.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b);
}

// "ttyUSB12" -> 12, for a numeric order of the ports.
long portNumber(const std::string& name) {
    size_t i = name.find_last_not_of("0123456789");
    return i + 1 < name.size() ? std::strtol(name.c_str() + i + 1, nullptr, 10) : -1;
}

int latencyOf(const std::string& attr) {
    if (attr.empty()) return -1;
    const std::string v = readAttr(attr);
    if (v.empty()) return -1;
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 10);
    return (end && *end == 0 && n > 0 && n < 256) ? int(n) : -1;
}

}  // namespace

std::vector<TtyDevice> findFtdiTtys(const std::string& sysfsRoot, const std::string& devRoot) {
    std::vector<TtyDevice> out;
    std::error_code ec;
    const fs::path ports = fs::path(sysfsRoot) / "bus/usb-serial/devices";
    for (const auto& e : fs::directory_iterator(ports, ec)) {
        const std::string name = e.path().filename().string();
        const fs::path portDir = fs::canonical(e.path(), ec);
        if (ec) continue;
        // The USB device is the nearest ancestor that carries the ids; the
        // interface directory between them tells which channel of a dual chip.
        fs::path usbDev;
        for (fs::path p = portDir.parent_path(); !p.empty() && p != p.root_path(); p = p.parent_path()) {
            if (fs::exists(p / "idVendor", ec)) {
                usbDev = p;
                break;
            }
        }
        if (usbDev.empty() || readAttr(usbDev / "idVendor") != "0403") continue;
        TtyDevice d;
        d.node = (fs::path(devRoot) / name).string();
        d.description = readAttr(usbDev / "product");
        d.serial = readAttr(usbDev / "serial");
        const std::string nIf = readAttr(usbDev / "bNumInterfaces");
        const std::string ifNo = readAttr(portDir.parent_path() / "bInterfaceNumber");
        if (!nIf.empty() && std::strtol(nIf.c_str(), nullptr, 10) > 1 && !ifNo.empty())
            d.description += std::string(" ") + char('A' + std::strtol(ifNo.c_str(), nullptr, 16));
        if (fs::exists(portDir / "latency_timer", ec)) d.latencyAttr = (portDir / "latency_timer").string();
        out.push_back(std::move(d));
    }
    std::sort(out.begin(), out.end(), [](const TtyDevice& a, const TtyDevice& b) {
        const std::string na = fs::path(a.node).filename().string(), nb = fs::path(b.node).filename().string();
        const long pa = portNumber(na), pb = portNumber(nb);
        return pa != pb ? pa < pb : na < nb;
    });
    return out;
}

struct TtyFtdi::Port {
    int fd = -1;
    TtyDevice dev;
    std::deque<uint8_t> buf;  // bytes taken from the driver but not yet read
    uint32_t readMs = 0, writeMs = 0;  // 0: no limit, as the library's default
    uint32_t baud = 9600;
    // The latency timer in effect: what holds the chip's last bytes back. None
    // on a port without one (a pseudo-terminal); the kernel's 16 ms when the
    // value cannot be read.
    int latencyMs = 16;
    bool dead = false;  // unplugged: every call fails from now on

    // Moves what the driver holds into `buf`. False once the device is gone.
    bool fill() {
        if (dead) return false;
        uint8_t tmp[4096];
        while (buf.size() < kBufferCap) {
            const ssize_t n = ::read(fd, tmp, std::min(sizeof tmp, kBufferCap - buf.size()));
            if (n > 0) {
                buf.insert(buf.end(), tmp, tmp + n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return die();
            // Nothing there. A hung-up tty also reads as empty: ask poll.
            return !hungUp(0);
        }
        return true;
    }
    // Waits up to `ms` (-1: no limit) for `events`; true when the line hung up.
    bool hungUp(int ms, short events = 0) {
        pollfd p{fd, events, 0};
        int r;
        do r = ::poll(&p, 1, ms);
        while (r < 0 && errno == EINTR);
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            die();
            return true;
        }
        return false;
    }
    bool die() {
        dead = true;
        return false;
    }
    // The driver's input queue.
    bool inQueue(uint32_t& n) {
        int v = 0;
        if (::ioctl(fd, FIONREAD, &v) != 0) return die();
        n = uint32_t(std::max(v, 0));
        return true;
    }
    bool outQueue(uint32_t& n) {
        int v = 0;
        if (::ioctl(fd, TIOCOUTQ, &v) != 0) return die();
        n = uint32_t(std::max(v, 0));
        return true;
    }
};

TtyFtdi::TtyFtdi(Options opt) : opt_(std::move(opt)), notice_(opt_.notice) {}

namespace {
// The exclusive flag outlives our descriptor when someone else keeps the tty
// open (qjig-sim holds its terminal): give it up, or the next open is refused.
void release(int fd) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}
}  // namespace

TtyFtdi::~TtyFtdi() {
    for (auto& [h, p] : ports_)
        if (p->fd >= 0) release(p->fd);
}

FT_STATUS TtyFtdi::CreateDeviceInfoList(uint32_t& numDevs) {
    std::lock_guard<std::mutex> g(mu_);
    if (opt_.paths.empty()) {
        list_ = findFtdiTtys(opt_.sysfsRoot, opt_.devRoot);
    } else {
        list_.clear();
        for (const auto& path : opt_.paths) {
            TtyDevice d;
            d.node = path;
            d.description = "Serial port " + path;
            // A usb-serial node named directly still has its latency timer.
            std::error_code ec;
            const fs::path attr =
                fs::path(opt_.sysfsRoot) / "class/tty" / fs::path(path).filename() / "device/latency_timer";
            if (fs::exists(attr, ec)) d.latencyAttr = attr.string();
            list_.push_back(std::move(d));
        }
    }
    numDevs = uint32_t(list_.size());
    return FT_OK;
}

FT_STATUS TtyFtdi::GetDeviceInfo(uint32_t index, FtDeviceInfo& info) {
    std::lock_guard<std::mutex> g(mu_);
    if (index >= list_.size()) return FT_DEVICE_NOT_FOUND;
    info.description = list_[index].description;
    info.serial = list_[index].serial;
    info.location = list_[index].node;
    return FT_OK;
}

FT_STATUS TtyFtdi::Open(uint32_t index, FT_HANDLE& handle) {
    handle = nullptr;
    TtyDevice dev;
    {
        std::lock_guard<std::mutex> g(mu_);
        if (index >= list_.size()) return FT_DEVICE_NOT_FOUND;
        dev = list_[index];
    }
    const int fd = ::open(dev.node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM)
            notice_("tty: no permission to open " + dev.node +
                   ". Install the udev rule 60-quillmore-jig.rules (or add yourself to the plugdev group), "
                   "then unplug and replug the jig and log in again.");
        else if (err == EBUSY)
            notice_("tty: " + dev.node + " is in use by another program.");
        return err == ENOENT ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED;
    }
    // TIOCEXCL keeps other programs out; the lock also covers another copy of
    // this tool running as root, which TIOCEXCL lets through.
    if (::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        notice_("tty: " + dev.node + " is in use by another program.");
        ::close(fd);
        return FT_DEVICE_NOT_OPENED;
    }
    if (!tty::makeRaw(fd) || !tty::setBaud(fd, 9600)) {
        ::close(fd);
        return FT_DEVICE_NOT_OPENED;
    }
    ::tcflush(fd, TCIOFLUSH);
    auto p = std::make_unique<Port>();
    p->fd = fd;
    p->dev = dev;
    const int lat = latencyOf(dev.latencyAttr);
    if (dev.latencyAttr.empty()) p->latencyMs = 0;
    else if (lat > 0) p->latencyMs = lat;
    handle = p.get();
    std::lock_guard<std::mutex> g(mu_);
    ports_[handle] = std::move(p);
    return FT_OK;
}

TtyFtdi::Port* TtyFtdi::port(FT_HANDLE h, FT_STATUS& st) {
    std::lock_guard<std::mutex> g(mu_);
    auto it = ports_.find(h);
    if (it == ports_.end()) {
        st = FT_INVALID_HANDLE;
        return nullptr;
    }
    if (it->second->dead) {
        st = FT_IO_ERROR;
        return nullptr;
    }
    st = FT_OK;
    return it->second.get();
}

FT_STATUS TtyFtdi::GetDriverVersion(FT_HANDLE h, uint32_t& version) {
    FT_STATUS st;
    if (!port(h, st)) return st;
    // The kernel's release, packed like the library's version numbers.
    utsname u{};
    unsigned a = 0, b = 0, c = 0;
    if (::uname(&u) != 0 || std::sscanf(u.release, "%u.%u.%u", &a, &b, &c) < 2) return FT_OTHER_ERROR;
    version = (a & 0xFF) << 16 | (b & 0xFF) << 8 | (c & 0xFF);
    return FT_OK;
}

FT_STATUS TtyFtdi::ResetDevice(FT_HANDLE h) {
    FT_STATUS st;
    Port* p = port(h, st);
    if (!p) return st;
    if (::tcflush(p->fd, TCIOFLUSH) != 0) {
        p->die();
        return FT_IO_ERROR;
    }
    p->buf.clear();
    return FT_OK;
}

FT_STATUS TtyFtdi::SetBaudRate(FT_HANDLE h, uint32_t baud) {
    FT_STATUS st;
    Port* p = port(h, st);
    if (!p) return st;
    if (const FT_STATUS bad = checkBaudRate(baud)) return bad;
    if (!tty::setBaud(p->fd, baud)) return errno == EIO ? (p->die(), FT_IO_ERROR) : FT_INVALID_BAUD_RATE;
    p->baud = baud;
    return FT_OK;
}

FT_STATUS TtyFtdi::SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t par) {
    FT_STATUS st;
    Port* p = port(h, st);
    if (!p) return st;
    if (const FT_STATUS bad = checkDataCharacteristics(w, s, par)) return bad;
    if (!tty::setFrame(p->fd, w, s == 2 ? 2 : 1, par)) {
        if (errno == EIO) p->die();
        return FT_IO_ERROR;
    }
    return FT_OK;
}

FT_STATUS TtyFtdi::SetTimeouts(FT_HANDLE h, uint32_t readMs, uint32_t writeMs) {
    FT_STATUS st;
    Port* p = port(h, st);
    if (!p) return st;
    p->readMs = readMs;
    p->writeMs = writeMs;
    return FT_OK;
}

FT_STATUS TtyFtdi::SetLatencyTimer(FT_HANDLE h, uint8_t ms) {
    FT_STATUS st;
    Port* p = port(h, st);
    if (!p) return st;
    if (const FT_STATUS bad = checkLatencyTimer(ms)) return bad;
    // Not a usb-serial port (a pseudo-terminal): there is no timer to set.
    if (p->dev.latencyAttr.empty()) return FT_OK;
    // What is asked is the longest the chip may hold an answer back: the udev
    // rule's 1 ms (the kernel's own low-latency value) stays.
    const int now = latencyOf(p->dev.latencyAttr);
    if (now > 0 && now <= ms) {
        p->latencyMs = now;
        return FT_OK;
    }
    const int afd = ::open(p->dev.latencyAttr.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (afd >= 0) {
        const std::string v = std::to_string(ms) + "\n";
        const bool ok = ::write(afd, v.data(), v.size()) == ssize_t(v.size());
        ::close(afd);
        if (ok) {
            p->latencyMs = ms;
            return FT_OK;
        }
    }
    // The attribute is root's. The low-latency flag gets the driver to 1 ms
    // without privileges on the kernels that honour it.
    serial_struct ss{};
    const bool low = ::ioctl(p->fd, TIOCGSERIAL, &ss) == 0 && ((ss.flags |= ASYNC_LOW_LATENCY),
                                                               ::ioctl(p->fd, TIOCSSERIAL, &ss) == 0);
    const std::string name = fs::path(p->dev.node).filename().string();
    notice_("tty: cannot set the latency timer of " + name + " to " + std::to_string(ms) + " ms (" +
           p->dev.latencyAttr + " is writable by root only); " +
           (low ? std::string("using the driver's low-latency mode instead. ")
                : "answers may come up to " + std::to_string(now > 0 ? now : 16) + " ms late. ") +
           "Install the udev rule 60-quillmore-jig.rules to have it set when the jig is plugged in.");
    if (!low) return FT_OTHER_ERROR;
    p->latencyMs = 1;
    return FT_OK;
}

FT_STATUS TtyFtdi::SetChars(FT_HANDLE h, uint8_t, uint8_t, uint8_t, uint8_t) {
    FT_STATUS st;
    return port(h, st) ? FT_NOT_SUPPORTED : st;
}

bool TtyFtdi::ReachesVirtualJig(FT_HANDLE h) {
    FT_STATUS st;
    Port* p = port(h, st);
    return p && tty::isPtySlave(p->fd);
}

FT_STATUS TtyFtdi::Purge(FT_HANDLE h, uint32_t mask) {
    FT_STATUS st;
    Port* p = port(h, st);
    if (!p) return st;
    if ((mask & (FT_PURGE_RX | FT_PURGE_TX)) == 0) return FT_OK;
    const int which = (mask & FT_PURGE_RX) && (mask & FT_PURGE_TX) ? TCIOFLUSH
                      : (mask & FT_PURGE_RX)                      ? TCIFLUSH
                                                                  : TCOFLUSH;
    if (::tcflush(p->fd, which) != 0) {
        p->die();
        return FT_IO_ERROR;
    }
    if (mask & FT_PURGE_RX) {
        p->buf.clear();
        // The flush empties only the kernel's buffers: what the chip still
        // holds comes within a latency period. Drop it too (nothing to wait
        // for where there is no chip).
        Clock& c = clock();
        const int64_t end = c.nowMs() + 2 * p->latencyMs;
        for (int64_t left; (left = end - c.nowMs()) > 0;) {
            if (p->hungUp(int(left), POLLIN)) return FT_IO_ERROR;
            if (!p->fill()) return FT_IO_ERROR;
            p->buf.clear();
        }
    }
    return FT_OK;
}

FT_STATUS TtyFtdi::GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) {
    rx = tx = ev = 0;
    FT_STATUS st;
    Port* p = port(h, st);
    if (!p) return st;
    uint32_t in = 0, out = 0;
    if (p->hungUp(0) || !p->inQueue(in) || !p->outQueue(out)) return FT_IO_ERROR;
    rx = uint32_t(p->buf.size()) + in;
    tx = out;
    return FT_OK;
}

FT_STATUS TtyFtdi::Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) {
    written = 0;
    FT_STATUS st;
    Port* p = port(h, st);
    if (!p) return st;
    Clock& c = clock();
    const int64_t end = c.nowMs() + p->writeMs;
    while (written < len) {
        const ssize_t n = ::write(p->fd, buf + written, len - written);
        if (n > 0) {
            written += uint32_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            p->die();
            return FT_IO_ERROR;
        }
        const int64_t left = p->writeMs ? end - c.nowMs() : -1;
        if (p->writeMs && left <= 0) break;  // the write time-out: fewer bytes written
        if (p->hungUp(int(left), POLLOUT)) return FT_IO_ERROR;
    }
    return FT_OK;
}

FT_STATUS TtyFtdi::Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) {
    got = 0;
    FT_STATUS st;
    Port* p = port(h, st);
    if (!p) return st;
    Clock& c = clock();
    const int64_t end = c.nowMs() + p->readMs;  // counted from the call
    for (;;) {
        if (!p->fill()) return FT_IO_ERROR;
        if (p->buf.size() >= len) break;
        const int64_t left = p->readMs ? end - c.nowMs() : -1;
        if (p->readMs && left <= 0) break;
        if (p->hungUp(int(left), POLLIN)) return FT_IO_ERROR;
    }
    got = uint32_t(std::min<size_t>(len, p->buf.size()));
    std::copy_n(p->buf.begin(), got, buf);
    p->buf.erase(p->buf.begin(), p->buf.begin() + got);
    return FT_OK;
}

FT_STATUS TtyFtdi::WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) {
    FT_STATUS st;
    Port* p = port(h, st);
    if (!p) return st;
    Clock& c = clock();
    const int64_t end = c.nowMs() + timeoutMs;
    for (;;) {
        // Bytes are taken into our buffer as they come, so an answer longer
        // than the driver's queue can still be waited for whole.
        if (!p->fill()) return FT_IO_ERROR;
        if (rxAtLeast > 0 && p->buf.size() >= std::min<size_t>(rxAtLeast, kBufferCap)) return FT_OK;
        uint32_t out = 0;
        if (txEmpty) {
            if (!p->outQueue(out)) return FT_IO_ERROR;
            if (out == 0) return FT_OK;
        }
        int64_t left = end - c.nowMs();
        if (left <= 0) return FT_OK;
        // The output queue gives no event when it drains: sleep about as long
        // as the bytes in it need on the wire, then look again.
        if (txEmpty) left = std::min<int64_t>(left, 1 + int64_t(out) * 10'000 / std::max<uint32_t>(p->baud, 1));
        if (p->hungUp(int(left), rxAtLeast > 0 ? POLLIN : 0)) return FT_IO_ERROR;
    }
}

FT_STATUS TtyFtdi::Close(FT_HANDLE h) {
    std::unique_ptr<Port> p;
    {
        std::lock_guard<std::mutex> g(mu_);
        auto it = ports_.find(h);
        if (it == ports_.end()) return FT_INVALID_HANDLE;
        p = std::move(it->second);
        ports_.erase(it);
    }
    release(p->fd);
    return FT_OK;
}

}  // namespace qj

#endif  // __linux__
