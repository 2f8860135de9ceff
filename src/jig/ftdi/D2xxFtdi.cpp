#include "jig/ftdi/D2xxFtdi.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#define QJ_FTAPI __stdcall
#else
#include <dlfcn.h>
#include <pthread.h>
#include <time.h>
#define QJ_FTAPI
#endif

namespace qj {

// The library's types: DWORD and ULONG are 32 bits on every platform it
// ships for (64-bit Linux included), a handle is a pointer.
namespace d2xx {
using DWORD = uint32_t;
using ULONG = uint32_t;
using UCHAR = uint8_t;
using STATUS = uint32_t;
using HANDLE = void*;

constexpr DWORD kEventRxChar = 1;  // FT_EVENT_RXCHAR

#ifndef _WIN32
// What the library's notification takes outside Windows: it signals the
// condition with the mutex held when data comes.
struct EVENT_HANDLE {
    pthread_cond_t eCondVar;
    pthread_mutex_t eMutex;
    int iVar;
};
#endif
}  // namespace d2xx

// The object the library notifies, with the lock that guards a look at the
// queues and the wait after it.
struct D2xxFtdi::Event {
    using Clock = std::chrono::steady_clock;
#if defined(_WIN32)
    HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // auto-reset: a signal waits for the waiter
    ~Event() {
        if (ev) CloseHandle(ev);
    }
    bool ok() const { return ev != nullptr; }
    void* arg() { return ev; }
    void lock() {}
    void unlock() {}
    void waitUntil(Clock::time_point t) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
        if (ms > 0) WaitForSingleObject(ev, static_cast<DWORD>(ms));
    }
#elif defined(__linux__)
    d2xx::EVENT_HANDLE eh{};
    bool ok_ = false;
    Event() {
        pthread_condattr_t a;
        pthread_condattr_init(&a);
        pthread_condattr_setclock(&a, CLOCK_MONOTONIC);  // the steady clock's
        const bool cond = pthread_cond_init(&eh.eCondVar, &a) == 0;
        pthread_condattr_destroy(&a);
        const bool mutex = cond && pthread_mutex_init(&eh.eMutex, nullptr) == 0;
        if (cond && !mutex) pthread_cond_destroy(&eh.eCondVar);
        ok_ = cond && mutex;
    }
    ~Event() {
        if (!ok_) return;
        pthread_cond_destroy(&eh.eCondVar);
        pthread_mutex_destroy(&eh.eMutex);
    }
    bool ok() const { return ok_; }
    void* arg() { return &eh; }
    void lock() { pthread_mutex_lock(&eh.eMutex); }
    void unlock() { pthread_mutex_unlock(&eh.eMutex); }
    // Called with the lock held; returns with it held.
    void waitUntil(Clock::time_point t) {
        const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t - Clock::now()).count();
        if (ns <= 0) return;
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const int64_t at = int64_t(ts.tv_nsec) + ns;
        ts.tv_sec += static_cast<time_t>(at / 1'000'000'000);
        ts.tv_nsec = static_cast<long>(at % 1'000'000'000);
        pthread_cond_timedwait(&eh.eCondVar, &eh.eMutex, &ts);
    }
#else
    // No monotonic condition here: waits poll.
    bool ok() const { return false; }
    void* arg() { return nullptr; }
    void lock() {}
    void unlock() {}
    void waitUntil(Clock::time_point) {}
#endif
};

struct D2xxFtdi::Calls {
    d2xx::STATUS(QJ_FTAPI* CreateDeviceInfoList)(d2xx::DWORD*) = nullptr;
    d2xx::STATUS(QJ_FTAPI* GetDeviceInfoDetail)(d2xx::DWORD, d2xx::DWORD*, d2xx::DWORD*, d2xx::DWORD*, d2xx::DWORD*,
                                                void*, void*, d2xx::HANDLE*) = nullptr;
    d2xx::STATUS(QJ_FTAPI* Open)(int, d2xx::HANDLE*) = nullptr;
    d2xx::STATUS(QJ_FTAPI* GetDriverVersion)(d2xx::HANDLE, d2xx::DWORD*) = nullptr;
    d2xx::STATUS(QJ_FTAPI* GetLibraryVersion)(d2xx::DWORD*) = nullptr;
    d2xx::STATUS(QJ_FTAPI* ResetDevice)(d2xx::HANDLE) = nullptr;
    d2xx::STATUS(QJ_FTAPI* SetBaudRate)(d2xx::HANDLE, d2xx::ULONG) = nullptr;
    d2xx::STATUS(QJ_FTAPI* SetDataCharacteristics)(d2xx::HANDLE, d2xx::UCHAR, d2xx::UCHAR, d2xx::UCHAR) = nullptr;
    d2xx::STATUS(QJ_FTAPI* SetTimeouts)(d2xx::HANDLE, d2xx::ULONG, d2xx::ULONG) = nullptr;
    d2xx::STATUS(QJ_FTAPI* SetLatencyTimer)(d2xx::HANDLE, d2xx::UCHAR) = nullptr;
    d2xx::STATUS(QJ_FTAPI* SetChars)(d2xx::HANDLE, d2xx::UCHAR, d2xx::UCHAR, d2xx::UCHAR, d2xx::UCHAR) = nullptr;
    d2xx::STATUS(QJ_FTAPI* Purge)(d2xx::HANDLE, d2xx::ULONG) = nullptr;
    d2xx::STATUS(QJ_FTAPI* GetStatus)(d2xx::HANDLE, d2xx::DWORD*, d2xx::DWORD*, d2xx::DWORD*) = nullptr;
    d2xx::STATUS(QJ_FTAPI* Write)(d2xx::HANDLE, void*, d2xx::DWORD, d2xx::DWORD*) = nullptr;
    d2xx::STATUS(QJ_FTAPI* Read)(d2xx::HANDLE, void*, d2xx::DWORD, d2xx::DWORD*) = nullptr;
    d2xx::STATUS(QJ_FTAPI* Close)(d2xx::HANDLE) = nullptr;
    d2xx::STATUS(QJ_FTAPI* SetEventNotification)(d2xx::HANDLE, d2xx::DWORD, void*) = nullptr;
};

namespace {

void* openLibrary(const std::string& name, std::string& err) {
#ifdef _WIN32
    HMODULE m = LoadLibraryA(name.c_str());
    if (!m) err = name + ": cannot be loaded (error " + std::to_string(GetLastError()) + ")";
    return reinterpret_cast<void*>(m);
#else
    void* h = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = ::dlerror();
        err = e ? e : name + ": cannot be loaded";
    }
    return h;
#endif
}

void* symbol(void* lib, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(lib), name));
#else
    return ::dlsym(lib, name);
#endif
}

void closeLibrary(void* lib) {
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(lib));
#else
    ::dlclose(lib);
#endif
}

template <class Fn>
bool bind(void* lib, const char* name, Fn& fn) {
    void* p = symbol(lib, name);
    if (!p) return false;
    static_assert(sizeof(Fn) == sizeof(void*));
    std::memcpy(&fn, &p, sizeof fn);  // object to function pointer, as dlsym intends
    return true;
}

std::string fixedString(const char* p, size_t n) { return std::string(p, strnlen(p, n)); }

}  // namespace

std::vector<std::string> D2xxFtdi::defaultLibraryNames() {
    std::vector<std::string> names;
    if (const char* env = std::getenv("QJIG_D2XX_LIBRARY"); env && *env) names.emplace_back(env);
#ifdef _WIN32
    names.emplace_back("ftd2xx.dll");
#elif defined(__APPLE__)
    names.emplace_back("libftd2xx.dylib");
#else
    names.emplace_back("libftd2xx.so");
    names.emplace_back("libftd2xx.so.1");
#endif
    return names;
}

D2xxFtdi::D2xxFtdi(std::vector<std::string> names, NoticeOnce::Sink notice)
    : fn_(std::make_unique<Calls>()), notice_(std::move(notice)) {
    std::string missing;  // names with no file behind them: the usual case, said briefly
    for (const auto& n : names) {
        std::string err;
        void* lib = openLibrary(n, err);
        if (!lib) {
            if (err.find("No such file") != std::string::npos || err.find("error 126") != std::string::npos) {
                missing += (missing.empty() ? "" : ", ") + n;
            } else {
                if (!why_.empty()) why_ += "; ";
                why_ += err;
            }
            continue;
        }
        Calls c;
        bool ok = bind(lib, "FT_CreateDeviceInfoList", c.CreateDeviceInfoList) && bind(lib, "FT_Open", c.Open) &&
                  bind(lib, "FT_ResetDevice", c.ResetDevice) && bind(lib, "FT_SetBaudRate", c.SetBaudRate) &&
                  bind(lib, "FT_SetDataCharacteristics", c.SetDataCharacteristics) &&
                  bind(lib, "FT_SetTimeouts", c.SetTimeouts) && bind(lib, "FT_SetLatencyTimer", c.SetLatencyTimer) &&
                  bind(lib, "FT_Purge", c.Purge) && bind(lib, "FT_GetStatus", c.GetStatus) &&
                  bind(lib, "FT_Write", c.Write) && bind(lib, "FT_Read", c.Read) && bind(lib, "FT_Close", c.Close);
#ifdef _WIN32
        ok = ok && bind(lib, "FT_GetDriverVersion", c.GetDriverVersion);
#endif
        // Optional: descriptions for `qjig devices`, the version to log, the
        // notification that waits block on (without it they poll), the event
        // character (without it answers wait for the latency timer).
        bind(lib, "FT_GetDeviceInfoDetail", c.GetDeviceInfoDetail);
        bind(lib, "FT_SetChars", c.SetChars);
        bind(lib, "FT_GetLibraryVersion", c.GetLibraryVersion);
        bind(lib, "FT_SetEventNotification", c.SetEventNotification);
        if (!ok) {
            if (!why_.empty()) why_ += "; ";
            why_ += n + ": not the D2XX library (calls missing)";
            closeLibrary(lib);
            continue;
        }
        lib_ = lib;
        *fn_ = c;
        name_ = n;
        why_.clear();
        return;
    }
    if (!missing.empty()) why_ += (why_.empty() ? "" : "; ") + ("not found: " + missing);
    if (why_.empty()) why_ = "no library name to try";
}

D2xxFtdi::~D2xxFtdi() {
    // Handles left open still have the library's notification pointing at
    // their events: close them before the events go.
    for (auto& [h, p] : ports_)
        if (lib_) fn_->Close(h);
    ports_.clear();
    if (lib_) closeLibrary(lib_);
}

std::shared_ptr<D2xxFtdi::Port> D2xxFtdi::port(FT_HANDLE h) {
    std::lock_guard<std::mutex> g(portsMu_);
    auto it = ports_.find(h);
    return it == ports_.end() ? nullptr : it->second;
}

void D2xxFtdi::notifyOn(FT_HANDLE h, Port& p) {
    if (!fn_->SetEventNotification) return;
    if (!p.event) {
        auto e = std::make_unique<Event>();
        if (!e->ok()) return;
        p.event = std::move(e);
    }
    p.notified = fn_->SetEventNotification(h, d2xx::kEventRxChar, p.event->arg()) == FT_OK;
}

FT_STATUS D2xxFtdi::CreateDeviceInfoList(uint32_t& numDevs) {
    numDevs = 0;
    if (!lib_) return FT_OK;  // unavailable: no devices
    d2xx::DWORD n = 0;
    const FT_STATUS st = fn_->CreateDeviceInfoList(&n);
    numDevs = n;
    return st;
}

FT_STATUS D2xxFtdi::GetDeviceInfo(uint32_t index, FtDeviceInfo& info) {
    if (!lib_) return FT_DEVICE_NOT_FOUND;
    if (!fn_->GetDeviceInfoDetail) return FT_OK;
    d2xx::DWORD flags = 0, type = 0, id = 0, loc = 0;
    char serial[16] = {}, desc[64] = {};
    d2xx::HANDLE h = nullptr;
    const FT_STATUS st = fn_->GetDeviceInfoDetail(index, &flags, &type, &id, &loc, serial, desc, &h);
    if (st != FT_OK) return st;
    info.serial = fixedString(serial, sizeof serial);
    info.description = fixedString(desc, sizeof desc);
    info.location = "loc " + std::to_string(loc);
    return FT_OK;
}

FT_STATUS D2xxFtdi::Open(uint32_t index, FT_HANDLE& handle) {
    handle = nullptr;
    if (!lib_) return FT_DEVICE_NOT_FOUND;
    const FT_STATUS st = fn_->Open(int(index), &handle);
    if (st == FT_OK) {
        auto p = std::make_shared<Port>();
        notifyOn(handle, *p);
        std::lock_guard<std::mutex> g(portsMu_);
        ports_[handle] = std::move(p);
    }
#ifdef __linux__
    if (st != FT_OK)
        notice_("d2xx: cannot open device " + std::to_string(index) + " (" + ftStatusName(st) +
                "). The vendor library cannot open a device that the kernel's ftdi_sio driver holds: use "
                "--backend tty, or unload the driver with \"sudo rmmod ftdi_sio\".");
#endif
    return st;
}

FT_STATUS D2xxFtdi::GetDriverVersion(FT_HANDLE h, uint32_t& version) {
    if (!lib_) return FT_INVALID_HANDLE;
    d2xx::DWORD v = 0;
    FT_STATUS st;
    if (fn_->GetDriverVersion) st = fn_->GetDriverVersion(h, &v);
    else if (fn_->GetLibraryVersion) st = fn_->GetLibraryVersion(&v);
    else st = FT_OTHER_ERROR;
    version = v;
    return st;
}

#define QJ_D2XX_CALL(expr) return lib_ ? FT_STATUS(expr) : FT_INVALID_HANDLE

FT_STATUS D2xxFtdi::ResetDevice(FT_HANDLE h) {
    if (!lib_) return FT_INVALID_HANDLE;
    const FT_STATUS st = fn_->ResetDevice(h);
    // Whether a reset keeps the notification is not said: ask for it again.
    if (auto p = port(h); p && p->notified) notifyOn(h, *p);
    return st;
}

FT_STATUS D2xxFtdi::SetBaudRate(FT_HANDLE h, uint32_t baud) {
    if (!lib_) return FT_INVALID_HANDLE;
    const FT_STATUS st = fn_->SetBaudRate(h, baud);
    if (auto p = port(h); p && st == FT_OK) p->baud = baud;
    return st;
}
FT_STATUS D2xxFtdi::SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t p) {
    QJ_D2XX_CALL(fn_->SetDataCharacteristics(h, w, s, p));
}
FT_STATUS D2xxFtdi::SetTimeouts(FT_HANDLE h, uint32_t r, uint32_t w) { QJ_D2XX_CALL(fn_->SetTimeouts(h, r, w)); }
FT_STATUS D2xxFtdi::SetLatencyTimer(FT_HANDLE h, uint8_t ms) { QJ_D2XX_CALL(fn_->SetLatencyTimer(h, ms)); }
FT_STATUS D2xxFtdi::SetChars(FT_HANDLE h, uint8_t ev, uint8_t evOn, uint8_t er, uint8_t erOn) {
    if (lib_ && !fn_->SetChars) return FT_NOT_SUPPORTED;
    QJ_D2XX_CALL(fn_->SetChars(h, ev, evOn, er, erOn));
}
FT_STATUS D2xxFtdi::Purge(FT_HANDLE h, uint32_t mask) { QJ_D2XX_CALL(fn_->Purge(h, mask)); }
bool D2xxFtdi::ReachesVirtualJig(FT_HANDLE) {
    const char* preload = std::getenv("LD_PRELOAD");
    const char* testbed = std::getenv("UMOCKDEV_DIR");
    return preload && std::strstr(preload, "libumockdev-preload") && testbed && *testbed;
}

FT_STATUS D2xxFtdi::Close(FT_HANDLE h) {
    if (!lib_) return FT_INVALID_HANDLE;
    const FT_STATUS st = fn_->Close(h);
    std::lock_guard<std::mutex> g(portsMu_);
    ports_.erase(h);  // the library no longer notifies a closed handle
    return st;
}

FT_STATUS D2xxFtdi::GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) {
    rx = tx = ev = 0;
    if (!lib_) return FT_INVALID_HANDLE;
    d2xx::DWORD r = 0, t = 0, e = 0;
    const FT_STATUS st = fn_->GetStatus(h, &r, &t, &e);
    rx = r;
    tx = t;
    ev = e;
    return st;
}

FT_STATUS D2xxFtdi::Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) {
    written = 0;
    if (!lib_) return FT_INVALID_HANDLE;
    d2xx::DWORD w = 0;
    // The library's prototype takes a non-const buffer; it does not write to it.
    const FT_STATUS st = fn_->Write(h, const_cast<uint8_t*>(buf), len, &w);
    written = w;
    return st;
}

FT_STATUS D2xxFtdi::Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) {
    got = 0;
    if (!lib_) return FT_INVALID_HANDLE;
    d2xx::DWORD g = 0;
    const FT_STATUS st = fn_->Read(h, buf, len, &g);
    got = g;
    return st;
}

}  // namespace qj

namespace qj {

FT_STATUS D2xxFtdi::WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) {
    const std::shared_ptr<Port> p = port(h);
    if (!lib_ || !p || !p->notified) return FtdiApi::WaitQueues(h, rxAtLeast, txEmpty, timeoutMs);
    using namespace std::chrono;
    using Clock = Event::Clock;
    const auto end = Clock::now() + milliseconds(timeoutMs);
    Event& e = *p->event;
    // The look at the queues and the wait after it hold the notification's
    // lock, so data that comes between them still wakes the wait.
    std::lock_guard<Event> g(e);
    for (;;) {
        uint32_t rx = 0, tx = 0, ev = 0;
        const FT_STATUS st = GetStatus(h, rx, tx, ev);
        if (st != FT_OK) return st;
        if (rxAtLeast > 0 && rx >= rxAtLeast) return FT_OK;
        if (txEmpty && tx == 0) return FT_OK;
        const auto now = Clock::now();
        if (now >= end) return FT_OK;
        auto wake = std::min(end, now + milliseconds(kQuietLookMs));
        if (txEmpty) {
            // No notification for the transmit queue: look again when its
            // bytes should be on the wire (10 bits each), at most every 1 ms.
            const int64_t us = int64_t(tx) * 10'000'000 / std::max<uint32_t>(p->baud.load(), 1);
            wake = std::min(wake, now + microseconds(std::max<int64_t>(us, 1000)));
        }
        e.waitUntil(wake);
    }
}

}  // namespace qj
