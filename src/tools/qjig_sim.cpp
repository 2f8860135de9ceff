// qjig-sim: the virtual jig as a process of its own behind a pseudo-terminal,
// so that the tty backend (and anything else that opens serial ports) can be
// run against it through the real tty layer: termios, poll, queue counts,
// time-outs, hang-up when the process dies.
//
//   qjig-sim [--link PATH] [KEYS]
//
// Prints the terminal's path on the first line of stdout, then serves until it
// is killed. The jig runs in paced mode (bytes take their time on the line),
// as a real jig would: a separate process shares no virtual clock with the host.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "jig/ftdi/TtyTermios.h"
#include "sim/SimFtdi.h"

namespace {

char g_link[4096];

void onSignal(int) {
    if (g_link[0]) ::unlink(g_link);
    ::_exit(0);
}

void usage() {
    std::fprintf(stderr,
                 "usage: qjig-sim [--link PATH] [KEYS]\n"
                 "  KEYS   the virtual jig, as for --sim (default \"demo\")\n"
                 "  --link PATH  also make PATH a symbolic link to the terminal\n"
                 "Prints the terminal's path, then serves until killed. Use it with\n"
                 "  qjig --backend tty:PATH identify\n");
}

bool writeAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t k = ::write(fd, p, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k;
        n -= size_t(k);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string keys = "demo", link;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--link" && i + 1 < argc) link = argv[++i];
        else if (a == "-h" || a == "--help") return usage(), 0;
        else if (!a.empty() && a[0] == '-') return usage(), 2;
        else keys = a;
    }
    if (link.size() >= sizeof g_link) return usage(), 2;

    std::unique_ptr<qj::sim::SimFtdi> sim;
    try {
        qj::sim::SimConfig cfg(keys);
        cfg.set("mode", "paced");
        sim = std::make_unique<qj::sim::SimFtdi>(cfg);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qjig-sim: %s\n", e.what());
        return 2;
    }
    uint32_t n = 0;
    qj::FT_HANDLE h = nullptr;
    sim->CreateDeviceInfoList(n);
    if (sim->jigIndex() < 0 || uint32_t(sim->jigIndex()) >= n || sim->Open(uint32_t(sim->jigIndex()), h) != qj::FT_OK) {
        std::fprintf(stderr, "qjig-sim: this configuration has no jig to serve\n");
        return 2;
    }
    sim->SetTimeouts(h, 0, 0);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("qjig-sim: pseudo-terminal");
        return 1;
    }
    const std::string slaveName = ::ptsname(master);
    // Holding the far side open ourselves keeps the terminal (and its settings)
    // alive between the host's opens; raw at once, so nothing is echoed back.
    const int slave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0 || !qj::tty::makeRaw(slave)) {
        std::perror("qjig-sim: terminal");
        return 1;
    }
    if (!link.empty()) {
        ::unlink(link.c_str());
        if (::symlink(slaveName.c_str(), link.c_str()) != 0) {
            std::perror("qjig-sim: --link");
            return 1;
        }
        std::strcpy(g_link, link.c_str());
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::printf("%s\n", slaveName.c_str());
    std::fflush(stdout);

    std::atomic<bool> gone{false};
    // Jig to host: whatever the jig has sent by now goes onto the terminal.
    std::thread down([&] {
        std::vector<uint8_t> buf(4096);
        while (!gone) {
            uint32_t rx = 0, tx = 0, ev = 0;
            if (sim->WaitQueues(h, 1, false, 100) != qj::FT_OK || sim->GetStatus(h, rx, tx, ev) != qj::FT_OK) break;
            if (rx == 0) continue;
            uint32_t got = 0;
            if (sim->Read(h, buf.data(), std::min<uint32_t>(rx, uint32_t(buf.size())), got) != qj::FT_OK) break;
            if (!writeAll(master, buf.data(), got)) break;
        }
        gone = true;
    });

    // Host to jig, at the line settings the host has chosen: the jig hears
    // only what is sent at its own speed and frame.
    qj::tty::LineSettings cur{};
    std::vector<uint8_t> buf(4096);
    while (!gone) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t k = ::read(master, buf.data(), buf.size());
        if (k <= 0) {
            if (k < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            break;
        }
        qj::tty::LineSettings now{};
        if (qj::tty::getLine(master, now) &&
            (now.baud != cur.baud || now.dataBits != cur.dataBits || now.stopBits != cur.stopBits ||
             now.parity != cur.parity)) {
            sim->SetBaudRate(h, now.baud);
            sim->SetDataCharacteristics(h, uint8_t(now.dataBits), now.stopBits == 2 ? 2 : 0, uint8_t(now.parity));
            cur = now;
        }
        uint32_t w = 0;
        if (sim->Write(h, buf.data(), uint32_t(k), w) != qj::FT_OK) break;
    }
    // The jig was unplugged (an unplug fault of its configuration): hang the terminal up.
    gone = true;
    down.join();
    if (!link.empty()) ::unlink(link.c_str());
    ::close(slave);
    ::close(master);
    return 0;
}
