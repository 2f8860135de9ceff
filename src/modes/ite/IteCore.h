#pragma once
// The ITE window without widgets: the board list and pin map, "Apply settings",
// the connection check with the chip identification, the flash read, and the
// two erase-write-verify algorithms (through the EC's flash gateway, or the
// 8580's own). Every line is logged in Russian and in English (two memos). The
// window, the CLI and the tests drive the same handlers; checks and transfers
// run on ReadThread_ITE.
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "jig/JigLink.h"
#include "jig/ModeView.h"
#include "jig/Worker.h"
#include "modes/common/ImageFile.h"
#include "modes/ite/IteCommands.h"
#include "modes/ite/IteWiring.h"

namespace qj::ite {

inline constexpr int kGaugeMax = 256;

inline constexpr const char* kPromptItem = "Please select MOTHERBOARD first!";
inline constexpr const char* kExternalItem = "*** EXTERNAL BOARD ***";
inline constexpr const char* kNotFoundItem = "File [MB connection ITE.txt] not found. Please read manual!";

// Object names of the window's controls.
inline constexpr const char* kBoardCombo = "ITE_ComboBox_MB_SWITCH";
inline constexpr const char* kMirrorBox = "ITE_CheckBox";
inline constexpr const char* kSetupButton = "ITE_SETUP_BitBtn";
inline constexpr const char* kCheckButton = "ITE_CHECK_CON_BitBtn";
inline constexpr const char* kReadButton = "ITE_READ_BitBtn";
inline constexpr const char* kWriteButton = "ITE_WRITE_BitBtn";
inline constexpr const char* kExitButton = "ITE_EXIT_BitBtn";
inline constexpr const char* kMemoRu = "ITE_Memo1";
inline constexpr const char* kMemoEn = "ITE_Memo_ENG";

// The help texts the two memos hold until the window is first left.
const std::vector<std::string>& helpRu();
const std::vector<std::string>& helpEn();

class IteCore;

// The busy states, by the names the window knows them.
QJ_BUSY_STATES(Busy, Check_connection, INIT_READ_ITE, READ_ITE, WRITE_ITE_step_one, WRITE_ITE_8580)

// The worker: created running for one check or transfer; runs the block the
// busy state names, and the next one when a block hands over to it.
using ReadThread_ITE = ReadThread<IteCore>;

class IteCore : public Operations<Busy> {
public:
    IteCore(FtdiApi& api, ModeView& view);
    ~IteCore();
    IteCore(const IteCore&) = delete;
    IteCore& operator=(const IteCore&) = delete;

    // Handlers (user-interface thread).
    void FormCreate();
    void ITE_ComboBox_MB_SWITCHSelect(int index);
    void ITE_CheckBoxClick(bool checked);
    void CheckBox_RUS_ENGClick(bool checked);
    void CheckBox_BL_SECClick(bool checked) { blockErase_ = checked; }
    void ITE_SETUP_BitBtnClick();
    void ITE_CHECK_CON_BitBtnClick();
    void ITE_READ_BitBtnClick();
    void ITE_WRITE_BitBtnClick();
    void ITE_EXIT_BitBtnClick();

    // The body of ReadThread_ITE.
    void Execute();

    // For the window, the CLI and the tests.
    bool wiringLoaded() const { return loaded_; }
    // The board list: the prompt, the external board, then the file's lines
    // (or the single "not found" item).
    const std::vector<std::string>& boardItems() const { return items_; }
    int boardIndex() const { return boardIndex_; }
    const PinMap& pinMap() const { return map_; }
    bool mirrorChecked() const { return boxChecked_; }
    int flashKiB() const { return flashKiB_; }
    bool sizeOverride() const { return sizeOverride_; }
    uint16_t chipId() const { return chipId_; }
    // Waits for the worker of the last check or transfer (CLI, tests, shutdown).
    void waitIdle() { worker_.join(); }

private:
    // How one exchange ended for the algorithm.
    enum class Step { Ok, Refused, Lost };

    bool chosenExternal() const;
    bool chosenMotherboard() const;
    void boardInvalid();
    void enableButtons(std::initializer_list<const char*> names, bool on);
    void lockChoice(bool locked);

    // Exchanges.
    void wait(int ms);
    Step ack(std::initializer_list<uint8_t> cmd, uint8_t& answer, uint32_t deadlineMs = Deadlines::kByteAnswerMs);
    Step ack(const std::vector<uint8_t>& cmd, uint8_t& answer, uint32_t deadlineMs = Deadlines::kByteAnswerMs);
    Step regWrite(uint8_t reg, uint8_t value);
    Step regRead(uint8_t reg, uint8_t& value);
    // Runs the writes in order; stops at the first that fails and returns its index in `failedAt`.
    Step regWrites(const std::vector<RegStep>& steps, size_t& failedAt);
    Step regWrites(const std::vector<RegStep>& steps) {
        size_t at = 0;
        return regWrites(steps, at);
    }
    Xfer fetch(std::vector<uint8_t>& block);

    // Steps shared by the operations.
    void extPower(bool on);
    void signal(bool ok);
    void noAnswer(const std::string& code);
    void lost(const std::string& code);
    void protocolFault();
    void plainFinish(bool ok);
    void stampedFinish(bool ok);
    void release(bool ok);

    // Worker blocks.
    void checkConnection();
    void readPreparation();
    void readFlash();
    void gatewayWrite();
    bool chipErase();
    bool blockErase();
    bool gatewayVerify();
    void write8580();
    bool erase8580();
    enum class Pass { Same, Different, Failed };
    Pass compare8580(bool blankCheck);
    void writeAbort(bool linkOpen);

    FtdiApi& api_;

    // The board choice (user-interface thread; fixed while busy).
    bool loaded_ = false;
    std::vector<std::string> items_;
    int boardIndex_ = 0;
    PinMap map_{};
    bool boxChecked_ = true;
    std::atomic<bool> blockErase_{true};
    std::atomic<int> flashKiB_{128};
    bool sizeOverride_ = false;
    std::atomic<uint16_t> chipId_{0};

    // Owned by the worker while busy.
    bool opExternal_ = false;  // the external board brackets this operation
    int opKiB_ = 128;          // the flash size this transfer covers
    bool opChipErase_ = false;
    std::vector<uint8_t> image_;
    std::vector<uint8_t> xbuf_;
    image::DumpFile dump_;
    ReadThread_ITE worker_{*this};
};

}  // namespace qj::ite
