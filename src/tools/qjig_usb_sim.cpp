// qjig-usb-sim: the virtual jig behind an emulated FT232R on an emulated USB
// bus, so that a program which talks USB itself (qjig --backend libftdi, or a
// program on the vendor's D2XX library) runs against it without hardware,
// through the real libusb and usbfs calls.
//
//   qjig-usb-sim [OPTIONS] [SPEC] -- PROGRAM [ARGS...]
//
// Runs PROGRAM under umockdev's preload library, where /sys and /dev/bus/usb
// hold the one device, and exits with PROGRAM's status.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/ft232r/EmulatedFt232r.h"
#include "tools/ft232r/SimLine.h"

extern char** environ;

namespace {

volatile sig_atomic_t g_child = 0;

void forward(int sig) {
    if (g_child > 0) ::kill(pid_t(g_child), sig);
}

int usage() {
    std::fprintf(stderr,
                 "usage: qjig-usb-sim [OPTIONS] [SPEC] -- PROGRAM [ARGS...]\n"
                 "  SPEC                the virtual jig, as for --sim (default \"demo\"; instant mode\n"
                 "                      unless it says mode=paced)\n"
                 "  --log FILE          one line per USB request, transfer and event\n"
                 "  --busy              another program holds the device's interface\n"
                 "  --no-kernel-driver  no ftdi_sio bound to it at the start (as for the vendor library)\n"
                 "  --serial TEXT       the serial number string (default QJ232R01)\n"
                 "Runs PROGRAM with the FT232R on an emulated USB bus and exits with its status:\n"
                 "  qjig-usb-sim jig=ENE_EDID_KB -- qjig --backend libftdi identify\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    if (!qj::usb::runUnderPreload(argv, error)) {
        std::fprintf(stderr, "qjig-usb-sim: %s\n", error.c_str());
        return 1;
    }
    qj::usb::Ft232rOptions opt;
    std::string spec = "demo";
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") break;
        if (a == "--busy") opt.heldByOther = true;
        else if (a == "--no-kernel-driver") opt.kernelDriver = false;
        else if ((a == "--log" || a == "--serial") && i + 1 < argc) (a == "--log" ? opt.logPath : opt.strings.serial) = argv[++i];
        else if (a == "-h" || a == "--help") return usage(), 0;
        else if (!a.empty() && a[0] == '-') return usage();
        else spec = a;
    }
    if (i + 1 >= argc) return usage();

    int status = 1;
    try {
        qj::usb::SimLine line(spec);
        qj::usb::EmulatedFt232r usb(opt, line);
        line.start(usb);
        struct sigaction sa {};
        sa.sa_handler = forward;
        for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &sa, nullptr);
        pid_t pid = 0;
        if (const int e = ::posix_spawnp(&pid, argv[i + 1], nullptr, nullptr, argv + i + 1, environ); e != 0) {
            std::fprintf(stderr, "qjig-usb-sim: %s: %s\n", argv[i + 1], std::strerror(e));
            return 127;
        }
        g_child = pid;
        int st = 0;
        while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
        }
        g_child = 0;
        status = WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : 1;
        line.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qjig-usb-sim: %s\n", e.what());
        return 2;
    }
    return status;
}
