#include "core/tty/TtySupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace qjt {

Pty::Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) throw std::runtime_error("no pty");
    slave = ::ptsname(master);
}

Pty::~Pty() { closeMaster(); }

void Pty::closeMaster() {
    if (master >= 0) ::close(master);
    master = -1;
}

void Pty::send(const std::string& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::write(master, bytes.data() + off, bytes.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("pty write");
        off += size_t(n);
    }
}

std::string Pty::receive(size_t n, int timeoutMs) {
    std::string out;
    while (out.size() < n) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) break;
        char buf[4096];
        const ssize_t k = ::read(master, buf, std::min(sizeof buf, n - out.size()));
        if (k <= 0) break;
        out.append(buf, size_t(k));
    }
    return out;
}

SimProcess::SimProcess(const std::string& spec) {
    const std::string exe = binDir() + "qjig-sim";
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls between fork and exec. The jig dies with the test.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(1);
        ::dup2(fds[1], 1);
        ::execl(exe.c_str(), "qjig-sim", spec.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    // The first line is the terminal's path.
    char c;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 5000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') tty_ += c;
    ::close(fds[0]);
    if (tty_.empty()) {
        kill(SIGKILL);
        throw std::runtime_error("qjig-sim did not start: " + exe);
    }
}

SimProcess::~SimProcess() { kill(SIGTERM); }

void SimProcess::kill(int sig) {
    if (pid_ <= 0) return;
    ::kill(pid_, sig);
    int st = 0;
    ::waitpid(pid_, &st, 0);
    pid_ = -1;
}

namespace {
void put(const fs::path& p, const std::string& content) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << content << "\n";
}
}  // namespace

FakeSysfs::FakeSysfs(const std::string& root) : root_(root) {
    fs::create_directories(root_ + "/bus/usb-serial/devices");
    fs::create_directories(devRoot());
}

void FakeSysfs::addUsbSerial(const std::string& busPath, const std::string& vid, const std::string& product,
                             const std::string& serial, int firstPort, int interfaces) {
    const fs::path usb = fs::path(root_) / "devices/pci0000:00/0000:00:14.0/usb1" / busPath;
    put(usb / "idVendor", vid);
    put(usb / "idProduct", "6001");
    put(usb / "product", product);
    if (!serial.empty()) put(usb / "serial", serial);
    put(usb / "bNumInterfaces", " " + std::to_string(interfaces));
    for (int i = 0; i < interfaces; ++i) {
        const std::string name = "ttyUSB" + std::to_string(firstPort + i);
        const fs::path intf = usb / (busPath + ":1." + std::to_string(i));
        put(intf / "bInterfaceNumber", "0" + std::to_string(i));
        put(intf / name / "latency_timer", "16");
        fs::create_directory_symlink(fs::relative(intf / name, fs::path(root_) / "bus/usb-serial/devices"),
                                     fs::path(root_) / "bus/usb-serial/devices" / name);
    }
}

std::string FakeSysfs::portDir(int port) const {
    const std::string name = "ttyUSB" + std::to_string(port);
    return fs::canonical(fs::path(root_) / "bus/usb-serial/devices" / name).string();
}

}  // namespace qjt
