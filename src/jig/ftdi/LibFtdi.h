#pragma once
// The jig through libftdi1 (user-space USB). Used where the kernel's FTDI
// serial driver is missing or unwanted. The library has no receive queue to
// ask about, so a reader thread per open device keeps one: a bounded buffer
// that FT_Read, the receive count and the queue wait all look at. A write
// counts as sent once it has been handed to USB (transmit count 0).
#ifdef QJ_HAVE_LIBFTDI1

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jig/ftdi/FtdiApi.h"
#include "jig/ftdi/Notice.h"

struct libusb_context;
struct libusb_device;

namespace qj {

class LibFtdi final : public FtdiApi {
public:
    explicit LibFtdi(NoticeOnce::Sink notice = {});
    ~LibFtdi() override;

    // False when USB cannot be reached at all (no libusb context).
    bool available() const { return usb_ != nullptr; }

    QJ_FTDI_CALL_OVERRIDES;
    FT_STATUS WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) override;
    // The emulated FT232R of the tests (qjig-usb-sim) serves its usbfs node
    // from a pseudo-terminal; a real bridge's node is a USB device.
    bool ReachesVirtualJig(FT_HANDLE h) override;
    std::string backendName() const override { return "libftdi"; }

private:
    struct Dev;
    Dev* dev(FT_HANDLE h, FT_STATUS& st);
    void dropList();

    libusb_context* usb_ = nullptr;
    std::vector<libusb_device*> list_;
    std::mutex mu_;
    std::map<FT_HANDLE, std::unique_ptr<Dev>> devs_;
    NoticeOnce notice_;
};

}  // namespace qj

#endif  // QJ_HAVE_LIBFTDI1
