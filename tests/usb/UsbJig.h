#pragma once
// The virtual jig behind an emulated FT232R on an emulated USB bus, for one
// test: qjig's libftdi backend (and the vendor library's, when there is one)
// reach it through the real libftdi1, libusb and usbfs calls.
#include <memory>
#include <string>
#include <vector>

#include "support/CliRun.h"
#include "tools/ft232r/EmulatedFt232r.h"
#include "tools/ft232r/SimLine.h"

namespace qjt {

class UsbJig {
public:
    explicit UsbJig(const std::string& spec, qj::usb::Ft232rOptions opt = {});
    ~UsbJig() { close(); }
    qj::usb::EmulatedFt232r& usb() { return *usb_; }
    qj::usb::SimLine& line() { return *line_; }
    // The decoded values of one kind of request, in order.
    std::vector<uint32_t> values(qj::usb::ChipRequest::Kind kind) const;
    std::vector<qj::usb::ChipRequest::Kind> kinds() const;
    // Unplugs nothing: ends the jig, so its models write their `...-out=` files.
    void close();

private:
    std::unique_ptr<qj::usb::SimLine> line_;
    std::unique_ptr<qj::usb::EmulatedFt232r> usb_;
};

// The backends that reach the emulated chip: "libftdi", and "d2xx" when
// QJIG_D2XX_LIBRARY names the vendor's library (it reaches the kernel through
// the same usbfs calls). `why` says why a backend cannot run here.
bool usbBackendAvailable(const std::string& backend, std::string& why);
qj::usb::Ft232rOptions usbOptionsFor(const std::string& backend);

}  // namespace qjt
