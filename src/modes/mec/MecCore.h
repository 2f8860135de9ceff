#pragma once
// The MEC16xx window without widgets: the MEC's identification, register access
// and protection status over the jig's JTAG firmware, and the flash read (MAIN,
// optionally INFO), erase and write (MAIN). Two kinds of jig: an identification
// containing "EPM240" gets the "M"-prefixed forms of the commands, any other
// answering jig the plain one-letter forms. The window, the CLI and the tests
// drive the same handlers; read, erase and write run on ReadThread_MEC16, the
// check on the caller's thread.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jig/JigLink.h"
#include "jig/ModeView.h"
#include "jig/Worker.h"
#include "modes/common/ImageFile.h"

namespace qj::mec {

inline constexpr int kBlockSize = 1024;     // one flash-read block
inline constexpr int kMainBlocks = 192;
inline constexpr int kInfoBlocks = 2;
inline constexpr int kMainSize = kMainBlocks * kBlockSize;  // 196,608
inline constexpr int kInfoSize = kInfoBlocks * kBlockSize;  // 2,048
inline constexpr int kPageSize = 256;       // one write page
inline constexpr int kPages = kMainSize / kPageSize;  // 768
inline constexpr int kGaugeMax = 768;

// MEC registers as its JTAG side knows them.
inline constexpr uint32_t kRegRevision = 0xFFFD00;
inline constexpr uint32_t kRegFlashAddress = 0xFF3904;
inline constexpr uint32_t kRegFlashCommand = 0xFF3908;
inline constexpr uint32_t kRegFlashStatus = 0xFF390C;
inline constexpr uint32_t kRegFlashEnable = 0xFF3910;
// Flash commands written to FF3908h.
inline constexpr uint32_t kCmdIdle = 0x100, kCmdRead = 0x105, kCmdWrite = 0x106, kCmdErase = 0x107;
// Erase addresses written to FF3904h.
inline constexpr uint32_t kEraseMain = 0x00F80000, kEraseMainInfo = 0x00FC0000;
// Bits of the fourth status byte.
inline constexpr uint8_t kStatusBusy = 0x01, kStatusBootLock = 0x08, kStatusFwp = 0x10;

// Pause between two reads of the status register while an erase runs.
inline constexpr uint32_t kErasePollMs = 10;

// Object names of the window's controls.
inline constexpr const char* kShapeFwp = "Shape_FWP_MEC16";
inline constexpr const char* kShapeBootLock = "Shape_BootLock_MEC";
inline constexpr const char* kWriteInfoBox = "CheckBox_write_mec16";

// "1234 5678h" for the answer bytes 12h 34h 56h 78h.
std::string valueText(const uint8_t* b);
// Six (address) or eight (data) upper-case hexadecimal characters.
std::string addressChars(uint32_t a);
std::string dataChars(uint32_t d);

class MecCore;

// The busy states, by the names the window knows them.
QJ_BUSY_STATES(Busy, ID, READ_MAIN, READ_INFO, ERASE, WRITE_MAIN)

// The transfer worker: created running for one read, erase or write.
using ReadThread_MEC16 = ReadThread<MecCore>;

class MecCore : public Operations<Busy> {
public:
    // The jig commands that have names.
    enum class Named { AlteraReset, SpiOff, SpiOn, JtagReset, IdRead };

    MecCore(FtdiApi& api, ModeView& view);
    ~MecCore();
    MecCore(const MecCore&) = delete;
    MecCore& operator=(const MecCore&) = delete;

    // Handlers (user-interface thread).
    void FormCreate();
    void BitBtn_MEC16Click();        // Check connect to MEC
    void BitBtn_MEC16_HELPClick();
    void EXIT_MEC16Click();          // stop a read, or leave
    void BitBtn_RD_MEC16Click();     // read
    void BitBtn_MEC16_ERASEClick();  // erase
    void BitBtn_MEC16_WRITEClick();  // write
    void CheckBox_MEC16_RDClick(bool checked) { readInfo_ = checked; }
    void CheckBox_erase_mec16Click(bool checked) { eraseInfo_ = checked; }

    // The body of ReadThread_MEC16 (runs on that thread).
    void Execute();

    // For the window, the CLI and the tests.
    void waitIdle() { worker_.join(); }

private:
    enum class Wait { Ok, Timeout, Overflow, Failed, Stopped };

    bool epm240() const;
    bool openJig();
    void closeIdleFailed();
    void beginTransfer(Busy state, uint32_t color, int gaugeMax);
    void closeAndFinish(bool ok, const char* stampLabel = nullptr);

    // Exchanges.
    Xfer sendMecCommand(Named c);
    Xfer registerExchange(const std::string& cmd, uint32_t count);
    // A register's value as the log shows it, or nothing when the MEC is lost.
    std::optional<std::string> readMecRegister(uint32_t address);
    enum class RegWrite { Ok, Lost };
    RegWrite writeMecRegister(uint32_t address, uint32_t data);
    void signalMecResult(bool ok);
    void releaseMec();
    bool readMecIdPlain(bool atLeast);
    bool readMecIdEpm240();
    bool identify(bool plainOnly, bool atLeast);
    bool idForTransfer(bool plainOnly, const char* idLine, const char* invalidLine);
    std::string idText() const { return valueText(xbuf_.data()); }
    bool idAllFF() const;
    void clearIdBytes();
    // One register write of an operation: its success line, or its tagged line.
    bool regStep(uint32_t address, uint32_t data, const char* okLine, const char* lostLine);
    bool evaluateProtection(bool checkLines);
    void paintShapes(uint32_t fwp, uint32_t bootLock);
    void flashReadCommand(const char* address);
    // Drops what the jig still sends after a time-out or a break.
    void settle();
    Wait awaitBlock(bool stoppable);

    // Read and write, worker side.
    bool readMain();  // true: the INFO part follows
    void readInfoBlocks();
    void readStopped(const char* why);
    void readLost(const char* tagLine, bool info);
    void readClosingSteps(const char* t100, const char* t0, const char* t10);
    void readDone();
    void readStartFailed();
    void erase();
    void writePages();
    void writeClosingSteps();
    void writeEndEarly(bool ok);
    void writeStartFailed();

    FtdiApi& api_;
    std::atomic<bool> stop_{false};
    std::string jigIdent_;
    std::string lastResult_;
    bool readInfo_ = false;
    bool eraseInfo_ = false;
    bool scopeInfo_ = false;  // the running read's scope: MAIN+INFO

    // Owned by the worker while busy.
    std::vector<uint8_t> xbuf_;   // the exchange buffer: answers land at its start
    std::vector<uint8_t> block_;  // one block answer
    std::vector<uint8_t> image_;  // the MAIN image of a write
    size_t imageBytes_ = 0;       // bytes the file gave
    int counter_ = 0;             // block or page counter, from 1
    image::DumpFile dump_;
    ReadThread_MEC16 worker_{*this};
};

}  // namespace qj::mec
