// An ENE flash read over the real serial path: qjig on the tty backend, the
// virtual jig in its own process behind a pseudo-terminal, at 921600 baud.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "cli/Cli.h"
#include "core/tty/TtySupport.h"
#include "jig/ftdi/FtdiApi.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

using Ran = qjt::CliRun;
Ran qjig(std::vector<std::string> args) { return qjt::runQjig(std::move(args)); }

// The virtual chip's default contents.
std::vector<uint8_t> counterPattern() {
    std::vector<uint8_t> v(131072);
    for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t(i ^ (i >> 8) ^ (i >> 16));
    return v;
}

}  // namespace

TEST(EneOverTty, ReadsTheWholeFlash) {
    qjt::ScratchDir dir;
    qjt::SimProcess jig("jig=ENE_EDID_KB");
    const int64_t t0 = qj::steadyClock().nowMs();
    const Ran r = qjig({"--backend", "tty:" + jig.tty(), "ene", "read", "out.bin"});
    const int64_t took = qj::steadyClock().nowMs() - t0;
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(qjt::readBytes(dir.file("out.bin")), counterPattern());
    // 128 KiB at 921600 baud is 1.4 s on the wire; the rest is turnarounds.
    EXPECT_GE(took, 1400);
    RecordProperty("read_ms", static_cast<int>(took));
}

TEST(EneOverTty, JigProcessKilledMidReadFailsCleanly) {
    qjt::ScratchDir dir;
    qjt::SimProcess jig("jig=ENE_EDID_KB");
    std::atomic<int64_t> killedAt{0};
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        killedAt = qj::steadyClock().nowMs();
        jig.kill(SIGKILL);
    });
    const Ran r = qjig({"--backend", "tty:" + jig.tty(), "ene", "read", "out.bin"});
    const int64_t endedAt = qj::steadyClock().nowMs();
    unplug.join();
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("!!! Lost Communication with ENE or timeout !!! "), std::string::npos) << r.out;
    EXPECT_LT(endedAt - killedAt, 1500);
}
