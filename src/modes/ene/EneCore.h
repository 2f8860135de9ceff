#pragma once
// The ENE KB90xx window without widgets: the wiring set-up (board list, cable,
// orientation, KESTRA adapter) and the flash read, write and verify through the
// jig's "ENE_EDID_KB" firmware. The window, the CLI and the tests drive the same
// handlers; the transfers run on ReadThread_KB90.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "jig/JigLink.h"
#include "jig/ModeView.h"
#include "jig/Worker.h"
#include "modes/common/ImageFile.h"

namespace qj::ene {

inline constexpr int kImageSize = 131072;  // the whole flash, whatever chip of the family
inline constexpr int kBlockSize = 256;
inline constexpr int kBlocks = kImageSize / kBlockSize;  // 512
inline constexpr int kGaugeMax = 32768;
inline constexpr int kGaugeStep = kGaugeMax / kBlocks;  // 64

inline constexpr const char* kBoardPrompt = "Select MB or KESTRA here";
inline constexpr const char* kCablePrompt = "Select FFC cable you used";
inline constexpr const char* kKestraItem = "External board - KESTRA";
inline constexpr const char* kLostLine = "!!! Lost Communication with ENE or timeout !!! ";

// Object names of the window's controls.
inline constexpr const char* kBoardCombo = "ComboBox_KB901X";
inline constexpr const char* kCableCombo = "ComboBox_KB901X_FFC";
inline constexpr const char* kPin1Box = "CheckBox_KB901X";
inline constexpr const char* kResultLabel = "Label_result";
inline constexpr const char* kReadButton = "KB901X_READ";
inline constexpr const char* kWriteButton = "KB901X_WRITE";
inline constexpr const char* kExitButton = "EXIT_KB901X";

class EneCore;

// The busy states, by the names the window knows them.
QJ_BUSY_STATES(Busy, Reading, Writing)

// The transfer worker: created running for one read or write, ends with the
// end of transfer.
using ReadThread_KB90 = ReadThread<EneCore>;

class EneCore : public Operations<Busy> {
public:
    EneCore(FtdiApi& api, ModeView& view);
    ~EneCore();
    EneCore(const EneCore&) = delete;
    EneCore& operator=(const EneCore&) = delete;

    // Handlers (user-interface thread).
    void FormCreate();
    void ComboBox_KB901XSelect(int index);
    void ComboBox_KB901X_FFCSelect(int index);
    void CheckBox_KB901XClick(bool checked);
    void KB901X_READClick();
    void KB901X_WRITEClick();
    void EXIT_KB901XClick();

    // The body of ReadThread_KB90 (runs on that thread).
    void Execute();

    // For the window, the CLI and the tests.
    bool wiringLoaded() const { return !items_.empty(); }
    // The board combo's items: the adapter entry, then the wiring list's lines.
    const std::vector<std::string>& boardItems() const { return items_; }
    int boardIndex() const { return boardIndex_; }
    int cableIndex() const { return cableIndex_; }
    bool pin1ToPin1() const { return checked_; }
    const std::string& labelResult() const { return label_; }
    // Waits for the worker of the last transfer to end (CLI, tests, shutdown).
    void waitIdle() { worker_.join(); }

private:
    enum class Check { Ok, NoChip, Lost };

    bool adapterChosen() const { return boardIndex_ == 0; }
    void setLabel(const std::string& t);
    void enableWiringControls(bool on);
    void runWiringEvaluation();
    bool detectAdapter();
    bool ack(std::initializer_list<uint8_t> cmd);
    void signal(uint8_t s) { ack({s}); }
    Check eneCheck(bool adapter);
    bool beginOperation();
    bool startTransferCommon(bool adapter);
    void closeFile() { file_.close(); }
    void readBlocks();
    void writeBlocks();
    void lost();
    void endOfTransfer(bool ok);

    // Wiring choice (user-interface thread).
    std::vector<std::string> items_;
    int boardIndex_ = -1;
    int cableIndex_ = -1;
    bool checked_ = true;
    std::string label_ = "*************";
    bool kestra12_ = true;

    // Owned by the worker while busy.
    bool transferAdapter_ = false;  // the adapter brackets this transfer (fixed at its start)
    std::vector<uint8_t> image_;
    std::vector<uint8_t> xbuf_;
    int block_ = 0;
    int pos_ = 0;
    image::DumpFile file_;
    ReadThread_KB90 worker_{*this};
};

}  // namespace qj::ene
