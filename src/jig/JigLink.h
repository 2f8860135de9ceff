#pragma once
// One window's link to the jig: an FTDI handle configured for the jig's serial
// protocol, open-and-identify, and the exchange shapes. Every wait here has a
// deadline measured on the backend's clock; missing it is its own result.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "jig/ftdi/FtdiApi.h"

namespace qj {

enum class OpenResult { NoJig = 0, Ready = 1, WrongFirmware = 2 };

// What the main window's open-and-identify found; ident() says it in words
// ("FTDI device not found", "FTDI found, ERROR answer", or the jig's answer).
enum class Identified { NoDevice, NoAnswer, Answered };

// How an exchange ended.
enum class Xfer {
    Ok,
    Timeout,   // the deadline passed before the answer was complete
    Failed,    // a library call failed (device gone, handle invalid)
    Overflow,  // more bytes came than the exchange allows: a protocol fault
};

// Default deadlines (ms). A block of 256 bytes takes the jig a few ms to fetch
// from the chip and 3 ms on the wire; seconds of silence mean the jig is lost.
struct Deadlines {
    static constexpr uint32_t kByteAnswerMs = 2000;   // one-byte acknowledgements and statuses
    static constexpr uint32_t kBlockAnswerMs = 3000;  // block answers (up to 1000 bytes)
    static constexpr uint32_t kDrainMs = 2000;        // transmit queue to drain after a line

    // Work inside the target that takes seconds. Generous: a slow chip must not
    // pass for a lost one, but a dead board must still end the wait.
    static constexpr uint32_t kChipEraseMs = 60000;    // a whole-chip (or whole-block) erase
    static constexpr uint32_t kSectorEraseMs = 5000;   // one sector erase (1 or 4 KiB)
    // The first answers after a chip erase the host does not wait for (ITE: the
    // write start and the first chunk) come once the erase is over.
    static constexpr uint32_t kAfterChipEraseMs = kChipEraseMs;
    static constexpr uint32_t kBlankCheckMs = 20000;   // the jig reading the whole chip for 0xFF
};

// The per-window differences of open-and-identify.
struct OpenOptions {
    enum class Latency { AfterAnyAnswer, AfterAcceptance, BeforeTimeouts };

    bool mainWindow = false;          // the main window's trace: every step, driver version, JigIdent
    bool closeAfterIdentify = true;   // main window: the "CLOSE FTDI Handle" policy
    uint32_t timeoutMs = 300;         // read and write time-outs
    Latency latency = Latency::AfterAcceptance;
    bool countLine = false;           // "Number of VCOM ports found on the machine: " N
    bool logLines = true;             // the keyboard tester logs nothing
    std::vector<std::string> accepted;  // substrings of the answer that mean "ready"; empty: any answer
    std::string noAnswerLine = "The programmer is not found or does not respond";
    // Mode windows: the identification line's prefix (empty: not logged), in
    // Russian too for a two-language window, and the line that says the
    // firmware was accepted (empty: not logged).
    std::string versionPrefix = "Version FW -> ";
    std::string versionPrefixRu;
    std::string installedLine = "Communication with programmer installed.";
    bool bothMemos = false;  // a two-language window: every line goes to both memos
    // The byte that ends most of the window's answers: the bridge's event
    // character once the link is ready (see JigLink::eventChar). None: off.
    std::optional<uint8_t> eventChar;

    // The main window's variant; `policy` is "CLOSE FTDI Handle" or anything else (keep open).
    static OpenOptions mainWindowOptions(const std::string& policy);
    // A mode window accepting the given firmwares (each mode's own variant is in the mode table).
    static OpenOptions modeWindow(std::vector<std::string> accepted);
};

class ModeView;

class JigLink {
public:
    using Sink = std::function<void(const std::string&)>;

    explicit JigLink(FtdiApi& api) : api_(&api) {}
    ~JigLink();
    JigLink(const JigLink&) = delete;
    JigLink& operator=(const JigLink&) = delete;

    void setApi(FtdiApi& api) { api_ = &api; }
    FtdiApi& api() { return *api_; }

    // OpenJig. Log lines go to `log`. The main window's variant leaves what it
    // found in identified() and its text in ident().
    OpenResult open(const OpenOptions& opt, const Sink& log);
    // The same, logging into a window's memo (both memos when `opt.bothMemos`).
    OpenResult open(const OpenOptions& opt, ModeView& view);
    // CloseJig: closes the handle if one is open; its status is not looked at.
    // An event character set on the link is turned off first.
    void close();
    // Takes over a handle opened elsewhere (the version 3 update opens device 0 itself).
    void adopt(FT_HANDLE h) {
        close();
        handle_ = h;
    }
    bool isOpen() const { return handle_ != nullptr; }
    FT_HANDLE handle() const { return handle_; }
    const std::string& ident() const { return ident_; }
    Identified identified() const { return identified_; }
    uint32_t deviceCount() const { return numDevs_; }
    // The device list index of the device the link holds (while isOpen()).
    uint32_t deviceIndex() const { return index_; }

    // Raw calls on the open handle.
    FT_STATUS write(const uint8_t* p, uint32_t n);
    FT_STATUS write(std::initializer_list<uint8_t> bytes);
    FT_STATUS write(const std::vector<uint8_t>& v) { return write(v.data(), static_cast<uint32_t>(v.size())); }
    FT_STATUS read(uint8_t* p, uint32_t n, uint32_t& got);
    FT_STATUS status(uint32_t& rx, uint32_t& tx);
    // Both queues, once the transmit queue has drained (DrainTransmit, bounded):
    // before a fresh request, never over a command still on its way.
    FT_STATUS purge();
    // The receive queue only: drops late answers, never what was sent.
    FT_STATUS purgeReceive();
    FT_STATUS setBaud(uint32_t baud);
    FT_STATUS setTimeouts(uint32_t readMs, uint32_t writeMs);
    uint32_t lastCount() const { return lastCount_; }
    // The bridge's event character for the answers about to come: an answer
    // whose last byte is `ch` reaches the host as soon as that byte is in,
    // instead of when the latency timer runs out. It changes no byte sent or
    // read, only when a partial packet leaves. Set per operation or phase to
    // the byte that ends most of its answers, never to one that fills the data
    // it reads (a run of it would go a packet a byte); std::nullopt turns it
    // off, and close() does so. A backend without one (the kernel's tty) is
    // asked once per open.
    void eventChar(std::optional<uint8_t> ch);

    // SendAwaitByte: write `cmd`, then one-byte reads until a byte comes.
    Xfer sendAwaitByte(std::initializer_list<uint8_t> cmd, uint8_t& answer,
                       uint32_t deadlineMs = Deadlines::kByteAnswerMs);
    // The waiting half of SendAwaitByte.
    Xfer awaitByte(uint8_t& answer, uint32_t deadlineMs = Deadlines::kByteAnswerMs);
    // SendAwaitCount: write `cmd` (may be empty), wait until the receive queue
    // holds `count` bytes (`exact`: more is an Overflow), then read what it holds.
    Xfer sendAwaitCount(const std::vector<uint8_t>& cmd, uint32_t count, bool exact, std::vector<uint8_t>& answer,
                        uint32_t deadlineMs = Deadlines::kBlockAnswerMs);
    Xfer awaitCount(uint32_t count, bool exact, std::vector<uint8_t>& answer,
                    uint32_t deadlineMs = Deadlines::kBlockAnswerMs);
    // Reads whatever comes, piece by piece, until exactly `count` bytes are collected.
    Xfer collect(uint32_t count, std::vector<uint8_t>& answer, uint32_t deadlineMs = Deadlines::kBlockAnswerMs);
    // SendAwaitXonLine: write, then collect until the last byte is 0x11 (XON);
    // the answer excludes that 0x11. More than `maxLen` bytes is an Overflow.
    Xfer sendAwaitXonLine(const std::vector<uint8_t>& cmd, std::vector<uint8_t>& answer,
                          uint32_t deadlineMs = Deadlines::kBlockAnswerMs, size_t maxLen = 1000);
    // DrainTransmit: wait until the transmit queue is empty.
    Xfer drainTransmit(uint32_t deadlineMs = Deadlines::kDrainMs);
    // Drops whatever the jig still sends until it has been quiet for `quietMs`
    // (at most `maxMs`), so that a late answer is never taken for the next one.
    void settle(uint32_t quietMs = kQuietMs, uint32_t maxMs = Deadlines::kDrainMs);
    static constexpr uint32_t kQuietMs = 30;  // silence that tells a jig which has stopped sending
    // ReadByteRetrying: one-byte reads while nothing comes, at most `tries` times.
    bool readByteRetrying(int tries, uint8_t& b);

private:
    // Lines of open-and-identify in both languages (identical but for the identification).
    using Emit = std::function<void(const std::string& ru, const std::string& en)>;
    struct Lines;
    OpenResult openWith(const OpenOptions& opt, const Emit& emit);
    // The steps of open-and-identify.
    bool listDevices(const Lines& out, uint32_t& n);
    FT_HANDLE openAndSetUp(uint32_t index, const Lines& out);
    uint32_t askIdentification(FT_HANDLE h, uint8_t* buf, uint32_t size, const Lines& out);
    OpenResult keepForMainWindow(FT_HANDLE h, const Lines& out);
    OpenResult acceptOrRefuse(FT_HANDLE h, const Lines& out);
    void setIdentified(Identified i, const std::string& answer = {});
    // One wait of an exchange until `end` (backend clock): Ok to look again,
    // Timeout once `end` has passed, Failed when the device fails.
    Xfer waitUntil(int64_t end, uint32_t rxAtLeast, bool txEmpty);

    FtdiApi* api_;
    FT_HANDLE handle_ = nullptr;
    std::string ident_;
    Identified identified_ = Identified::NoDevice;
    uint32_t numDevs_ = 0;
    uint32_t index_ = 0;
    uint32_t lastCount_ = 0;
    uint32_t rx_ = 0, tx_ = 0, event_ = 0;
    std::optional<uint8_t> eventChar_;  // as last set on the open handle
    bool noEventChar_ = false;          // the backend has none
};

}  // namespace qj
