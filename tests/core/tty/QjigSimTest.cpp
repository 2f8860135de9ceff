// The whole serial path without hardware: the jig link and the tty backend on
// one side of a pseudo-terminal, the virtual jig in its own process (qjig-sim)
// on the other, talking at the line rate.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "cli/Cli.h"
#include "core/tty/TtySupport.h"
#include "jig/JigLink.h"
#include "jig/ftdi/TtyFtdi.h"

using namespace qj;

namespace {
std::unique_ptr<TtyFtdi> ttyOn(const std::string& path) {
    TtyFtdi::Options o;
    o.paths = {path};
    return std::make_unique<TtyFtdi>(o);
}
int64_t nowMs() { return steadyClock().nowMs(); }
}  // namespace

TEST(QjigSim, IdentificationThroughTheTtyLayer) {
    qjt::SimProcess jig("jig=ENE_EDID_KB");
    auto api = ttyOn(jig.tty());
    JigLink link(*api);
    std::vector<std::string> lines;
    link.open(OpenOptions::mainWindowOptions("CLOSE FTDI Handle"), [&](const std::string& s) { lines.push_back(s); });
    EXPECT_EQ(link.ident(), "ENE_EDID_KB");
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Open  numDevs -> 1");
    EXPECT_EQ(lines[1], "FT_Open OK");
    EXPECT_EQ(lines[3], "FT_ResetDevice OK");
    EXPECT_EQ(lines[4], "FT_SetBaudRate OK");
    EXPECT_EQ(lines[5], "FT_SetDataCharacteristics OK");
    EXPECT_EQ(lines[6], "FT_SetTimeouts OK");
    EXPECT_EQ(lines[7], "Read answer version bytes -> 11");
    EXPECT_FALSE(link.isOpen());

    // A mode window's link on the same terminal: the jig hears only the speed
    // it runs at, so this also proves the link set 921600.
    EXPECT_EQ(link.open(OpenOptions::modeWindow({"ENE_EDID_KB"}), nullptr), OpenResult::Ready);
    uint8_t b = 0;
    EXPECT_EQ(link.sendAwaitByte({'I'}, b), Xfer::Ok);
    EXPECT_EQ(b, 'K');
    link.close();

    // The same through the command line.
    EXPECT_EQ(cli::run({"--backend", "tty:" + jig.tty(), "identify"}), cli::kOk);
}

TEST(QjigSim, WrongSpeedGetsNoAnswer) {
    qjt::SimProcess jig("jig=ENE_EDID_KB");
    auto api = ttyOn(jig.tty());
    uint32_t n = 0;
    api->CreateDeviceInfoList(n);
    FT_HANDLE h = nullptr;
    ASSERT_EQ(api->Open(0, h), FT_OK);
    api->SetBaudRate(h, 115200);
    api->SetDataCharacteristics(h, 8, 0, 0);
    api->SetTimeouts(h, 300, 300);
    uint32_t w = 0, got = 0;
    uint8_t buf[32];
    api->Write(h, reinterpret_cast<const uint8_t*>("B"), 1, w);
    EXPECT_EQ(api->Read(h, buf, 32, got), FT_OK);
    EXPECT_EQ(got, 0u);
    api->Close(h);
}

// The jig's process dies while answers are flowing: the exchange in progress
// fails at once (not at its deadline) and so does every call after it.
TEST(QjigSim, UnplugDuringATransferFailsWithinItsBound) {
    qjt::SimProcess jig("jig=ENE_EDID_KB");
    auto api = ttyOn(jig.tty());
    JigLink link(*api);
    ASSERT_EQ(link.open(OpenOptions::modeWindow({"ENE_EDID_KB"}), nullptr), OpenResult::Ready);

    std::atomic<int64_t> killedAt{0};
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        killedAt = nowMs();
        jig.kill(SIGKILL);
    });
    int exchanges = 0;
    Xfer last = Xfer::Ok;
    const int64_t t0 = nowMs();
    while (nowMs() - t0 < 10'000) {
        uint8_t b = 0;
        last = link.sendAwaitByte({'I'}, b, 2000);
        if (last != Xfer::Ok) break;
        ++exchanges;
    }
    const int64_t endedAt = nowMs();
    unplug.join();
    EXPECT_GT(exchanges, 10);
    EXPECT_EQ(last, Xfer::Failed);
    EXPECT_LT(endedAt - killedAt, 1000);  // well inside the 2 s deadline

    uint8_t b = 0;
    const int64_t t1 = nowMs();
    EXPECT_EQ(link.sendAwaitByte({'I'}, b), Xfer::Failed);
    std::vector<uint8_t> ans;
    EXPECT_EQ(link.awaitCount(256, false, ans), Xfer::Failed);
    EXPECT_LT(nowMs() - t1, 200);
    link.close();
    EXPECT_FALSE(link.isOpen());
}
