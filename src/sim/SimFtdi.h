#pragma once
// The virtual jig: an FtdiApi backend holding virtual FTDI devices. One of them
// is the jig (its firmware answers at its own baud rate); the others are silent.
// Instant mode keeps a virtual clock that jumps to the next event instead of
// sleeping; paced mode moves bytes at the line rate (10 bits a byte) in real
// time; ideal mode moves them at the line rate on the virtual clock (the time a
// host that costs nothing would take). USB timing (usb=ft232r) adds the bridge
// chip: answers in packets held back by its latency timer (or sent at once by
// the event character the host sets), writes in 1 ms frames.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jig/ftdi/FtdiApi.h"
#include "sim/JigFirmware.h"
#include "sim/SimConfig.h"

namespace qj::sim {

class SimFtdi;

class SimClock final : public Clock {
public:
    explicit SimClock(bool instant);
    int64_t nowUs();
    int64_t nowMs() override { return nowUs() / 1000; }
    void sleepMs(int64_t ms) override;
    bool instant() const { return instant_; }
    // Instant mode only: moves virtual time forward to `us` (never back).
    void advanceTo(int64_t us);

private:
    bool instant_;
    int64_t origin_;
    std::atomic<int64_t> virt_{0};
};

struct SimDevice {
    uint32_t index = 0;
    FtDeviceInfo info;
    bool isJig = false;
    std::unique_ptr<JigFirmware> fw;
    std::unique_ptr<JigFirmware> pendingFw;
    std::deque<std::pair<uint8_t, int64_t>> rx;  // toward the host, with arrival time (µs)
    int64_t rxLineFreeAt = 0;                    // µs
    int64_t txFreeAt = 0;                        // µs: when the host's last byte reaches the jig
    int64_t inputTime = 0;                       // µs: arrival of the input being handled
    std::vector<uint8_t> inbuf;
    uint32_t baud = 9600;
    bool frame8N1 = false;
    uint32_t readTimeoutMs = 0;   // 0 = wait without limit, as the library's default
    uint32_t writeTimeoutMs = 0;
    uint8_t latencyMs = 16;
    // The bridge's event and error characters as the host set them; the chip
    // keeps them across handles until it is set again or unplugged.
    uint8_t eventChar = 0, errorChar = 0;
    bool eventOn = false, errorOn = false;
    int64_t lineErrorAt = 0;  // the jig's byte (from 1) heard with a framing error; 0: none
    // USB timing: the packet toward the host being filled, at the back of `rx`.
    size_t usbPending = 0;
    int64_t usbSendAt = 0;  // µs: when its latency timer sends it
    int64_t usbLastAt = 0;  // µs: when the last packet left
    bool open = false;
    bool unplugged = false;
    int64_t hostBytes = 0;
    int64_t unplugAfter = -1;
    std::multimap<int64_t, std::function<void()>> events;
    // USB timing: writes that have not left the bridge yet (a transmit purge
    // drops them), each with the moment its last byte reaches the jig and the
    // line settings it was sent with.
    struct HeldWrite {
        int64_t at;
        std::vector<uint8_t> bytes;
        uint32_t baud;
        bool frame8N1;
    };
    std::deque<HeldWrite> held;
    std::vector<std::vector<uint8_t>> hostWrites;  // every Write that reached the jig, as sent
    std::vector<uint8_t> jigSent;                  // every byte the jig sent
    std::vector<std::string> errors;
};

class SimFtdi final : public FtdiApi {
public:
    // Throws std::invalid_argument for bad keys.
    explicit SimFtdi(const SimConfig& cfg);
    explicit SimFtdi(const std::string& keys) : SimFtdi(SimConfig(keys)) {}
    ~SimFtdi() override;

    QJ_FTDI_CALL_OVERRIDES;
    FT_STATUS WaitQueues(FT_HANDLE h, uint32_t rxAtLeast, bool txEmpty, uint32_t timeoutMs) override;
    bool ReachesVirtualJig(FT_HANDLE) override { return true; }
    Clock& clock() override { return clock_; }

    // For a front that tells its user when bytes arrive (the stand-in for the
    // vendor library): blocks until bytes that arrived after `seenUs` make up a
    // batch (up to 62 bytes, or a burst that ended), then sets `seenUs` to now
    // and `arrived`. Gives up after `timeoutMs` of real time. Fails when the
    // handle is closed or the device is gone. On the virtual clock it moves the
    // clock to bytes already sent, never to a time nothing is due.
    FT_STATUS WaitArrival(FT_HANDLE h, int64_t& seenUs, uint32_t timeoutMs, bool& arrived);

    std::string backendName() const override { return "sim"; }

    // For tests and tools.
    SimClock& simClock() { return clock_; }
    JigBoard& board() { return *board_; }
    int jigIndex() const { return jigIndex_; }
    size_t openHandles();
    void unplug(uint32_t index);
    // Name of the firmware the jig runs now ("silent", "ENE_EDID_KB", ...).
    std::string jigFirmware();
    // Every Write that reached the jig since the start (or the last clearRecord()).
    std::vector<std::vector<uint8_t>> hostWrites();
    std::vector<uint8_t> hostBytes();  // the same, concatenated
    std::vector<std::string> errors();
    void clearRecord();
    // Runs `fn` with the device lock held (for inspecting models safely).
    void withLock(const std::function<void()>& fn);

private:
    class Port;
    SimDevice* dev(FT_HANDLE h, FT_STATUS& st);
    void pump(SimDevice& d);
    // Hands the bytes of one write to the jig, which hears them only at its
    // own speed and frame; `at` is when the last of them reaches it.
    void deliver(SimDevice& d, const uint8_t* p, size_t n, uint32_t baud, bool frame8N1, int64_t at);
    void feed(SimDevice& d);
    int64_t byteUs(const SimDevice& d) const;
    // Queues one byte toward the host that leaves the jig's line at `lineAt`.
    void toHost(SimDevice& d, uint8_t b, int64_t lineAt);
    int64_t latencyTimerUs(const SimDevice& d) const;
    // When the next batch of bytes after `seenUs` has arrived (kNever: none sent).
    int64_t batchDue(const SimDevice& d, int64_t seenUs) const;
    uint32_t rxReady(const SimDevice& d, int64_t now) const;
    uint32_t txPending(const SimDevice& d, int64_t now) const;
    int64_t nextEventAt(const SimDevice& d) const;
    // Real-time wait until `target` (µs), `realLeftUs` at most, or a
    // notification, on precise timers.
    void pacedWait(std::unique_lock<std::recursive_mutex>& lk, int64_t target, int64_t realLeftUs);
    // Waits (virtually or really) until `ready()` or `deadlineUs`; lock held.
    void waitUntil(std::unique_lock<std::recursive_mutex>& lk, SimDevice& d, int64_t deadlineUs,
                   const std::function<bool()>& ready, const std::function<int64_t()>& readyAt);

    SimConfig cfg_;
    SimClock clock_;
    std::unique_ptr<JigBoard> board_;
    std::recursive_mutex mu_;
    std::condition_variable_any cv_;
    std::vector<std::unique_ptr<SimDevice>> devices_;
    std::map<FT_HANDLE, SimDevice*> handles_;
    uint32_t listed_ = 0;
    int jigIndex_ = 0;
    uint32_t driverVersion_ = 0x00021224;
    int64_t latencyUs_ = 0;
    bool timed_ = false;        // bytes take their line time (paced, ideal)
    bool usb_ = false;          // USB timing of the bridge chip
    uint8_t lockedLatencyMs_ = 0;  // non-zero: the host cannot change the latency timer
    bool charsSettable_ = true;    // false: SetChars fails, as through the kernel's tty driver
    uintptr_t nextHandle_ = 0x100;
};

}  // namespace qj::sim
