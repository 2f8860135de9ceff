#ifdef QJ_HAVE_LIBFTDI1

#include "jig/ftdi/LibFtdi.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>
#include <vector>

#include "jig/ftdi/TtyTermios.h"

namespace qj {

namespace {
// Bytes kept for the host above the chip's own buffer; the reader stops
// taking more (and the chip holds the line) until the host catches up.
constexpr size_t kBufferCap = 64 * 1024;
}  // namespace

struct LibFtdi::Dev {
    ftdi_context* ctx = nullptr;
    uint32_t readMs = 0;

    std::mutex mu;  // guards everything below
    std::condition_variable cv;
    std::deque<uint8_t> buf;
    bool dead = false, stop = false;
    int pauses = 0;  // control requests waiting for the reader to step aside
    std::mutex usbMu;  // held by the reader while it reads, and by control requests
    std::thread reader;

    void run() {
        std::vector<uint8_t> raw(size_t(ctx->readbuffer_chunksize));
        std::vector<uint8_t> data(raw.size());
        for (;;) {
            {
                std::unique_lock<std::mutex> lk(mu);
                cv.wait(lk, [&] { return stop || (pauses == 0 && buf.size() < kBufferCap); });
                if (stop) return;
            }
            int n;
            {
                std::lock_guard<std::mutex> u(usbMu);
                n = readTransfer(raw, data.data());
            }
            std::lock_guard<std::mutex> lk(mu);
            if (n < 0) {
                dead = true;
                cv.notify_all();
                return;
            }
            if (n > 0) {
                buf.insert(buf.end(), data.data(), data.data() + n);
                cv.notify_all();
            }
        }
    }

    // One bulk-in transfer, without the two status bytes that lead each
    // packet. It returns after one latency period at most: the chip sends its
    // status that often even with nothing to say. (ftdi_read_data would go on
    // with the next transfer until one brought nothing but the status, which
    // the chip sends only when its timer runs out again: every answer would
    // reach the host a latency period late.)
    int readTransfer(std::vector<uint8_t>& raw, uint8_t* out) {
        int got = 0;
        const int r = libusb_bulk_transfer(ctx->usb_dev, uint8_t(ctx->out_ep), raw.data(), int(raw.size()), &got,
                                           ctx->usb_read_timeout);
        if (r < 0) return r;
        const int packet = std::max(int(ctx->max_packet_size), 3);
        int n = 0;
        for (int off = 0; off < got; off += packet) {
            const int len = std::min(packet, got - off);
            if (len <= 2) continue;
            std::copy_n(raw.data() + off + 2, len - 2, out + n);
            n += len - 2;
        }
        return n;
    }

    // Keeps the reader out of the library for one control request.
    class Pause {
    public:
        explicit Pause(Dev& d) : d_(d) {
            {
                std::lock_guard<std::mutex> lk(d_.mu);
                ++d_.pauses;
            }
            d_.usbMu.lock();
        }
        ~Pause() {
            d_.usbMu.unlock();
            std::lock_guard<std::mutex> lk(d_.mu);
            --d_.pauses;
            d_.cv.notify_all();
        }

    private:
        Dev& d_;
    };

    FT_STATUS result(int r, FT_STATUS failure = FT_IO_ERROR) {
        if (r >= 0) return FT_OK;
        if (r == LIBUSB_ERROR_NO_DEVICE || r == -666) {
            std::lock_guard<std::mutex> lk(mu);
            dead = true;
            cv.notify_all();
            return FT_IO_ERROR;
        }
        return failure;
    }
};

LibFtdi::LibFtdi(NoticeOnce::Sink notice) : notice_(std::move(notice)) {
    if (libusb_init(&usb_) != 0) usb_ = nullptr;
}

LibFtdi::~LibFtdi() {
    std::vector<FT_HANDLE> open;
    {
        std::lock_guard<std::mutex> g(mu_);
        for (auto& [h, d] : devs_) open.push_back(h);
    }
    for (FT_HANDLE h : open) Close(h);
    dropList();
    if (usb_) libusb_exit(usb_);
}

void LibFtdi::dropList() {
    for (libusb_device* d : list_) libusb_unref_device(d);
    list_.clear();
}

FT_STATUS LibFtdi::CreateDeviceInfoList(uint32_t& numDevs) {
    std::lock_guard<std::mutex> g(mu_);
    numDevs = 0;
    dropList();
    if (!usb_) return FT_OK;
    libusb_device** all = nullptr;
    const ssize_t n = libusb_get_device_list(usb_, &all);
    if (n < 0) return FT_OTHER_ERROR;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(all[i], &desc) == 0 && desc.idVendor == 0x0403) {
            list_.push_back(libusb_ref_device(all[i]));
        }
    }
    libusb_free_device_list(all, 1);
    numDevs = uint32_t(list_.size());
    return FT_OK;
}

FT_STATUS LibFtdi::GetDeviceInfo(uint32_t index, FtDeviceInfo& info) {
    std::lock_guard<std::mutex> g(mu_);
    if (index >= list_.size()) return FT_DEVICE_NOT_FOUND;
    libusb_device* d = list_[index];
    info.location = "usb " + std::to_string(libusb_get_bus_number(d)) + ":" +
                    std::to_string(libusb_get_device_address(d));
    libusb_device_descriptor desc{};
    libusb_get_device_descriptor(d, &desc);
    libusb_device_handle* h = nullptr;
    const int r = libusb_open(d, &h);
    if (r != 0) {
        info.description = r == LIBUSB_ERROR_ACCESS ? "(no permission)" : "(cannot open)";
        return FT_OK;
    }
    unsigned char s[128];
    if (desc.iProduct && libusb_get_string_descriptor_ascii(h, desc.iProduct, s, sizeof s) > 0)
        info.description = reinterpret_cast<char*>(s);
    if (desc.iSerialNumber && libusb_get_string_descriptor_ascii(h, desc.iSerialNumber, s, sizeof s) > 0)
        info.serial = reinterpret_cast<char*>(s);
    libusb_close(h);
    return FT_OK;
}

FT_STATUS LibFtdi::Open(uint32_t index, FT_HANDLE& handle) {
    handle = nullptr;
    uint8_t bus = 0, addr = 0;
    {
        std::lock_guard<std::mutex> g(mu_);
        if (index >= list_.size()) return FT_DEVICE_NOT_FOUND;
        bus = libusb_get_bus_number(list_[index]);
        addr = libusb_get_device_address(list_[index]);
    }
    auto d = std::make_unique<Dev>();
    d->ctx = ftdi_new();
    if (!d->ctx) return FT_INSUFFICIENT_RESOURCES;
    // Detach the kernel's driver for the session and give the device back to
    // it on close; a plain detach would leave no tty until the jig is replugged.
    d->ctx->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;  // no setter in libftdi1 1.5
    const int r = ftdi_usb_open_bus_addr(d->ctx, bus, addr);
    if (r < 0) {
        const std::string what = ftdi_get_error_string(d->ctx);
        ftdi_free(d->ctx);
        const std::string dev = "device " + std::to_string(index) + " (usb " + std::to_string(bus) + ":" +
                                std::to_string(addr) + ")";
        if (r == -4 || r == -8)
            notice_("libftdi: no permission to open " + dev + " (" + what +
                    "). Install the udev rule 60-quillmore-jig.rules (or add yourself to the plugdev group), then "
                    "replug the jig and log in again.");
        else if (r == -5)
            notice_("libftdi: " + dev + " is held by the kernel's ftdi_sio driver or another program (" + what +
                    "). Use --backend tty, or close the program that has the jig's /dev/ttyUSB port open.");
        else
            notice_("libftdi: cannot open " + dev + ": " + what);
        return FT_DEVICE_NOT_OPENED;
    }
    Dev* p = d.get();
    p->reader = std::thread([p] { p->run(); });
    handle = p;
    std::lock_guard<std::mutex> g(mu_);
    devs_[handle] = std::move(d);
    return FT_OK;
}

LibFtdi::Dev* LibFtdi::dev(FT_HANDLE h, FT_STATUS& st) {
    Dev* d = nullptr;
    {
        std::lock_guard<std::mutex> g(mu_);
        auto it = devs_.find(h);
        if (it == devs_.end()) {
            st = FT_INVALID_HANDLE;
            return nullptr;
        }
        d = it->second.get();
    }
    std::lock_guard<std::mutex> lk(d->mu);
    if (d->dead) {
        st = FT_IO_ERROR;
        return nullptr;
    }
    st = FT_OK;
    return d;
}

FT_STATUS LibFtdi::GetDriverVersion(FT_HANDLE h, uint32_t& version) {
    FT_STATUS st;
    if (!dev(h, st)) return st;
    const ftdi_version_info v = ftdi_get_library_version();
    version = uint32_t(v.major & 0xFF) << 16 | uint32_t(v.minor & 0xFF) << 8 | uint32_t(v.micro & 0xFF);
    return FT_OK;
}

FT_STATUS LibFtdi::ResetDevice(FT_HANDLE h) {
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    Dev::Pause p(*d);
    st = d->result(ftdi_usb_reset(d->ctx));
    std::lock_guard<std::mutex> lk(d->mu);
    d->buf.clear();
    return st;
}

FT_STATUS LibFtdi::SetBaudRate(FT_HANDLE h, uint32_t baud) {
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    if (const FT_STATUS bad = checkBaudRate(baud)) return bad;
    Dev::Pause p(*d);
    return d->result(ftdi_set_baudrate(d->ctx, int(baud)), FT_INVALID_BAUD_RATE);
}

FT_STATUS LibFtdi::SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t par) {
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    if (const FT_STATUS bad = checkDataCharacteristics(w, s, par)) return bad;
    Dev::Pause p(*d);
    return d->result(ftdi_set_line_property(d->ctx, w == 7 ? BITS_7 : BITS_8, s == 2 ? STOP_BIT_2 : STOP_BIT_1,
                                            ftdi_parity_type(par)));
}

FT_STATUS LibFtdi::SetTimeouts(FT_HANDLE h, uint32_t readMs, uint32_t writeMs) {
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    Dev::Pause p(*d);
    d->readMs = readMs;
    d->ctx->usb_write_timeout = int(writeMs);  // 0: no limit, as with the library's default
    return FT_OK;
}

FT_STATUS LibFtdi::SetLatencyTimer(FT_HANDLE h, uint8_t ms) {
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    if (const FT_STATUS bad = checkLatencyTimer(ms)) return bad;
    Dev::Pause p(*d);
    return d->result(ftdi_set_latency_timer(d->ctx, ms));
}

FT_STATUS LibFtdi::SetChars(FT_HANDLE h, uint8_t ev, uint8_t evOn, uint8_t er, uint8_t erOn) {
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    Dev::Pause p(*d);
    st = d->result(ftdi_set_event_char(d->ctx, ev, evOn ? 1 : 0));
    return st != FT_OK ? st : d->result(ftdi_set_error_char(d->ctx, er, erOn ? 1 : 0));
}

FT_STATUS LibFtdi::Purge(FT_HANDLE h, uint32_t mask) {
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    Dev::Pause p(*d);
    int r = 0;
    if ((mask & FT_PURGE_RX) && (mask & FT_PURGE_TX)) r = ftdi_tcioflush(d->ctx);
    else if (mask & FT_PURGE_RX) r = ftdi_tciflush(d->ctx);
    else if (mask & FT_PURGE_TX) r = ftdi_tcoflush(d->ctx);
    if (mask & FT_PURGE_RX) {
        std::lock_guard<std::mutex> lk(d->mu);
        d->buf.clear();
    }
    return d->result(r);
}

FT_STATUS LibFtdi::GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) {
    rx = tx = ev = 0;
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    std::lock_guard<std::mutex> lk(d->mu);
    rx = uint32_t(d->buf.size());
    return FT_OK;
}

FT_STATUS LibFtdi::Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) {
    written = 0;
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    // The bulk-out endpoint is apart from the reader's bulk-in: no pause needed.
    const int r = ftdi_write_data(d->ctx, buf, int(len));
    if (r < 0) return d->result(r);
    written = uint32_t(r);
    return FT_OK;
}

FT_STATUS LibFtdi::Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) {
    got = 0;
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    std::unique_lock<std::mutex> lk(d->mu);
    auto ready = [&] { return d->dead || d->buf.size() >= len; };
    if (d->readMs == 0) d->cv.wait(lk, ready);
    else d->cv.wait_for(lk, std::chrono::milliseconds(d->readMs), ready);
    if (d->dead) return FT_IO_ERROR;
    got = uint32_t(std::min<size_t>(len, d->buf.size()));
    std::copy_n(d->buf.begin(), got, buf);
    d->buf.erase(d->buf.begin(), d->buf.begin() + got);
    d->cv.notify_all();  // room again for the reader
    return FT_OK;
}

FT_STATUS LibFtdi::WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) {
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return st;
    if (txEmpty) return FT_OK;  // a write has left once it returned
    std::unique_lock<std::mutex> lk(d->mu);
    d->cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] {
        return d->dead || (rxAtLeast > 0 && d->buf.size() >= std::min<size_t>(rxAtLeast, kBufferCap));
    });
    return d->dead ? FT_IO_ERROR : FT_OK;
}

bool LibFtdi::ReachesVirtualJig(FT_HANDLE h) {
    FT_STATUS st;
    Dev* d = dev(h, st);
    if (!d) return false;
    bool pty = false;
#ifdef __linux__
    // The device's own descriptor: libusb polls it (a node's path would not
    // do, as umockdev reports the number of a USB device for it).
    if (const libusb_pollfd** fds = libusb_get_pollfds(d->ctx->usb_ctx)) {
        for (const libusb_pollfd** f = fds; *f; ++f) pty = pty || tty::isPtySlave((*f)->fd);
        libusb_free_pollfds(fds);
    }
#endif
    return pty;
}

FT_STATUS LibFtdi::Close(FT_HANDLE h) {
    std::unique_ptr<Dev> d;
    {
        std::lock_guard<std::mutex> g(mu_);
        auto it = devs_.find(h);
        if (it == devs_.end()) return FT_INVALID_HANDLE;
        d = std::move(it->second);
        devs_.erase(it);
    }
    {
        std::lock_guard<std::mutex> lk(d->mu);
        d->stop = true;
        d->cv.notify_all();
    }
    if (d->reader.joinable()) d->reader.join();
    ftdi_usb_close(d->ctx);  // gives the device back to the kernel's driver
    ftdi_free(d->ctx);
    return FT_OK;
}

}  // namespace qj

#endif  // QJ_HAVE_LIBFTDI1
