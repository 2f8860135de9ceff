#pragma once
// The vendor's D2XX library, loaded at run time when it is installed
// (libftd2xx.so on Linux, ftd2xx.dll on Windows). The calls are declared here,
// from the library's documented C interface; nothing of the vendor's is needed
// to build. Without the library the backend is simply unavailable.
//
// Waits block on the library's own notification of received data (an event
// object on Windows, a condition variable and its mutex elsewhere), looking at
// the queues only when it fires. The library has no notification for the
// transmit queue: a wait for it to drain looks again when the queued bytes
// should have left, and while nothing fires a wait still looks every
// kQuietLookMs, so a device that vanishes without a word ends it.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jig/ftdi/FtdiApi.h"
#include "jig/ftdi/Notice.h"

namespace qj {

class D2xxFtdi final : public FtdiApi {
public:
    // The names tried by default: $QJIG_D2XX_LIBRARY when set, then the
    // library's usual names on this system.
    static std::vector<std::string> defaultLibraryNames();

    // Loads the first of `names` that opens and exports every call used.
    explicit D2xxFtdi(std::vector<std::string> names = defaultLibraryNames(), NoticeOnce::Sink notice = {});
    ~D2xxFtdi() override;

    bool available() const { return lib_ != nullptr; }
    // Why the library could not be used (empty when available).
    const std::string& whyUnavailable() const { return why_; }
    const std::string& libraryName() const { return name_; }

    // GetDriverVersion: on Linux the library has no driver version; it is the library's own.
    QJ_FTDI_CALL_OVERRIDES;
    FT_STATUS WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) override;
    // The library does not say which node it opened. Under a umockdev
    // testbed (its preload library loaded, a testbed named: the emulated
    // FT232R of the USB tests, qjig-usb-sim) it can reach no other device.
    bool ReachesVirtualJig(FT_HANDLE h) override;
    std::string backendName() const override { return "d2xx"; }

    static constexpr uint32_t kQuietLookMs = 500;

    struct Calls;
    struct Event;

private:
    struct Port {
        std::unique_ptr<Event> event;         // kept while the handle lives
        std::atomic<bool> notified{false};    // false: the library does not notify it, waits poll
        std::atomic<uint32_t> baud{9600};
    };
    // Asks the library to notify `port` of received data.
    void notifyOn(FT_HANDLE h, Port& port);
    std::shared_ptr<Port> port(FT_HANDLE h);

    void* lib_ = nullptr;
    std::unique_ptr<Calls> fn_;
    std::mutex portsMu_;
    std::map<FT_HANDLE, std::shared_ptr<Port>> ports_;
    std::string name_, why_;
    NoticeOnce notice_;
};

}  // namespace qj
