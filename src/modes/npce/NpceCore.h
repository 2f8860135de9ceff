#pragma once
// The NPCE window without widgets: the 128 KiB SPI flash of a Nuvoton
// NPCE288N/388N read, erased, blank-checked, written and verified through the
// jig's "NPCE" firmware, with loose wiring or through the KESTRA adapter. The
// window, the CLI and the tests drive the same handlers; the transfers run on
// ReadThread_NPCE.
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "jig/JigLink.h"
#include "jig/ModeView.h"
#include "jig/Worker.h"
#include "modes/common/ImageFile.h"

namespace qj::npce {

inline constexpr int kImageSize = 131072;
inline constexpr int kReadBlock = 512;                   // one 'r' brings this much
inline constexpr int kReadBlocks = kImageSize / kReadBlock;  // 256
inline constexpr int kPage = 256;                        // one 'w' programs this much
inline constexpr int kPages = kImageSize / kPage;        // 512
inline constexpr int kGaugeMax = 512;

// The flash the board carries: manufacturer EFh, type 40h, capacity 12h.
inline constexpr uint8_t kJedecId[3] = {0xEF, 0x40, 0x12};

inline constexpr const char* kHint12 = " Please connect\n B7 C18 D10 E8 \n and try again!";
inline constexpr const char* kHint3132 = " Please connect\n B26 C15 D23 E25 \n and try again!";
inline constexpr const char* kCorruptedLine = "ERROR timeout. Corrupted data !? ";
// The jig left an exchange unanswered within its bound.
inline constexpr const char* kNoAnswerLine = "The programmer does not answer (timeout).";

// Object names of the window's controls.
inline constexpr const char* kReadButton = "NPCE_READ";
inline constexpr const char* kWriteButton = "NPCE_WRITE";
inline constexpr const char* kExitButton = "EXIT_NPCE";

class NpceCore;

// The busy states, by the names the window knows them.
QJ_BUSY_STATES(Busy, Reading_NPCE, Write_NPCE)

// The transfer worker: created running for one read or write, ends with it.
using ReadThread_NPCE = ReadThread<NpceCore>;

class NpceCore : public Operations<Busy> {
public:
    NpceCore(FtdiApi& api, ModeView& view);
    ~NpceCore();
    NpceCore(const NpceCore&) = delete;
    NpceCore& operator=(const NpceCore&) = delete;

    // Handlers (user-interface thread).
    void CheckBox_EXTBOARDClick(bool checked) { extBoard_ = checked; }
    void NPCE_READClick();
    void NPCE_WRITEClick();
    void EXIT_NPCEClick();

    // The body of ReadThread_NPCE (runs on that thread).
    void Execute();

    // For the window, the CLI and the tests.
    // Waits for the worker of the last transfer to end (CLI, tests, shutdown).
    void waitIdle() { worker_.join(); }

private:
    bool ack(std::initializer_list<uint8_t> cmd);
    void signal(uint8_t s) { (void)ack({s}); }
    bool detectAdapter();
    bool targetCheck();
    // Open, identify and check; on a failed check the hint box, 'V' '2' and close.
    bool beginOperation(BoxKind hintKind);
    // beginOperation, then the file the user names (nothing when cancelled, said with `cancelLine`).
    std::optional<std::string> beginWithFile(BoxKind hintKind, bool save, const char* cancelLine);
    void endWithoutTransfer();  // 'V' '2', close: a click that stops before its transfer
    void enableButtons();
    void done(bool ok);         // the buttons back, then the end

    void readBlocks();
    void endOfRead(bool blocksOk);
    void writeAll();
    bool eraseAndBlankCheck();
    bool writePages();
    void verify();

    bool extBoard_ = false;
    bool kestra12_ = false;

    // Owned by the worker while busy.
    std::vector<uint8_t> image_;
    std::vector<uint8_t> xbuf_;
    uint32_t counter_ = 0;
    int offset_ = 0;
    image::DumpFile file_;
    ReadThread_NPCE worker_{*this};
};

}  // namespace qj::npce
