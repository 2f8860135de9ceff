#pragma once
// An FT232R on an emulated USB bus: a umockdev testbed holding the device's
// sysfs entry and its usbfs node /dev/bus/usb/001/NNN, and the answers to the
// usbdevfs ioctls libusb makes on that node (URBs submitted, reaped and
// discarded, control transfers, interface claims, the kernel driver detached
// and given back), so that libftdi1 and libusb-1.0, unchanged, talk to it as
// to the real chip. What the host sends on bulk out goes to a serial line
// (Ft232rLine); what the line sends comes back in 64-byte bulk-in packets.
//
// The process must run under umockdev's preload library (runUnderPreload):
// it redirects /sys and /dev to the testbed and the node's ioctls to here.
// The function is faithful, the timing is not: every ioctl is a round trip
// over a local socket.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/ft232r/Ft232rChip.h"

namespace qj::usb {

// The serial side of the chip.
class Ft232rLine {
public:
    virtual ~Ft232rLine() = default;
    // Bytes the host sent, onto the line. False: the far side is gone (an unplug).
    virtual bool send(const uint8_t* p, size_t n) = 0;
    virtual void setLine(const LineSettings& s) = 0;
};

struct Ft232rOptions {
    Ft232rChip::Strings strings;
    int devnum = 2;            // address on bus 1
    bool kernelDriver = true;  // ftdi_sio holds interface 0 at the start, as after plugging in
    bool heldByOther = false;  // another program has claimed interface 0: every claim fails (EBUSY)
    std::string logPath;       // one line per request, transfer and event (appended)
};

class EmulatedFt232r {
public:
    // Throws std::runtime_error when the testbed cannot be made (no preload).
    EmulatedFt232r(const Ft232rOptions& opt, Ft232rLine& line);
    ~EmulatedFt232r();
    EmulatedFt232r(const EmulatedFt232r&) = delete;
    EmulatedFt232r& operator=(const EmulatedFt232r&) = delete;

    // Bytes from the line toward the host.
    void receive(const uint8_t* p, size_t n);
    // What the kernel does when the device goes: in-flight transfers end with
    // -ESHUTDOWN, every later call but a reap fails with ENODEV, the node
    // hangs up (poll reports an error), a "remove" uevent goes out and the
    // sysfs entry and the node are deleted.
    void unplug(const std::string& why);
    bool unplugged() const;

    std::vector<ChipRequest> requests() const;
    bool interfaceClaimed() const;  // by a program through usbfs
    bool kernelDriverBound() const; // ftdi_sio holds the interface (given back after a session)
    uint64_t hostBytes() const;     // bulk out
    uint64_t lineBytes() const;     // toward the host
    uint64_t statusOnlyPackets() const;  // bulk-in transfers that carried nothing but the status bytes
    std::string devnode() const;    // /dev/bus/usb/001/NNN

private:
    struct Impl;
    std::unique_ptr<Impl> p_;
};

// True when umockdev's preload library is active in this process.
bool underPreload();
// Re-runs the program (argv, as main got it) under umockdev's preload
// library when it is not under it yet; returns false with `error` set when
// that cannot be done, true when already under it.
bool runUnderPreload(char** argv, std::string& error);

}  // namespace qj::usb
