// The D2XX calls as a shared library, answered by the virtual jig. The jig is
// described by $QJ_FAKE_D2XX_SIM (a virtual-jig spec, instant mode unless it
// names a mode); a new spec takes effect at the next device list taken with no
// device open.
//
// The event notification works as the library's: a thread per handle signals
// the caller's condition (with its mutex held) when received data arrives, a
// packet's worth at a time. It says nothing when the device goes away.
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/SimFtdi.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

using DWORD = uint32_t;
using ULONG = uint32_t;
using UCHAR = uint8_t;
using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

constexpr DWORD FT_EVENT_RXCHAR = 1;

struct EVENT_HANDLE {
    pthread_cond_t eCondVar;
    pthread_mutex_t eMutex;
    int iVar;
};

namespace {
std::mutex g_mu;
std::unique_ptr<qj::sim::SimFtdi> g_sim;
std::string g_spec;

qj::sim::SimFtdi& sim() {
    std::lock_guard<std::mutex> g(g_mu);
    const char* env = std::getenv("QJ_FAKE_D2XX_SIM");
    std::string spec = env ? env : "jig=ENE_EDID_KB";
    if (qj::sim::SimConfig(spec).str("mode").empty()) spec += ",mode=instant";
    if (!g_sim || (spec != g_spec && g_sim->openHandles() == 0)) {
        g_sim = std::make_unique<qj::sim::SimFtdi>(spec);
        g_spec = spec;
    }
    return *g_sim;
}

// One handle's notification: signals the caller's event whenever a batch of
// received bytes arrives. Lives from the first request until the handle closes.
class Notifier {
public:
    Notifier(qj::sim::SimFtdi& s, FT_HANDLE h)
        : t_([this, &s, h, seen = s.simClock().nowUs()]() mutable {
              while (!stop_.load()) {
                  bool arrived = false;
                  if (s.WaitArrival(h, seen, 1000, arrived) != 0) return;  // closed or gone
                  std::lock_guard<std::mutex> g(mu_);
                  if (!arrived || !eh_) continue;
                  pthread_mutex_lock(&eh_->eMutex);
                  pthread_cond_signal(&eh_->eCondVar);
                  pthread_mutex_unlock(&eh_->eMutex);
              }
          }) {}
    ~Notifier() {
        stop_.store(true);
        t_.join();
    }
    void target(EVENT_HANDLE* eh) {
        std::lock_guard<std::mutex> g(mu_);
        eh_ = eh;
    }

private:
    std::mutex mu_;  // a new target is never signalled after its call returns
    EVENT_HANDLE* eh_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread t_;
};

std::mutex g_notifyMu;
std::map<FT_HANDLE, std::unique_ptr<Notifier>> g_notify;

void stopNotifier(FT_HANDLE h) {
    std::unique_ptr<Notifier> n;
    {
        std::lock_guard<std::mutex> g(g_notifyMu);
        auto it = g_notify.find(h);
        if (it == g_notify.end()) return;
        n = std::move(it->second);
        g_notify.erase(it);
    }
}
}  // namespace

EXPORT FT_STATUS FT_CreateDeviceInfoList(DWORD* n) {
    uint32_t k = 0;
    const FT_STATUS st = sim().CreateDeviceInfoList(k);
    *n = k;
    return st;
}

EXPORT FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* loc, void* serial,
                                        void* desc, FT_HANDLE* h) {
    qj::FtDeviceInfo info;
    const FT_STATUS st = sim().GetDeviceInfo(index, info);
    if (st != 0) return st;
    *flags = 0;
    *type = 5;  // FT232R
    *id = 0x04036001;
    *loc = 0x100 + index;
    std::strncpy(static_cast<char*>(serial), info.serial.c_str(), 15);
    std::strncpy(static_cast<char*>(desc), info.description.c_str(), 63);
    *h = nullptr;
    return 0;
}

EXPORT FT_STATUS FT_GetLibraryVersion(DWORD* v) {
    *v = 0x00010428;
    return 0;
}

EXPORT FT_STATUS FT_Open(int index, FT_HANDLE* h) { return sim().Open(uint32_t(index), *h); }
EXPORT FT_STATUS FT_ResetDevice(FT_HANDLE h) { return sim().ResetDevice(h); }
EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE h, ULONG b) { return sim().SetBaudRate(h, b); }
EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, UCHAR w, UCHAR s, UCHAR p) {
    return sim().SetDataCharacteristics(h, w, s, p);
}
EXPORT FT_STATUS FT_SetTimeouts(FT_HANDLE h, ULONG r, ULONG w) { return sim().SetTimeouts(h, r, w); }
EXPORT FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, UCHAR ms) { return sim().SetLatencyTimer(h, ms); }
EXPORT FT_STATUS FT_SetChars(FT_HANDLE h, UCHAR ev, UCHAR evOn, UCHAR er, UCHAR erOn) {
    return sim().SetChars(h, ev, evOn, er, erOn);
}
EXPORT FT_STATUS FT_Purge(FT_HANDLE h, ULONG mask) { return sim().Purge(h, mask); }
// Not a D2XX call: how often the queues were looked at (a test tells a wait
// that blocks from one that polls).
std::atomic<unsigned long> g_statusCalls{0};
EXPORT unsigned long QJ_FakeD2xxStatusCalls() { return g_statusCalls.load(); }

EXPORT FT_STATUS FT_GetStatus(FT_HANDLE h, DWORD* rx, DWORD* tx, DWORD* ev) {
    ++g_statusCalls;
    uint32_t a = 0, b = 0, c = 0;
    const FT_STATUS st = sim().GetStatus(h, a, b, c);
    *rx = a;
    *tx = b;
    *ev = c;
    return st;
}
EXPORT FT_STATUS FT_Write(FT_HANDLE h, void* buf, DWORD len, DWORD* written) {
    uint32_t w = 0;
    const FT_STATUS st = sim().Write(h, static_cast<const uint8_t*>(buf), len, w);
    *written = w;
    return st;
}
EXPORT FT_STATUS FT_Read(FT_HANDLE h, void* buf, DWORD len, DWORD* got) {
    uint32_t g = 0;
    const FT_STATUS st = sim().Read(h, static_cast<uint8_t*>(buf), len, g);
    *got = g;
    return st;
}
EXPORT FT_STATUS FT_Close(FT_HANDLE h) {
    const FT_STATUS st = sim().Close(h);  // wakes the notifier, which ends
    stopNotifier(h);
    return st;
}

EXPORT FT_STATUS FT_SetEventNotification(FT_HANDLE h, DWORD mask, void* arg) {
    qj::sim::SimFtdi& s = sim();
    uint32_t rx = 0, tx = 0, ev = 0;
    if (const FT_STATUS st = s.GetStatus(h, rx, tx, ev); st != 0) return st;
    EVENT_HANDLE* eh = (mask & FT_EVENT_RXCHAR) ? static_cast<EVENT_HANDLE*>(arg) : nullptr;
    std::lock_guard<std::mutex> g(g_notifyMu);
    auto& n = g_notify[h];
    if (!n) n = std::make_unique<Notifier>(s, h);
    n->target(eh);
    return 0;
}
