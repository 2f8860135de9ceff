#include "tools/ft232r/EmulatedFt232r.h"

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

namespace qj::usb {

namespace {

constexpr const char* kSysPath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";
constexpr int kUsbSpeedFull = 2;

int64_t steadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string hexBytes(const uint8_t* p, int n, int max) {
    std::string s;
    char b[4];
    for (int i = 0; i < n && i < max; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
        s += b;
    }
    if (n > max) s += " ...";
    return s;
}

template <typename T>
T* as(UMockdevIoctlData* d) {
    return reinterpret_cast<T*>(d->data);
}

}  // namespace

struct EmulatedFt232r::Impl {
    struct Urb {
        UMockdevIoctlData* data = nullptr;  // owned reference: the client's URB, its buffer resolved below it
        usbdevfs_urb* u = nullptr;
        uint8_t* buf = nullptr;
        int len = 0;
        unsigned long addr = 0;  // where the URB lives in the client
    };
    struct Client {
        UMockdevIoctlClient* ioc = nullptr;  // owned reference
        int id = 0;
        std::deque<Urb> pendingIn;  // bulk in, waiting for the chip
        std::deque<Urb> done;       // waiting to be reaped
        UMockdevIoctlData* blockedReap = nullptr;
    };

    Impl(const Ft232rOptions& o, Ft232rLine& l) : opt(o), line(l), chip(o.strings) {}

    Ft232rOptions opt;
    Ft232rLine& line;
    mutable std::mutex mu;  // guards everything below
    std::condition_variable cv;
    Ft232rChip chip;
    LineSettings lineNow;
    bool lineDirty = false;
    UMockdevTestbed* tb = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    std::string devnode;
    std::map<UMockdevIoctlClient*, std::unique_ptr<Client>> clients;
    int nextClient = 0;
    Client* owner = nullptr;
    std::string driver;  // bound to interface 0: "" none, "ftdi_sio", "usbfs"
    bool unplugged = false, removePending = false, stop = false;
    uint64_t hostBytes = 0, lineBytes = 0, statusOnly = 0;
    int doneCount = 0;
    int ptyMaster = -1, ptySlave = -1;
    bool woken = true;
    std::FILE* log = nullptr;
    const int64_t t0 = steadyUs();
    std::thread chipThread;

    int64_t nowUs() const { return steadyUs() - t0; }

    void say(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (!log) return;
        std::va_list ap;
        va_start(ap, fmt);
        std::fprintf(log, "%9.3f ", double(nowUs()) / 1000.0);
        std::vfprintf(log, fmt, ap);
        std::fputc('\n', log);
        std::fflush(log);
        va_end(ap);
    }

    // libusb sleeps in poll() on the node until a URB can be reaped (usbfs
    // says so with POLLOUT). The node is the far end of a pseudo-terminal
    // whose output is stopped while there is nothing to reap: no write room,
    // no POLLOUT. After an unplug its master is gone: POLLERR, as usbfs.
    void wake() {
        const bool want = doneCount > 0 || unplugged;
        if (ptySlave >= 0 && want != woken && ::tcflow(ptySlave, want ? TCOON : TCOOFF) == 0) woken = want;
    }

    static void freeUrb(Urb& r) {
        if (r.data) g_object_unref(r.data);
        r.data = nullptr;
    }

    // The slot is the client's `void *` that the kernel sets to the URB's
    // address; pointing it at the URB writes the URB (status, length, buffer)
    // back into the client when the ioctl completes.
    static void reapInto(UMockdevIoctlClient* ioc, UMockdevIoctlData* slot, Urb& r) {
        umockdev_ioctl_data_set_ptr(slot, 0, r.data);
        umockdev_ioctl_client_complete(ioc, 0, 0);
        freeUrb(r);
    }

    void finish(Client& c, Urb r) {
        if (c.blockedReap) {
            UMockdevIoctlData* slot = c.blockedReap;
            c.blockedReap = nullptr;
            reapInto(c.ioc, slot, r);
            g_object_unref(slot);
            return;
        }
        c.done.push_back(r);
        ++doneCount;
        wake();
    }

    void unplugLocked(const std::string& why) {
        if (unplugged) return;
        unplugged = true;
        say("unplug (%s)", why.c_str());
        for (auto& [k, c] : clients) {
            while (!c->pendingIn.empty()) {
                Urb r = c->pendingIn.front();
                c->pendingIn.pop_front();
                r.u->status = -ESHUTDOWN;
                r.u->actual_length = 0;
                finish(*c, r);
            }
            if (c->blockedReap) {
                umockdev_ioctl_client_complete(c->ioc, -1, ENODEV);
                g_object_unref(c->blockedReap);
                c->blockedReap = nullptr;
            }
        }
        wake();
        if (ptyMaster >= 0) ::close(ptyMaster);
        ptyMaster = -1;
        removePending = true;  // the uevent and the removal go out from the chip thread
        cv.notify_all();
    }

    void dropClient(UMockdevIoctlClient* ioc) {
        auto it = clients.find(ioc);
        if (it == clients.end()) return;
        Client& c = *it->second;
        say("client %d closed the node", c.id);
        for (Urb& r : c.pendingIn) freeUrb(r);
        for (Urb& r : c.done) {
            freeUrb(r);
            --doneCount;
        }
        if (c.blockedReap) g_object_unref(c.blockedReap);
        if (owner == &c) {
            owner = nullptr;
            if (driver == "usbfs") driver.clear();
        }
        g_object_unref(c.ioc);
        clients.erase(it);
        wake();
    }

    Client& client(UMockdevIoctlClient* ioc) {
        auto& c = clients[ioc];
        if (!c) {
            c = std::make_unique<Client>();
            c->ioc = UMOCKDEV_IOCTL_CLIENT(g_object_ref(ioc));
            c->id = ++nextClient;
            say("client %d opened the node", c->id);
        }
        return *c;
    }

    bool claim(Client& c, const char* how) {
        if (opt.heldByOther || (owner && owner != &c) || (!driver.empty() && driver != "usbfs")) return false;
        owner = &c;
        driver = "usbfs";
        say("client %d: interface 0 claimed (%s)", c.id, how);
        return true;
    }

    // SUBMITURB. Returns 0 or an errno. A bulk-in URB comes back in `inAfter`
    // instead of joining the chip's queue: see queueIn().
    int submit(Client& c, UMockdevIoctlData* d, bool& toLine, std::vector<uint8_t>& out, std::optional<Urb>& inAfter) {
        auto* u = as<usbdevfs_urb>(d);
        Urb r;
        r.u = u;
        r.len = u->buffer_length;
        r.addr = d->client_addr;
        if (r.len < 0) return EINVAL;
        if (r.len > 0) {
            GError* err = nullptr;
            UMockdevIoctlData* b =
                umockdev_ioctl_data_resolve(d, offsetof(usbdevfs_urb, buffer), std::size_t(r.len), &err);
            if (!b) {
                g_clear_error(&err);
                return EFAULT;
            }
            r.buf = b->data;
            g_object_unref(b);  // `d` keeps it
        }
        r.data = UMOCKDEV_IOCTL_DATA(g_object_ref(d));
        u->actual_length = 0;
        u->status = 0;
        if (u->type == USBDEVFS_URB_TYPE_CONTROL) {
            if (r.len < 8) return freeUrb(r), EINVAL;
            const uint8_t* s = r.buf;
            const uint16_t value = uint16_t(s[2] | s[3] << 8), index = uint16_t(s[4] | s[5] << 8),
                           length = uint16_t(s[6] | s[7] << 8);
            if (8 + length > r.len) return freeUrb(r), EINVAL;
            control(s[0], s[1], value, index, length, r.buf + 8, u->status, u->actual_length);
            finish(c, r);
            return 0;
        }
        if (u->type != USBDEVFS_URB_TYPE_BULK || (u->endpoint != kEpIn && u->endpoint != kEpOut))
            return freeUrb(r), ENOENT;
        if (owner != &c && !claim(c, "by the first transfer")) return freeUrb(r), EBUSY;
        if (u->endpoint == kEpIn) {
            inAfter = r;
            return 0;
        }
        say("bulk out %d [%s]", r.len, hexBytes(r.buf, r.len, 24).c_str());
        hostBytes += uint64_t(r.len);
        out.assign(r.buf, r.buf + r.len);
        toLine = true;
        u->actual_length = r.len;
        finish(c, r);
        return 0;
    }

    // A bulk-in URB joins the chip's queue only once umockdev has written the
    // submission back to the client: that write-back copies the URB and its
    // buffer outside our lock, and a chip or line thread filling them
    // meanwhile races the copy (the client may get part of an answer, or a
    // reap that carries none of it).
    void queueIn(UMockdevIoctlClient* ioc, Urb r) {
        std::lock_guard<std::mutex> g(mu);
        const auto it = clients.find(ioc);
        if (it == clients.end()) {
            freeUrb(r);
            return;
        }
        Client& c = *it->second;
        if (unplugged) {  // gone in between: ended as unplugLocked() ends the others
            r.u->status = -ESHUTDOWN;
            r.u->actual_length = 0;
            finish(c, r);
            return;
        }
        c.pendingIn.push_back(r);
        serveIn();
        cv.notify_all();  // the chip thread times the rest
    }

    void control(uint8_t rt, uint8_t rq, uint16_t value, uint16_t index, uint16_t length, uint8_t* data,
                 int& status, int& actual) {
        const size_t before = chip.requests().size();
        const int n = chip.control(rt, rq, value, index, length, data);
        for (size_t i = before; i < chip.requests().size(); ++i) say("control: %s", chip.requests()[i].text.c_str());
        status = n < 0 ? n : 0;
        actual = n < 0 ? 0 : n;
        noteLine();
    }

    // The line follows the chip's settings (told outside the lock, see ioctl()).
    void noteLine() {
        if (chip.line() == lineNow) return;
        lineNow = chip.line();
        lineDirty = true;
    }

    // One ioctl on the node, on umockdev's worker thread.
    gboolean ioctl(UMockdevIoctlClient* ioc) {
        const unsigned long req = umockdev_ioctl_client_get_request(ioc);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(ioc);
        UMockdevIoctlData* d = nullptr;
        const size_t size = _IOC_SIZE(req);
        if (size > 0 && req != USBDEVFS_DISCARDURB) {
            GError* err = nullptr;
            d = umockdev_ioctl_data_resolve(arg, 0, size, &err);
            if (!d) {
                g_clear_error(&err);
                umockdev_ioctl_client_complete(ioc, -1, EFAULT);
                return TRUE;
            }
        }
        long res = 0;
        int eno = 0;
        bool toLine = false;
        std::vector<uint8_t> out;
        std::optional<Urb> inAfter, reaped;
        std::unique_lock<std::mutex> lk(mu);
        Client& c = client(ioc);
        if (unplugged && req != USBDEVFS_REAPURB && req != USBDEVFS_REAPURBNDELAY) {
            res = -1, eno = ENODEV;
        } else {
            switch (req) {
            case USBDEVFS_GET_CAPABILITIES:
                // One URB for a transfer of any length, as a current kernel.
                *as<uint32_t>(d) = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                   USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_BULK_SCATTER_GATHER |
                                   USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
                break;
            case USBDEVFS_GET_SPEED: res = kUsbSpeedFull; break;
            case USBDEVFS_CONNECTINFO:
                as<usbdevfs_connectinfo>(d)->devnum = unsigned(opt.devnum);
                as<usbdevfs_connectinfo>(d)->slow = 0;
                break;
            case USBDEVFS_GETDRIVER: {
                auto* g = as<usbdevfs_getdriver>(d);
                const std::string who = opt.heldByOther ? "usbfs" : driver;
                if (g->interface != 0) res = -1, eno = EINVAL;
                else if (who.empty()) res = -1, eno = ENODATA;
                else std::snprintf(g->driver, sizeof g->driver, "%s", who.c_str());
                break;
            }
            case USBDEVFS_IOCTL: {
                auto* io = as<usbdevfs_ioctl>(d);
                if (io->ioctl_code == int(USBDEVFS_DISCONNECT)) {
                    if (opt.heldByOther || driver.empty() || driver == "usbfs") {
                        res = -1, eno = ENODATA;
                    } else {
                        say("client %d: kernel driver %s detached", c.id, driver.c_str());
                        driver.clear();
                    }
                } else if (io->ioctl_code == int(USBDEVFS_CONNECT)) {
                    if (!driver.empty() || opt.heldByOther) {
                        res = -1, eno = EBUSY;
                    } else if (opt.kernelDriver) {
                        driver = "ftdi_sio";
                        res = 1;  // the number of drivers bound
                        say("client %d: ftdi_sio bound again", c.id);
                    }
                } else {
                    res = -1, eno = ENOTTY;
                }
                break;
            }
            case USBDEVFS_DISCONNECT_CLAIM: {
                auto* dc = as<usbdevfs_disconnect_claim>(d);
                if (dc->interface != 0) {
                    res = -1, eno = EINVAL;
                    break;
                }
                const bool except = dc->flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER;
                const bool only = dc->flags & USBDEVFS_DISCONNECT_CLAIM_IF_DRIVER;
                const bool named = driver == dc->driver;
                if (!opt.heldByOther && !driver.empty() && driver != "usbfs" &&
                    ((!except && !only) || (except && !named) || (only && named))) {
                    say("client %d: kernel driver %s detached", c.id, driver.c_str());
                    driver.clear();
                }
                if (!claim(c, "DISCONNECT_CLAIM")) res = -1, eno = EBUSY;
                break;
            }
            case USBDEVFS_CLAIMINTERFACE:
                if (*as<unsigned>(d) != 0) res = -1, eno = EINVAL;
                else if (owner != &c && !claim(c, "CLAIMINTERFACE")) res = -1, eno = EBUSY;
                break;
            case USBDEVFS_RELEASEINTERFACE:
                if (*as<unsigned>(d) != 0 || owner != &c) {
                    res = -1, eno = EINVAL;
                } else {
                    owner = nullptr;
                    driver.clear();
                    say("client %d: interface 0 released", c.id);
                }
                break;
            case USBDEVFS_SETCONFIGURATION:
            case USBDEVFS_SETINTERFACE:
            case USBDEVFS_CLEAR_HALT:
            case USBDEVFS_RESETEP: break;
            case USBDEVFS_RESET:
                chip.portReset(nowUs());
                say("USB port reset");
                noteLine();
                break;
            case USBDEVFS_CONTROL: {
                auto* ct = as<usbdevfs_ctrltransfer>(d);
                uint8_t none[8] = {};
                uint8_t* data = none;
                UMockdevIoctlData* b = nullptr;
                if (ct->wLength) {
                    GError* err = nullptr;
                    b = umockdev_ioctl_data_resolve(d, offsetof(usbdevfs_ctrltransfer, data), ct->wLength, &err);
                    if (!b) {
                        g_clear_error(&err);
                        res = -1, eno = EFAULT;
                        break;
                    }
                    data = b->data;
                }
                int status = 0, actual = 0;
                control(ct->bRequestType, ct->bRequest, ct->wValue, ct->wIndex, ct->wLength, data, status, actual);
                if (b) g_object_unref(b);
                if (status < 0) res = -1, eno = -status;
                else res = actual;
                break;
            }
            case USBDEVFS_SUBMITURB:
                if (const int e = submit(c, d, toLine, out, inAfter); e != 0) res = -1, eno = e;
                break;
            case USBDEVFS_DISCARDURB: {
                const unsigned long addr = *as<unsigned long>(arg);
                res = -1, eno = EINVAL;
                for (auto it = c.pendingIn.begin(); it != c.pendingIn.end(); ++it) {
                    if (it->addr != addr) continue;
                    Urb r = *it;
                    c.pendingIn.erase(it);
                    r.u->status = -ENOENT;
                    r.u->actual_length = 0;
                    say("client %d: bulk in discarded (a time-out)", c.id);
                    finish(c, r);
                    res = 0, eno = 0;
                    break;
                }
                break;
            }
            case USBDEVFS_REAPURB:
            case USBDEVFS_REAPURBNDELAY:
                if (!c.done.empty()) {
                    reaped = c.done.front();
                    c.done.pop_front();
                    --doneCount;
                    wake();
                    break;
                }
                if (unplugged) {
                    res = -1, eno = ENODEV;
                } else if (req == USBDEVFS_REAPURBNDELAY) {
                    res = -1, eno = EAGAIN;
                } else {  // blocking: answered when a URB completes
                    c.blockedReap = d;
                    return TRUE;
                }
                break;
            default:
                say("client %d: ioctl %08lX not emulated (ENOTTY)", c.id, req);
                res = -1, eno = ENOTTY;
                break;
            }
        }
        const bool retune = std::exchange(lineDirty, false);
        const LineSettings settings = lineNow;
        lk.unlock();
        // Completions outside the lock: the write-back may iterate umockdev's
        // main loop, and so call this handler again.
        if (reaped) reapInto(ioc, d, *reaped);
        else umockdev_ioctl_client_complete(ioc, res, eno);
        if (d) g_object_unref(d);
        if (inAfter) queueIn(ioc, *inAfter);
        // The line outside the lock: it may answer at once, or be gone. This
        // worker thread is the only one here, so the order holds.
        if (retune) line.setLine(settings);
        if (toLine && !line.send(out.data(), out.size())) unplug("the line went away");
        return TRUE;
    }

    void unplug(const std::string& why) {
        std::lock_guard<std::mutex> g(mu);
        unplugLocked(why);
    }

    // Completes the bulk-in URBs that are due; returns when the next one is
    // (on the chip's clock). Called wherever that may change, so that an
    // answer goes out without a thread's wake-up in between.
    int64_t serveIn() {
        const int64_t now = nowUs();
        int64_t next = now + 100'000;
        for (auto& [k, c] : clients) {
            while (!c->pendingIn.empty()) {
                Urb r = c->pendingIn.front();
                const int64_t due = chip.inDueUs(r.len);
                if (due > now) {
                    next = std::min(next, due);
                    break;
                }
                c->pendingIn.pop_front();
                const size_t before = chip.buffered();
                r.u->actual_length = chip.fillIn(r.buf, r.len, now);
                r.u->status = 0;
                const size_t moved = before - chip.buffered();
                lineBytes += moved;
                if (moved == 0) ++statusOnly;
                else say("bulk in %d -> %d (%zu data) [%s]", r.len, r.u->actual_length, moved,
                         hexBytes(r.buf + 2, int(std::min<size_t>(moved, kPacketData)), 24).c_str());
                finish(*c, r);
            }
        }
        return next;
    }

    // The chip's side: completes bulk-in URBs when their latency timer runs out.
    void runChip() {
        std::unique_lock<std::mutex> lk(mu);
        while (!stop) {
            if (removePending) {
                removePending = false;
                lk.unlock();
                // What udev and the kernel do next: libusb's hotplug thread drops the device.
                umockdev_testbed_uevent(tb, kSysPath, "remove");
                umockdev_testbed_remove_device(tb, kSysPath);
                lk.lock();
                say("unplug: remove uevent sent, sysfs entry and node deleted");
                continue;
            }
            cv.wait_until(lk, std::chrono::steady_clock::time_point(std::chrono::microseconds(t0 + serveIn())));
        }
    }

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* ioc, gpointer self) {
        return static_cast<Impl*>(self)->ioctl(ioc);
    }
    // A connection ends with the process that opened the node; within one
    // process umockdev keeps it until the testbed goes, so there a close of
    // the node is not seen (a released interface is).
    static void onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* ioc, gpointer self) {
        auto* p = static_cast<Impl*>(self);
        std::lock_guard<std::mutex> g(p->mu);
        p->dropClient(ioc);
    }

    // The device as udev and sysfs show it: what libusb reads to find it.
    std::string record() const {
        std::string hex;
        char b[4];
        for (uint8_t x : chip.descriptors()) std::snprintf(b, sizeof b, "%02X", x), hex += b;
        const Ft232rChip::Strings& s = opt.strings;
        const std::string n = std::to_string(opt.devnum), minor = std::to_string(opt.devnum - 1);
        char dev[4];
        std::snprintf(dev, sizeof dev, "%03d", opt.devnum);
        return std::string("P: ") + (kSysPath + 4) + "\n" +  // without "/sys"
               "N: bus/usb/001/" + dev + "\n" +
               "E: DEVNAME=/dev/bus/usb/001/" + dev + "\n" +
               "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: PRODUCT=403/6001/600\nE: TYPE=0/0/0\n"
               "E: BUSNUM=001\nE: DEVNUM=" + dev + "\nE: MAJOR=189\nE: MINOR=" + minor + "\n" +
               "E: SUBSYSTEM=usb\nE: ID_VENDOR_ID=0403\nE: ID_MODEL_ID=6001\nE: ID_SERIAL_SHORT=" + s.serial + "\n" +
               "A: authorized=1\nA: bConfigurationValue=1\nA: bDeviceClass=00\nA: bDeviceProtocol=00\n"
               "A: bDeviceSubClass=00\nA: bMaxPacketSize0=8\nA: bMaxPower=90mA\nA: bNumConfigurations=1\n"
               "A: bNumInterfaces= 1\nA: bcdDevice=0600\nA: bmAttributes=a0\nA: busnum=1\n"
               "A: dev=189:" + minor + "\nA: devnum=" + n + "\nA: devpath=1\nA: idProduct=6001\nA: idVendor=0403\n" +
               "A: manufacturer=" + s.manufacturer + "\nA: maxchild=0\nA: product=" + s.product + "\n" +
               "A: serial=" + s.serial + "\nA: speed=12\nA: version= 2.00\n" +
               "H: descriptors=" + hex + "\n";
    }
};

EmulatedFt232r::EmulatedFt232r(const Ft232rOptions& opt, Ft232rLine& line) : p_(std::make_unique<Impl>(opt, line)) {
    if (!underPreload()) throw std::runtime_error("the emulated FT232R needs umockdev's preload library (LD_PRELOAD)");
    if (opt.devnum < 1 || opt.devnum > 127) throw std::runtime_error("the device address must be 1 to 127");
    if (!opt.logPath.empty()) p_->log = std::fopen(opt.logPath.c_str(), "a");
    p_->driver = opt.kernelDriver ? "ftdi_sio" : "";
    p_->lineNow = p_->chip.line();

    p_->tb = umockdev_testbed_new();
    GError* err = nullptr;
    if (!umockdev_testbed_add_from_string(p_->tb, p_->record().c_str(), &err)) {
        const std::string what = err ? err->message : "?";
        g_clear_error(&err);
        throw std::runtime_error("umockdev: " + what);
    }
    char dev[4];
    std::snprintf(dev, sizeof dev, "%03d", opt.devnum);
    p_->devnode = std::string("/dev/bus/usb/001/") + dev;
    gchar* root = umockdev_testbed_get_root_dir(p_->tb);
    const std::string nodeFile = std::string(root) + p_->devnode;
    g_free(root);

    // The node becomes a pseudo-terminal's far end with its output stopped (see wake()).
    p_->ptyMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p_->ptyMaster < 0 || ::grantpt(p_->ptyMaster) != 0 || ::unlockpt(p_->ptyMaster) != 0)
        throw std::runtime_error(std::string("pseudo-terminal: ") + std::strerror(errno));
    const std::string slave = ::ptsname(p_->ptyMaster);
    p_->ptySlave = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (p_->ptySlave < 0 || ::tcgetattr(p_->ptySlave, &t) != 0)
        throw std::runtime_error(slave + ": " + std::strerror(errno));
    ::cfmakeraw(&t);
    ::tcsetattr(p_->ptySlave, TCSANOW, &t);
    p_->wake();
    ::unlink(nodeFile.c_str());
    if (::symlink(slave.c_str(), nodeFile.c_str()) != 0)
        throw std::runtime_error(nodeFile + ": " + std::strerror(errno));

    p_->handler = umockdev_ioctl_base_new();
    g_signal_connect(p_->handler, "handle-ioctl", G_CALLBACK(Impl::onIoctl), p_.get());
    g_signal_connect(p_->handler, "client-vanished", G_CALLBACK(Impl::onVanished), p_.get());
    if (!umockdev_testbed_attach_ioctl(p_->tb, p_->devnode.c_str(), p_->handler, &err)) {
        const std::string what = err ? err->message : "?";
        g_clear_error(&err);
        throw std::runtime_error("umockdev: " + what);
    }
    p_->say("FT232R 0403:6001 serial %s at %s", opt.strings.serial.c_str(), p_->devnode.c_str());
    p_->chipThread = std::thread([this] { p_->runChip(); });
}

EmulatedFt232r::~EmulatedFt232r() {
    {
        std::lock_guard<std::mutex> g(p_->mu);
        p_->stop = true;
        p_->cv.notify_all();
    }
    if (p_->chipThread.joinable()) p_->chipThread.join();
    if (p_->handler) {
        GError* err = nullptr;
        if (p_->tb && !p_->unplugged) umockdev_testbed_detach_ioctl(p_->tb, p_->devnode.c_str(), &err);
        g_clear_error(&err);
        g_signal_handlers_disconnect_by_data(p_->handler, p_.get());
    }
    {
        std::lock_guard<std::mutex> g(p_->mu);
        while (!p_->clients.empty()) p_->dropClient(p_->clients.begin()->first);
    }
    if (p_->handler) g_object_unref(p_->handler);
    if (p_->tb) g_object_unref(p_->tb);  // removes the testbed's directory
    if (p_->ptySlave >= 0) ::close(p_->ptySlave);
    if (p_->ptyMaster >= 0) ::close(p_->ptyMaster);
    if (p_->log) std::fclose(p_->log);
}

void EmulatedFt232r::receive(const uint8_t* p, size_t n) {
    std::lock_guard<std::mutex> g(p_->mu);
    if (p_->unplugged) return;
    p_->chip.fromLine(p, n, p_->nowUs());
    p_->serveIn();
    p_->cv.notify_all();
}

void EmulatedFt232r::unplug(const std::string& why) { p_->unplug(why); }

bool EmulatedFt232r::unplugged() const {
    std::lock_guard<std::mutex> g(p_->mu);
    return p_->unplugged;
}

std::vector<ChipRequest> EmulatedFt232r::requests() const {
    std::lock_guard<std::mutex> g(p_->mu);
    return p_->chip.requests();
}

bool EmulatedFt232r::interfaceClaimed() const {
    std::lock_guard<std::mutex> g(p_->mu);
    return p_->owner != nullptr;
}

bool EmulatedFt232r::kernelDriverBound() const {
    std::lock_guard<std::mutex> g(p_->mu);
    return p_->driver == "ftdi_sio";
}

uint64_t EmulatedFt232r::hostBytes() const {
    std::lock_guard<std::mutex> g(p_->mu);
    return p_->hostBytes;
}

uint64_t EmulatedFt232r::lineBytes() const {
    std::lock_guard<std::mutex> g(p_->mu);
    return p_->lineBytes;
}

uint64_t EmulatedFt232r::statusOnlyPackets() const {
    std::lock_guard<std::mutex> g(p_->mu);
    return p_->statusOnly;
}

std::string EmulatedFt232r::devnode() const { return p_->devnode; }

bool underPreload() {
    // umockdev_in_mock_environment() says whether a testbed is active, not
    // whether the library is loaded; the loader's list says that.
    const char* pl = std::getenv("LD_PRELOAD");
    return pl && std::strstr(pl, "libumockdev-preload");
}

bool runUnderPreload(char** argv, std::string& error) {
    if (underPreload()) return true;
    // libudev, which libusb and the testbed's uevents go through, must see the
    // testbed's /sys too: the whole process runs under the preload.
    const char* old = std::getenv("LD_PRELOAD");
    std::string v = "libumockdev-preload.so.0";
    if (old && *old) v += std::string(":") + old;
    ::setenv("LD_PRELOAD", v.c_str(), 1);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer wants its runtime first among the loaded libraries;
    // the preload library must come first to see every call on /sys and /dev.
    const char* asan = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS", (std::string(asan && *asan ? asan : "") + (asan && *asan ? ":" : "") +
                              "verify_asan_link_order=0").c_str(), 1);
#endif
    ::execv("/proc/self/exe", argv);
    error = std::string("cannot run again under umockdev's preload library: ") + std::strerror(errno);
    return false;
}

}  // namespace qj::usb
