// The USB tests run under umockdev's preload library, which shows this
// process the testbed's /sys and /dev/bus/usb: they have a binary of their
// own, started again under the library when it is not loaded yet.
#include <execinfo.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "tools/ft232r/EmulatedFt232r.h"

#if !defined(__SANITIZE_ADDRESS__)  // AddressSanitizer says it better
namespace {
// Where the stack goes: the stderr the run started with. While a test runs
// qjig in-process (CliRun) fd 2 is gtest's capture file, which dies with the
// process unread.
int crashFd = STDERR_FILENO;

// A crash among the host, libusb, libftdi1 and the emulated chip's threads is
// read from its stack: print it before the signal ends the process.
void sayWhereAndDie(int sig) {
    void* frames[64];
    const int n = ::backtrace(frames, 64);
    const char head[] = "usb_tests: fatal signal; the stack:\n";
    (void)!::write(crashFd, head, sizeof head - 1);
    ::backtrace_symbols_fd(frames, n, crashFd);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}
}  // namespace
#endif

int main(int argc, char** argv) {
    std::string error;
    if (!qj::usb::runUnderPreload(argv, error)) {
        std::fprintf(stderr, "usb_tests: %s\n", error.c_str());
        return 1;
    }
#if !defined(__SANITIZE_ADDRESS__)
    if (const int fd = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3); fd >= 0) crashFd = fd;
    // backtrace() loads libgcc on its first call, which a signal handler must not do.
    void* warm[1];
    (void)::backtrace(warm, 1);
    for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE}) std::signal(sig, sayWhereAndDie);
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
