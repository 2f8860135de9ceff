// The D2XX calls as a shared library, answered by the virtual jig. The jig is
// described by $QJ_FAKE_D2XX_SIM (a virtual-jig spec, instant mode); a new
// spec takes effect at the next device list taken with no device open.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "sim/SimFtdi.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

using DWORD = uint32_t;
using ULONG = uint32_t;
using UCHAR = uint8_t;
using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

namespace {
std::mutex g_mu;
std::unique_ptr<qj::sim::SimFtdi> g_sim;
std::string g_spec;

qj::sim::SimFtdi& sim() {
    std::lock_guard<std::mutex> g(g_mu);
    const char* env = std::getenv("QJ_FAKE_D2XX_SIM");
    const std::string spec = std::string(env ? env : "jig=ENE_EDID_KB") + ",mode=instant";
    if (!g_sim || (spec != g_spec && g_sim->openHandles() == 0)) {
        g_sim = std::make_unique<qj::sim::SimFtdi>(spec);
        g_spec = spec;
    }
    return *g_sim;
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
EXPORT FT_STATUS FT_Purge(FT_HANDLE h, ULONG mask) { return sim().Purge(h, mask); }
EXPORT FT_STATUS FT_GetStatus(FT_HANDLE h, DWORD* rx, DWORD* tx, DWORD* ev) {
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
EXPORT FT_STATUS FT_Close(FT_HANDLE h) { return sim().Close(h); }
