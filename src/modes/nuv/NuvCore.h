#pragma once
// The Nuvoton JTAG window without widgets: three steps, each behind its own
// button. "Send settings" tells the jig which connector pins carry JTAG (or
// asks the user to wire them on a jig without the CPLD), "Check connect"
// checks the chip's JTAG ID and plays the JTAG script into it, then READ or
// WRITE move the 128 KiB flash. The script and the transfers run on
// ReadThread_JTAG_NUV; Timer_MSG_ER shows the end of a transfer and releases
// the chip. The window, the CLI and the tests drive the same handlers.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "jig/JigLink.h"
#include "jig/ModeView.h"
#include "jig/Worker.h"
#include "modes/common/ImageFile.h"
#include "modes/nuv/NuvProtocol.h"

namespace qj::nuv {

inline constexpr int kGaugeMax = 512;
inline constexpr const char* kScriptFile = "NUVOTON.qjf";

// Object names of the window's controls and timer.
inline constexpr const char* kSettingsButton = "BitBtn_SETTINGS";
inline constexpr const char* kConnectButton = "BitBtn_CONNECT";
inline constexpr const char* kReadButton = "BitBtn_NUV_JTAG_RD";
inline constexpr const char* kWriteButton = "BitBtn_NUV_JTAG_WR";
inline constexpr const char* kCounterText = "StaticText_in_counter";
inline constexpr const char* kMessageTimer = "Timer_MSG_ER";

// What the log memo holds when the window is created.
const std::vector<std::string>& initialMemo();

class NuvCore;

// The busy states, by the names the window knows them.
QJ_BUSY_STATES(Busy, TXT_SEND, NUVOTON_READ, ERASE_NUVOTON)

// The worker: created running for one script, read or write.
using ReadThread_JTAG_NUV = ReadThread<NuvCore>;

class NuvCore : public Operations<Busy> {
public:
    // Which step button is enabled.
    enum class Step { Settings, Connect, Transfer };

    // `programDir`: the folder of the default script, trailing separator included.
    NuvCore(FtdiApi& api, ModeView& view, std::string programDir);
    ~NuvCore();
    NuvCore(const NuvCore&) = delete;
    NuvCore& operator=(const NuvCore&) = delete;

    // Handlers (user-interface thread).
    void CheckBox1Click(bool checked) { pin1ToPin1_ = checked; }
    void BitBtn_SETTINGSClick();
    void BitBtn_CONNECTClick();
    void BitBtn_NUV_JTAG_RDClick();
    void BitBtn_NUV_JTAG_WRClick();
    void BitBtn_EXIT_NUVClick();
    void Timer_MSG_ERTimer();

    // The body of ReadThread_JTAG_NUV (runs on that thread).
    void Execute();

    // The script to play; empty means NUVOTON.qjf where the jig's images are.
    void setScriptPath(std::string path) {
        scriptPath_ = std::move(path);
        defaultScript_ = false;
    }
    const std::string& scriptPath() const { return scriptPath_; }
    bool pin1ToPin1() const { return pin1ToPin1_; }
    Step step() const { return step_.load(); }
    // Waits for the worker to end (CLI, tests, shutdown). After a read or a
    // write the window stays busy until Timer_MSG_ERTimer has run.
    void waitIdle() { worker_.join(); }

private:
    // Sends a command and collects its answer of `answer` bytes into xbuf_, within its bound.
    bool exchange(const std::vector<uint8_t>& bytes, uint32_t answer);
    bool ack(std::initializer_list<uint8_t> cmd);
    // One debug-interface pair as two jig commands; `first` gets the first byte
    // of the 32-bit shift's answer.
    bool pair(const Pair& p, uint8_t* first = nullptr);
    bool pairs(const std::vector<Pair>& ps, uint8_t* first = nullptr);
    // Sends a batch and waits for its one-byte answer.
    bool sendBatch(uint8_t mode, const std::vector<Pair>& ps, uint8_t& answer);
    bool openLink();
    std::optional<std::string> beginTransfer(bool save, const char* cancelLine);
    void resetSteps(bool setIdle);
    void setStep(Step s);
    void connectFailed();

    void playScript();
    void scriptFailed(const std::string& line);
    void readFlash();
    void readFailed(const std::string& line);
    void eraseAndWrite();
    bool eraseSectors();
    bool writeBlocks();
    void transferEnd(bool ok);

    FtdiApi& api_;
    std::string programDir_;
    std::atomic<Step> step_{Step::Settings};

    // User-interface thread.
    bool pin1ToPin1_ = true;
    std::string scriptPath_;
    bool defaultScript_ = false;  // scriptPath_ is the looked-up NUVOTON.qjf
    std::string jigIdent_;  // the identification of the last open

    // Owned by the worker while busy.
    Script script_;
    image::DumpFile dump_;
    std::vector<uint8_t> image_;
    std::vector<uint8_t> xbuf_;
    bool jigSilent_ = false;      // the jig missed a bound in this operation
    bool ignoreAnswers_ = false;  // an "NPCE VC" jig: batch answers and the erase status are not looked at
    ReadThread_JTAG_NUV worker_{*this};
};

}  // namespace qj::nuv
