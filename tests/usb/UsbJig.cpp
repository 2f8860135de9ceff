#include "usb/UsbJig.h"

#include <cstdlib>

namespace qjt {

namespace {
// QJ_USB_LOG=FILE: the emulated chip's log of every test, for a failure to be read.
qj::usb::Ft232rOptions withLog(qj::usb::Ft232rOptions opt) {
    if (const char* log = std::getenv("QJ_USB_LOG"); log && *log && opt.logPath.empty()) opt.logPath = log;
    return opt;
}
}  // namespace

UsbJig::UsbJig(const std::string& spec, qj::usb::Ft232rOptions opt)
    : line_(std::make_unique<qj::usb::SimLine>(spec)),
      usb_(std::make_unique<qj::usb::EmulatedFt232r>(withLog(opt), *line_)) {
    line_->start(*usb_);
}

void UsbJig::close() {
    if (line_) line_->stop();
    usb_.reset();
    line_.reset();
}

std::vector<uint32_t> UsbJig::values(qj::usb::ChipRequest::Kind kind) const {
    std::vector<uint32_t> v;
    for (const auto& r : usb_->requests())
        if (r.kind == kind) v.push_back(r.value);
    return v;
}

std::vector<qj::usb::ChipRequest::Kind> UsbJig::kinds() const {
    std::vector<qj::usb::ChipRequest::Kind> v;
    for (const auto& r : usb_->requests()) v.push_back(r.kind);
    return v;
}

bool usbBackendAvailable(const std::string& backend, std::string& why) {
    if (backend != "d2xx") return true;
    const char* lib = std::getenv("QJIG_D2XX_LIBRARY");
    if (lib && *lib) return true;
    why = "QJIG_D2XX_LIBRARY does not name the vendor's D2XX library: the D2XX path over the emulated FT232R is not run";
    return false;
}

qj::usb::Ft232rOptions usbOptionsFor(const std::string& backend) {
    qj::usb::Ft232rOptions o;
    // The vendor library opens only a device that no kernel driver holds.
    o.kernelDriver = backend != "d2xx";
    return o;
}

}  // namespace qjt
