#pragma once
// The jig through the Linux kernel's FTDI serial driver (ftdi_sio): devices are
// found in sysfs and driven as ttys. The D2XX behaviour the protocol code relies
// on is rebuilt on top: FT_Read returns when its length has come or the read
// time-out (counted from the call) has passed; the receive count is our own
// buffer plus the driver's input queue, which never holds more than 4 KiB.
#ifdef __linux__

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jig/ftdi/FtdiApi.h"
#include "jig/ftdi/Notice.h"

namespace qj {

struct TtyDevice {
    std::string node;         // /dev/ttyUSB0, or the explicit path
    std::string description;  // USB product string ("FT232R USB UART"), " A"/" B" on dual chips
    std::string serial;       // USB serial number
    std::string latencyAttr;  // sysfs latency_timer, empty when there is none (pseudo-terminals)
};

// FTDI serial ports under `sysfsRoot` (normally "/sys"); device nodes are
// looked up under `devRoot` (normally "/dev"). Sorted by port number.
std::vector<TtyDevice> findFtdiTtys(const std::string& sysfsRoot, const std::string& devRoot);

class TtyFtdi final : public FtdiApi {
public:
    struct Options {
        std::string sysfsRoot = "/sys";
        std::string devRoot = "/dev";
        // Non-empty: these nodes are the device list instead of sysfs (a
        // pseudo-terminal has no sysfs entry).
        std::vector<std::string> paths;
        // Where advice for the user goes (latency timer, permissions); stderr when unset.
        NoticeOnce::Sink notice;
    };

    TtyFtdi() : TtyFtdi(Options{}) {}
    explicit TtyFtdi(Options opt);
    ~TtyFtdi() override;

    // SetLatencyTimer: the tool's request is a most; a lower timer already in
    // effect (the udev rule's 1 ms) is kept. SetChars: the kernel's driver has
    // no event or error character, FT_NOT_SUPPORTED.
    QJ_FTDI_CALL_OVERRIDES;
    FT_STATUS WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) override;
    // A pseudo-terminal is never a USB bridge: behind it is qjig-sim or a test's jig.
    bool ReachesVirtualJig(FT_HANDLE h) override;
    std::string backendName() const override { return "tty"; }

private:
    struct Port;
    Port* port(FT_HANDLE h, FT_STATUS& st);

    Options opt_;
    NoticeOnce notice_;
    std::vector<TtyDevice> list_;
    std::mutex mu_;
    std::map<FT_HANDLE, std::unique_ptr<Port>> ports_;
};

}  // namespace qj

#endif  // __linux__
