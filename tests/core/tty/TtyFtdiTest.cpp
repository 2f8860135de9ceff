// The tty backend over a pseudo-terminal: the same termios, poll and queue
// calls as on a real FTDI port. These tests wait for real, briefly: a tty has
// no virtual clock.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "core/tty/TtySupport.h"
#include "jig/ftdi/TtyFtdi.h"
#include "jig/ftdi/TtyTermios.h"
#include "support/TestSupport.h"

using namespace qj;
namespace fs = std::filesystem;

namespace {

int64_t msSince(int64_t t0) { return steadyClock().nowMs() - t0; }

// A backend on the pty with one open handle.
struct Open {
    explicit Open(const std::string& path, uint32_t timeoutMs = 200) : api(opts(path)) {
        uint32_t n = 0;
        EXPECT_EQ(api.CreateDeviceInfoList(n), FT_OK);
        EXPECT_EQ(n, 1u);
        EXPECT_EQ(api.Open(0, h), FT_OK);
        EXPECT_EQ(api.SetTimeouts(h, timeoutMs, timeoutMs), FT_OK);
    }
    ~Open() {
        if (h) api.Close(h);
    }
    static TtyFtdi::Options opts(const std::string& path) {
        TtyFtdi::Options o;
        o.paths = {path};
        o.notice = [](const std::string&) {};
        return o;
    }
    uint32_t rx() {
        uint32_t r = 0, t = 0, e = 0;
        EXPECT_EQ(api.GetStatus(h, r, t, e), FT_OK);
        return r;
    }
    std::string read(uint32_t n, FT_STATUS want = FT_OK) {
        std::string buf(n, '\0');
        uint32_t got = 0;
        EXPECT_EQ(api.Read(h, reinterpret_cast<uint8_t*>(buf.data()), n, got), want);
        buf.resize(got);
        return buf;
    }
    TtyFtdi api;
    FT_HANDLE h = nullptr;
};

}  // namespace

TEST(TtyFtdi, FindsFtdiPortsInSysfsInPortOrder) {
    qjt::ScratchDir dir;
    qjt::FakeSysfs sys(dir.file("sys"));
    sys.addUsbSerial("1-2", "0403", "FT232R USB UART", "A10K1234", 10);
    sys.addUsbSerial("1-3", "067b", "USB-Serial Controller", "", 1);  // not an FTDI chip
    sys.addUsbSerial("1-4", "0403", "Dual RS232-HS", "FT4ZQ1", 2, 2);
    sys.addUsbSerial("1-5", "0403", "Quillmore JIG", "", 0);
    auto found = findFtdiTtys(sys.root(), "/dev");
    ASSERT_EQ(found.size(), 4u);
    const char* want[][3] = {{"/dev/ttyUSB0", "Quillmore JIG", ""},
                             {"/dev/ttyUSB2", "Dual RS232-HS A", "FT4ZQ1"},
                             {"/dev/ttyUSB3", "Dual RS232-HS B", "FT4ZQ1"},
                             {"/dev/ttyUSB10", "FT232R USB UART", "A10K1234"}};
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].node, want[i][0]);
        EXPECT_EQ(found[i].description, want[i][1]);
        EXPECT_EQ(found[i].serial, want[i][2]);
        EXPECT_FALSE(found[i].latencyAttr.empty());
    }

    TtyFtdi::Options o;
    o.sysfsRoot = sys.root();
    TtyFtdi api(o);
    uint32_t n = 0;
    ASSERT_EQ(api.CreateDeviceInfoList(n), FT_OK);
    ASSERT_EQ(n, 4u);
    FtDeviceInfo info;
    ASSERT_EQ(api.GetDeviceInfo(3, info), FT_OK);
    EXPECT_EQ(info.description, "FT232R USB UART");
    EXPECT_EQ(info.serial, "A10K1234");
    EXPECT_EQ(info.location, "/dev/ttyUSB10");
    EXPECT_EQ(api.GetDeviceInfo(4, info), FT_DEVICE_NOT_FOUND);

    // No usb-serial ports at all (no sysfs, the driver not loaded).
    EXPECT_TRUE(findFtdiTtys(dir.file("nothing"), "/dev").empty());
}

// The latency timer goes through sysfs; when only root may write it the user
// is told once what to do, and the driver's low-latency mode is tried. The
// tool's 2 ms is a most: the udev rule's 1 ms stays as it is.
TEST(TtyFtdi, LatencyTimerThroughSysfsOrAOneTimeHint) {
    qjt::ScratchDir dir;
    qjt::FakeSysfs sys(dir.file("sys"));
    sys.addUsbSerial("1-2", "0403", "FT232R USB UART", "A1", 0);
    sys.addUsbSerial("1-3", "0403", "FT232R USB UART", "A2", 1);
    sys.addUsbSerial("1-4", "0403", "FT232R USB UART", "A3", 2);
    qjt::Pty pty0, pty1, pty2;  // stand in for the device nodes
    fs::create_symlink(pty0.slave, sys.devRoot() + "/ttyUSB0");
    fs::create_symlink(pty1.slave, sys.devRoot() + "/ttyUSB1");
    fs::create_symlink(pty2.slave, sys.devRoot() + "/ttyUSB2");
    const std::string ruled = sys.portDir(2) + "/latency_timer";  // as the udev rule left it: 1 ms, root's
    qjt::writeFile(ruled, "1\n");
    ::chmod(ruled.c_str(), 0444);
    // ttyUSB1's attribute refuses writes. Root writes through file modes, so
    // there the attribute is replaced by something nobody can write.
    const std::string locked = sys.portDir(1) + "/latency_timer";
    ::chmod(locked.c_str(), 0444);
    if (::geteuid() == 0) {
        fs::remove(locked);
        fs::create_directory(locked);
    }

    std::vector<std::string> notices;
    TtyFtdi::Options o;
    o.sysfsRoot = sys.root();
    o.devRoot = sys.devRoot();
    o.notice = [&](const std::string& s) { notices.push_back(s); };
    TtyFtdi api(o);
    uint32_t n = 0;
    ASSERT_EQ(api.CreateDeviceInfoList(n), FT_OK);
    ASSERT_EQ(n, 3u);

    FT_HANDLE h = nullptr;
    ASSERT_EQ(api.Open(0, h), FT_OK);
    EXPECT_EQ(api.SetLatencyTimer(h, 2), FT_OK);
    EXPECT_EQ(qjt::readFile(sys.portDir(0) + "/latency_timer"), "2\n");
    api.Close(h);
    ASSERT_EQ(api.Open(2, h), FT_OK);
    EXPECT_EQ(api.SetLatencyTimer(h, 2), FT_OK);
    EXPECT_EQ(qjt::readFile(ruled), "1\n");
    EXPECT_EQ(api.SetChars(h, 'K', 1, 0, 0), FT_NOT_SUPPORTED);  // the driver has no event character
    api.Close(h);
    EXPECT_TRUE(notices.empty());

    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(api.Open(1, h), FT_OK);
        // A pseudo-terminal has no low-latency mode either: the call fails.
        EXPECT_NE(api.SetLatencyTimer(h, 2), FT_OK);
        api.Close(h);
    }
    ASSERT_EQ(notices.size(), 1u);  // once, however often the link is opened
    EXPECT_NE(notices[0].find("cannot set the latency timer of ttyUSB1 to 2 ms"), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find("60-quillmore-jig.rules"), std::string::npos);
}

TEST(TtyFtdi, ReadReturnsWhenTheLengthHasComeOrTheTimeOutHasPassed) {
    qjt::Pty pty;
    Open o(pty.slave, 200);

    // Fewer bytes than asked: the whole time-out, counted from the call.
    pty.send("abc");
    int64_t t0 = steadyClock().nowMs();
    EXPECT_EQ(o.read(10), "abc");
    EXPECT_GE(msSince(t0), 200);
    EXPECT_LT(msSince(t0), 700);

    // Nothing at all: each read waits its own time-out.
    t0 = steadyClock().nowMs();
    EXPECT_EQ(o.read(1), "");
    EXPECT_GE(msSince(t0), 200);

    // The length already there: at once, and the rest stays queued.
    pty.send("0123456789");
    EXPECT_EQ(o.api.WaitQueues(o.h, 10, false, 1000), FT_OK);
    t0 = steadyClock().nowMs();
    EXPECT_EQ(o.read(4), "0123");
    EXPECT_LT(msSince(t0), 100);
    EXPECT_EQ(o.rx(), 6u);
    EXPECT_EQ(o.read(6), "456789");

    // The length arriving in pieces: the read ends with the last piece, well
    // before the time-out.
    ASSERT_EQ(o.api.SetTimeouts(o.h, 3000, 3000), FT_OK);
    std::thread late([&] {
        pty.send("AB");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.send("CD");
    });
    t0 = steadyClock().nowMs();
    EXPECT_EQ(o.read(4), "ABCD");
    EXPECT_LT(msSince(t0), 1500);
    late.join();
}

// The driver's input queue stops at 4 KiB; the backend keeps its own buffer
// so an answer longer than that is still counted and read whole.
TEST(TtyFtdi, QueueCountsAboveTheDriversFourKilobytes) {
    qjt::Pty pty;
    Open o(pty.slave, 1000);
    std::string big(10000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 + 3);
    std::thread jig([&] { pty.send(big); });
    EXPECT_EQ(o.api.WaitQueues(o.h, 10000, false, 3000), FT_OK);
    jig.join();
    EXPECT_EQ(o.rx(), 10000u);
    EXPECT_EQ(o.read(10000), big);
    EXPECT_EQ(o.rx(), 0u);

    // Bytes still in the driver's queue are counted too.
    pty.send("xyz");
    int64_t t0 = steadyClock().nowMs();
    while (o.rx() < 3 && msSince(t0) < 1000) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(o.rx(), 3u);

    // Purge empties both, and what comes afterwards is read normally.
    EXPECT_EQ(o.api.Purge(o.h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    EXPECT_EQ(o.rx(), 0u);
    pty.send("k");
    EXPECT_EQ(o.read(1), "k");

    // A write is on its way once the call returns; the transmit count drains.
    uint32_t w = 0;
    ASSERT_EQ(o.api.Write(o.h, reinterpret_cast<const uint8_t*>("hello"), 5, w), FT_OK);
    EXPECT_EQ(w, 5u);
    EXPECT_EQ(o.api.WaitQueues(o.h, 0, true, 1000), FT_OK);
    uint32_t rx = 0, tx = 9, ev = 0;
    EXPECT_EQ(o.api.GetStatus(o.h, rx, tx, ev), FT_OK);
    EXPECT_EQ(tx, 0u);
    EXPECT_EQ(pty.receive(5), "hello");
}

TEST(TtyFtdi, LineSettingsReachTheTerminal) {
    qjt::Pty pty;
    Open o(pty.slave);
    struct Case {
        uint32_t baud;
        uint8_t w, s, p;
        int bits, stop, parity;
    } cases[] = {
        // A pseudo-terminal always carries 8 bits without parity, so only the
        // speed and the stop bits can be seen from its far side.
        {921600, 8, 0, 0, 8, 1, 0},
        {115200, 8, 0, 0, 8, 1, 0},
        {250000, 8, 2, 0, 8, 2, 0},  // not one of the classic rates
    };
    for (const auto& c : cases) {
        ASSERT_EQ(o.api.SetBaudRate(o.h, c.baud), FT_OK);
        ASSERT_EQ(o.api.SetDataCharacteristics(o.h, c.w, c.s, c.p), FT_OK);
        tty::LineSettings ls;
        ASSERT_TRUE(tty::getLine(pty.master, ls));
        EXPECT_EQ(ls.baud, c.baud);
        EXPECT_EQ(ls.dataBits, c.bits);
        EXPECT_EQ(ls.stopBits, c.stop);
        EXPECT_EQ(ls.parity, c.parity);
    }
    EXPECT_EQ(o.api.SetBaudRate(o.h, 0), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(o.api.SetDataCharacteristics(o.h, 9, 0, 0), FT_INVALID_PARAMETER);
}

TEST(TtyFtdi, PortIsExclusiveWhileOpen) {
    qjt::Pty pty;
    // Someone else keeps the terminal open throughout, as qjig-sim does.
    const int keeper = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(keeper, 0);
    int excl = 0;
    auto first = std::make_unique<Open>(pty.slave);
    ASSERT_EQ(::ioctl(keeper, TIOCGEXCL, &excl), 0);
    EXPECT_EQ(excl, 1);
    TtyFtdi other(Open::opts(pty.slave));
    uint32_t n = 0;
    other.CreateDeviceInfoList(n);
    FT_HANDLE h = nullptr;
    EXPECT_EQ(other.Open(0, h), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(h, nullptr);
    // Closed, the port is free again for the next open.
    first.reset();
    ASSERT_EQ(::ioctl(keeper, TIOCGEXCL, &excl), 0);
    EXPECT_EQ(excl, 0);
    EXPECT_EQ(other.Open(0, h), FT_OK);
    other.Close(h);
    ::close(keeper);
    // A node that does not exist (the jig unplugged since the list was taken).
    TtyFtdi gone(Open::opts("/dev/qjig-no-such-port"));
    gone.CreateDeviceInfoList(n);
    EXPECT_EQ(gone.Open(0, h), FT_DEVICE_NOT_FOUND);
}

// The far end vanishing mid-read ends the read at once with an error, and
// every later call fails the same way instead of waiting.
TEST(TtyFtdi, HangUpFailsEveryCallAtOnce) {
    qjt::Pty pty;
    Open o(pty.slave, 5000);
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.closeMaster();
    });
    const int64_t t0 = steadyClock().nowMs();
    EXPECT_EQ(o.read(10, FT_IO_ERROR), "");
    EXPECT_LT(msSince(t0), 2000);
    unplug.join();

    uint32_t rx = 0, tx = 0, ev = 0, w = 0;
    const int64_t t1 = steadyClock().nowMs();
    EXPECT_EQ(o.api.GetStatus(o.h, rx, tx, ev), FT_IO_ERROR);
    EXPECT_EQ(o.api.Write(o.h, reinterpret_cast<const uint8_t*>("B"), 1, w), FT_IO_ERROR);
    EXPECT_EQ(o.api.WaitQueues(o.h, 1, false, 5000), FT_IO_ERROR);
    EXPECT_EQ(o.api.SetBaudRate(o.h, 921600), FT_IO_ERROR);
    EXPECT_EQ(o.api.Purge(o.h, FT_PURGE_RX | FT_PURGE_TX), FT_IO_ERROR);
    EXPECT_EQ(o.read(1, FT_IO_ERROR), "");
    EXPECT_LT(msSince(t1), 100);
    EXPECT_EQ(o.api.Close(o.h), FT_OK);
    o.h = nullptr;
}
