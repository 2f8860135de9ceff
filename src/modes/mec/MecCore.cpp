#include "modes/mec/MecCore.h"

#include <algorithm>

#include "jig/Text.h"
#include "modes/Modes.h"

namespace qj::mec {

namespace {
constexpr uint32_t kBlockAnswer = kBlockSize + 1;  // data and the status byte
constexpr uint8_t kGoodBlock = 0x01;  // also a register write's "done", the end of the jig's register answers
constexpr uint8_t kPageGood = 'G';
constexpr size_t kExchangeBuffer = 1100;
// A register's answer: as long as the jig's read time-out.
constexpr uint32_t kRegisterAnswerMs = 300;
// A read's waits are cut in slices this long, so "STOP and EXIT" ends them early.
constexpr uint32_t kStopSliceMs = 50;

const char* const kRuTime = "Текущее время  ";
const char* const kClosePort = "Close VCOM port";
const char* const kClosePortRu = "Закрыли VCOM порт";
const char* const kShortId = "ID готово 4 байта но сняли меньше ОШИБКА";
const char* const kFileError = "Error writing the file!";

// Read worker steps.
const char* const kReg3908To100 = "Write to reg FF3908h 100h";
const char* const kReg3908To105 = "Write to reg FF3908h 105h";
const char* const kReg3908To0 = "Write to reg FF3908h 0";
const char* const kReg3910To0 = "Write to reg FF3910h 0";
// Erase and write start steps.
const char* const kRuReg3910To1 = "Записали в регистр FF3910h 1";

const char* const kInitialLines[] = {
    "Не готова запись INFO блока ",
    "Не готова верификация, но можно сравнить в стороннем ",
    "редакторе",
    "Перед записью нужно стереть! Автоматом пока не делает. ",
    "",
    "The block INFO is not ready to write",
    "Auto verification is not ready, but it can be compared in ",
    "an external editor.",
    "Before recording it is necessary to erase! ",
    "",
    "запись на тройку доделать!",
};

const char* const kHelpLines[] = {
    "Распиновка для расширенной версии (PCB2):",
    "1-JRST mec16 (не обязательно!)",
    "2-TMS mec16",
    "3-TDO mec16",
    "5-TCLK mec16",
    "6-GND",
    "7-TDI mec16",
    "Для первой версии (PCB1) 1-JRST оставить без подключения. ",
    "",
    "Для ЗАПИСИ MEC нужно поставить R 2кОм на +3V с ножки nFWP. Снимать R на GND, не нужно.",
    "Проверить, что ножка JTAG_RESET не притянута на GND R 0Ом",
    "",
    "Один из выводов VCI_IN0(D2),VCI_IN1(F4),VCI_IN2(C2),VCI_IN3(E1) посадить перемычкой на землю - зависит от MB.",
    "Для MBX-237 нужно посадить на землю VCI_IN1(F4).",
    "Для работы с MEC, должно присутствовать +3V на всех VTR.",
    "Не тестировалось с MEC1619 - могут быть проблемы с записью.",
};

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }
}  // namespace

std::string valueText(const uint8_t* b) { return hexBytes(b, 2) + " " + hexBytes(b + 2, 2) + "h"; }
std::string addressChars(uint32_t a) { return hexNumber(a & 0xFFFFFF, 6); }
std::string dataChars(uint32_t d) { return hexNumber(d, 8); }

MecCore::MecCore(FtdiApi& api, ModeView& view)
    : Operations(api, view), api_(api), xbuf_(kExchangeBuffer, 0), image_(kMainSize, 0xFF) {
    view_.setTimeLabel("Current time ");
}

MecCore::~MecCore() { worker_.join(); }

bool MecCore::epm240() const { return contains(jigIdent_, "EPM240"); }

void MecCore::FormCreate() {
    for (const char* l : kInitialLines) view_.log(l);
    view_.gaugeMax(kGaugeMax);
    paintShapes(kBlack, kBlack);
    view_.setEnabled(kWriteInfoBox, false);
}

// Opens the link; the window takes any jig that answers.
bool MecCore::openJig() {
    OpenOptions o = mode(ModeId::Mec).open;
    o.eventChar = kGoodBlock;
    if (link_.open(o, view_) != OpenResult::Ready) {
        closeIdleFailed();
        return false;
    }
    jigIdent_ = link_.ident();
    return true;
}

// Every early way out: the link closed, then the window idle.
void MecCore::closeIdleFailed() {
    link_.close();
    outcome_ = Outcome::Failed;
    busy_.set(Busy::NONE);
}

// The common start of a read or write: state, result, gauge.
void MecCore::beginTransfer(Busy state, uint32_t color, int gaugeMax) {
    stop_ = false;
    busy_.set(state);
    outcome_ = Outcome::Failed;
    view_.gaugeColor(color);
    view_.gaugePos(0);
    view_.gaugeMax(gaugeMax);
}

// The end of an operation that got as far as the MEC: the link closed, the stamp, idle.
void MecCore::closeAndFinish(bool ok, const char* stampLabel) {
    closeAndStamp(stampLabel);
    view_.log("");
    finish(ok);
}

// ---------------------------------------------------------------- exchanges

Xfer MecCore::sendMecCommand(Named c) {
    static const struct {
        uint8_t a, b;
        uint32_t answer;
    } kForms[] = {{'S', 'R', 1}, {'J', 'X', 1}, {'J', 'S', 1}, {'J', '1', 1}, {'M', 'j', 4}};
    const auto& f = kForms[static_cast<int>(c)];
    std::vector<uint8_t> a;
    Xfer x = link_.write({f.a, f.b}) == FT_OK ? link_.collect(f.answer, a, Deadlines::kByteAnswerMs) : Xfer::Failed;
    std::copy(a.begin(), a.end(), xbuf_.begin());
    if (x != Xfer::Ok) settle();
    return x;
}

// A register access: the command, then its answer of `count` bytes at the
// start of the exchange buffer (what came of it even when short).
Xfer MecCore::registerExchange(const std::string& cmd, uint32_t count) {
    std::vector<uint8_t> a;
    const Xfer x = link_.write(bytesOf(cmd)) == FT_OK ? link_.collect(count, a, kRegisterAnswerMs) : Xfer::Failed;
    std::copy(a.begin(), a.end(), xbuf_.begin());
    return x;
}

std::optional<std::string> MecCore::readMecRegister(uint32_t address) {
    if (registerExchange((epm240() ? "Mr" : "r") + addressChars(address), 5) == Xfer::Ok)
        return valueText(xbuf_.data());
    settle();  // the rest of a late answer must not pass for the next one
    return std::nullopt;
}

MecCore::RegWrite MecCore::writeMecRegister(uint32_t address, uint32_t data) {
    const Xfer x = registerExchange((epm240() ? "Mw" : "w") + addressChars(address) + dataChars(data), 1);
    if (x == Xfer::Ok && xbuf_[0] == 0x01) return RegWrite::Ok;
    if (x != Xfer::Ok) settle();
    return RegWrite::Lost;
}

void MecCore::signalMecResult(bool ok) {
    link_.write({static_cast<uint8_t>(ok ? 'I' : 'O')});
    if (!epm240()) return;
    uint8_t b = 0;
    if (link_.awaitByte(b) == Xfer::Ok) xbuf_[0] = b;
}

void MecCore::releaseMec() {
    if (epm240()) {
        sendMecCommand(Named::JtagReset);
        sendMecCommand(Named::SpiOn);
    } else {
        link_.write({'0'});
    }
}

void MecCore::clearIdBytes() { std::fill_n(xbuf_.begin(), 4, 0); }

bool MecCore::idAllFF() const {
    return std::all_of(xbuf_.begin(), xbuf_.begin() + 4, [](uint8_t b) { return b == 0xFF; });
}

// `atLeast`: four bytes or more will do (the check); otherwise exactly four.
bool MecCore::readMecIdPlain(bool atLeast) {
    uint8_t b = 0;
    link_.write({'1'});
    if (link_.awaitByte(b) == Xfer::Ok) {
        xbuf_[0] = b;
        view_.log("получили ответ после команды 1");
    } else {
        settle();
    }
    clearIdBytes();
    std::vector<uint8_t> a;
    link_.write({'j'});
    const Xfer x = atLeast ? link_.collect(4, a, Deadlines::kByteAnswerMs)
                           : link_.awaitCount(4, true, a, Deadlines::kByteAnswerMs);
    std::copy_n(a.begin(), std::min<size_t>(a.size(), 4), xbuf_.begin());
    if (x == Xfer::Ok) return true;
    view_.log(kShortId);
    settle();
    return false;
}

bool MecCore::readMecIdEpm240() {
    sendMecCommand(Named::AlteraReset);
    sendMecCommand(Named::SpiOff);
    sendMecCommand(Named::JtagReset);
    clearIdBytes();
    if (sendMecCommand(Named::IdRead) == Xfer::Ok) return true;
    view_.log(kShortId);
    return false;
}

// The MEC's four identification bytes land at the start of the exchange buffer.
bool MecCore::identify(bool plainOnly, bool atLeast) {
    return epm240() && !plainOnly ? readMecIdEpm240() : readMecIdPlain(atLeast);
}

// The ID before a read or write, logged; false (said with `invalidLine`) when it reads all FFh.
bool MecCore::idForTransfer(bool plainOnly, const char* idLine, const char* invalidLine) {
    identify(plainOnly, false);
    view_.log(idLine + idText());
    if (!idAllFF()) return true;
    view_.log(invalidLine);
    return false;
}

bool MecCore::regStep(uint32_t address, uint32_t data, const char* okLine, const char* lostLine) {
    if (writeMecRegister(address, data) == RegWrite::Lost) {
        view_.log(lostLine);
        return false;
    }
    view_.log(okLine);
    return true;
}

void MecCore::paintShapes(uint32_t fwp, uint32_t bootLock) {
    view_.setColor(kShapeFwp, fwp);
    view_.setColor(kShapeBootLock, bootLock);
}

// From the fourth byte of the last FF390Ch answer in the exchange buffer.
bool MecCore::evaluateProtection(bool checkLines) {
    const uint8_t b3 = xbuf_[3];
    const bool fwp = (b3 & kStatusFwp) != 0, lock = (b3 & kStatusBootLock) != 0;
    if (fwp)
        view_.log(checkLines ? "--> FW write protect! (FWP ножка)" : "--> СТОИТ ЗАЩИТА ЗАПИСИ ! (FWP ножка)");
    else
        view_.log(checkLines ? "--> Erase and Write allowed (FWP pin)."
                             : "--> Стирание и запись разрешена (FWP ножка)");
    view_.setColor(kShapeFwp, fwp ? kRed : kGreen);
    if (lock)
        view_.log(checkLines ? "--> Boot_Lock! (защита загрузочного блока)"
                             : "--> Стоит Boot_Lock ! (защита загрузочного блока)");
    else
        view_.log(checkLines ? "--> Erase and Write boot allowed."
                             : "--> Стирание и запись загрузочного блока разрешена");
    view_.setColor(kShapeBootLock, lock ? kRed : kGreen);
    return fwp || lock;
}

void MecCore::flashReadCommand(const char* address) {
    link_.write(bytesOf((epm240() ? "MR" : "R") + std::string(address)));
}

void MecCore::settle() { link_.settle(); }

MecCore::Wait MecCore::awaitBlock(bool stoppable) {
    Clock& c = api_.clock();
    const int64_t end = c.nowMs() + Deadlines::kBlockAnswerMs;
    for (;;) {
        if (stoppable && stop_) return Wait::Stopped;
        const int64_t left = std::max<int64_t>(end - c.nowMs(), 0);
        const uint32_t slice = static_cast<uint32_t>(stoppable ? std::min<int64_t>(left, kStopSliceMs) : left);
        switch (link_.awaitCount(kBlockAnswer, true, block_, slice)) {
        case Xfer::Ok: std::copy(block_.begin(), block_.end(), xbuf_.begin()); return Wait::Ok;
        case Xfer::Overflow: return Wait::Overflow;
        case Xfer::Failed: return Wait::Failed;
        case Xfer::Timeout: break;
        }
        if (c.nowMs() >= end) return Wait::Timeout;
    }
}

// ---------------------------------------------------------------- check, help, exit

void MecCore::BitBtn_MEC16Click() {
    if (!busy_.idle()) return;
    busy_.set(Busy::ID);
    outcome_ = Outcome::Failed;
    view_.gaugePos(0);
    paintShapes(kBlack, kBlack);
    view_.timeStamp();
    if (!openJig()) return;

    bool fault = !identify(false, true);
    view_.log("ID from MEC -> " + idText());
    static const struct {
        uint32_t address;
        const char* line;
        const char* lost;
    } kRegs[] = {
        {kRegRevision, "REG FFFD00h -> ", "Потеряна связь с MEC (I100)"},
        {kRegFlashCommand, "REG FF3908h -> ", "Потеряна связь с MEC (I101)"},
        {kRegFlashEnable, "REG FF3910h -> ", "Потеряна связь с MEC (I102)"},
        {kRegFlashStatus, "REG FF390Ch -> ", "Потеряна связь с MEC (I103)"},
    };
    for (const auto& r : kRegs) {
        if (const auto v = readMecRegister(r.address)) {
            view_.log(r.line + *v);
        } else {
            view_.log(r.lost);
            fault = true;
        }
    }
    // Painted from the buffer even after a lost read: the shapes show what the jig last said.
    fault = evaluateProtection(true) || fault;
    signalMecResult(!fault);
    releaseMec();
    view_.log(kClosePort);
    closeAndFinish(!fault);
}

void MecCore::BitBtn_MEC16_HELPClick() {
    if (!busy_.idle()) return;
    for (const char* l : kHelpLines) view_.log(l);
}

void MecCore::EXIT_MEC16Click() {
    if (!busy_.idle()) {
        stop_ = true;
        return;
    }
    leaveMode(view_, ModeId::Mec);
}

// ---------------------------------------------------------------- read

void MecCore::BitBtn_RD_MEC16Click() {
    if (!busy_.idle()) return;
    beginTransfer(Busy::READ_MAIN, kGreen, kMainBlocks);
    if (!openJig()) return;
    const auto path = view_.askSavePath();
    if (!path || !dump_.create(*path)) {
        view_.log(path ? "Error create file" : "User break");
        signalMecResult(false);
        view_.log(kClosePort);
        closeIdleFailed();
        return;
    }
    view_.timeStamp();
    view_.log("Write to file: ");
    view_.log(*path);
    scopeInfo_ = readInfo_;
    view_.log(scopeInfo_ ? "Read FLASH and INFO to file" : "Read only FLASH to file");
    view_.log("Read FLASH MEC ...");
    if (!idForTransfer(false, "ID from MEC -> ", "Invalid ID. Read break!")) return readStartFailed();
    if (!regStep(kRegFlashEnable, 1, "Write to reg FF3910h 1", "Потеряна связь с MEC (R100)") ||
        !regStep(kRegFlashCommand, kCmdRead, kReg3908To105, "Потеряна связь с MEC (R101)"))
        return readStartFailed();
    counter_ = 1;
    worker_.start();
    // The worker only waits for blocks; it takes the link once the request is out.
    flashReadCommand("000000");
    handLinkToWorker();
}

void MecCore::readStartFailed() {
    dump_.close();  // it stays, empty
    signalMecResult(false);
    releaseMec();
    view_.log(kClosePort);
    link_.close();
    view_.timeStamp();
    view_.log("");
    outcome_ = Outcome::Failed;
    busy_.set(Busy::NONE);
}

void MecCore::Execute() {
    takeLink();
    if (busy_.is(Busy::READ_MAIN)) {
        if (readMain()) readInfoBlocks();
    } else if (busy_.is(Busy::WRITE_MAIN)) {
        writePages();
    } else if (busy_.is(Busy::ERASE)) {
        erase();
    }
}

void MecCore::readClosingSteps(const char* t100, const char* t0, const char* t10) {
    // Each step runs whatever the previous one gave.
    regStep(kRegFlashCommand, kCmdIdle, kReg3908To100, t100);
    regStep(kRegFlashCommand, 0, kReg3908To0, t0);
    regStep(kRegFlashEnable, 0, kReg3910To0, t10);
}

// The end of a read that the user stopped, or whose dump could not be stored.
void MecCore::readStopped(const char* why) {
    link_.write({'X'});
    view_.log(why);
    settle();
    readClosingSteps("Потеряна связь с MEC16 (P100).", "Потеряна связь с MEC16 (P101).",
                     "Потеряна связь с MEC16 (P102)");
    releaseMec();
    signalMecResult(false);
    view_.log(kClosePort);
    dump_.close();
    closeAndFinish(false);
}

// A bad block status, or a block that did not come within its bound.
void MecCore::readLost(const char* tagLine, bool info) {
    link_.write({'X'});
    settle();
    if (info) {
        view_.log(tagLine);
        signalMecResult(false);
        releaseMec();
    } else {
        releaseMec();
        view_.log(tagLine);
        signalMecResult(false);
    }
    view_.log(kClosePort);
    dump_.close();
    closeAndFinish(false);
}

// After the closing steps of a complete read: success only once the dump is on disk.
void MecCore::readDone() {
    const bool stored = dump_.finish();
    if (!stored) view_.log(kFileError);
    signalMecResult(stored);
    releaseMec();
    view_.log(kClosePort);
    closeAndFinish(stored);
}

bool MecCore::readMain() {
    const char* const kLost = "Lost communication with MEC (P103).";
    const char* const kBreak = "User break read ...";
    for (;;) {
        const Wait w = awaitBlock(true);
        if (w == Wait::Stopped) {
            readStopped(kBreak);
            return false;
        }
        if (w == Wait::Overflow) view_.log("Block answer longer than 1025 bytes: protocol error.");
        if (w != Wait::Ok) {
            readLost(kLost, false);
            return false;
        }
        const bool stored = dump_.write(xbuf_.data(), kBlockSize);
        view_.gaugePos(counter_);
        if (stop_ || xbuf_[kBlockSize] != kGoodBlock || !stored) {
            if (stop_) readStopped(kBreak);
            else if (xbuf_[kBlockSize] != kGoodBlock) readLost(kLost, false);
            else readStopped(kFileError);  // the dump did not reach the disk
            return false;
        }
        if (counter_ != kMainBlocks) {
            link_.write({'N'});
            ++counter_;
            continue;
        }
        link_.write({'X'});
        view_.log("Read FLASH complete.");
        if (!scopeInfo_) {
            readClosingSteps("Потеряна связь с MEC16 (P104).", "Потеряна связь с MEC16 (P105).",
                             "Потеряна связь с MEC16 (P106)");
            readDone();
            return false;
        }
        busy_.set(Busy::READ_INFO);
        counter_ = 1;
        regStep(kRegFlashCommand, kCmdIdle, kReg3908To100, "Потеряна связь с MEC16 (P107).");
        view_.log("Read INFO ...");
        regStep(kRegFlashCommand, kCmdRead, kReg3908To105, "Потеряна связь с MEC16 (P108).");
        flashReadCommand("040000");
        return true;
    }
}

// The INFO part runs to its end: it neither moves the gauge nor looks at the stop request.
void MecCore::readInfoBlocks() {
    const char* const kLost = "Lost communication with MEC (P109).";
    for (;;) {
        const Wait w = awaitBlock(false);
        if (w == Wait::Overflow) view_.log("Block answer longer than 1025 bytes: protocol error.");
        if (w != Wait::Ok) return readLost(kLost, true);
        const bool stored = dump_.write(xbuf_.data(), kBlockSize);
        if (xbuf_[kBlockSize] != kGoodBlock) return readLost(kLost, true);
        if (!stored) return readStopped(kFileError);
        if (counter_ == kInfoBlocks) {
            link_.write({'X'});
            view_.log("Read INFO complete.");
            readClosingSteps("Потеряна связь с MEC16 (P110).", "Потеряна связь с MEC16 (P111).",
                             "Потеряна связь с MEC16 (P112)");
            return readDone();
        }
        link_.write({'N'});
        ++counter_;
    }
}

// ---------------------------------------------------------------- erase

void MecCore::BitBtn_MEC16_ERASEClick() {
    if (!busy_.idle()) return;
    busy_.set(Busy::ERASE);
    stop_ = false;
    outcome_ = Outcome::Failed;
    view_.gaugePos(0);
    paintShapes(kBlack, kBlack);
    view_.timeStamp(kRuTime);
    if (!openJig()) return;
    // The erase's busy poll takes seconds (a minute for a stuck busy bit): it
    // runs on the worker, so the window stays alive and ignores clicks meanwhile.
    worker_.start();
    handLinkToWorker();
}

// The erase itself, on ReadThread_MEC16; it runs to its end (STOP does not cut it).
void MecCore::erase() {
    bool done = false;
    bool fault = !identify(true, false);
    view_.log("Получен ID от MEC16 -> " + idText());
    if (const auto status = readMecRegister(kRegFlashStatus)) {
        view_.log("Регистр FF390Ch -> " + *status);
        fault = evaluateProtection(false) || fault;
    } else {
        // Protection unknown: never judged from what an earlier answer left in the buffer.
        view_.log("Потеряна связь с MEC16 (E100)");
        fault = true;
    }
    if (fault) {
        link_.write({'O'});
        view_.log("--> Каманда стирания отменена.");
    } else if (regStep(kRegFlashEnable, 1, kRuReg3910To1, "Потеряна связь с MEC16 (E101)") &&
               regStep(kRegFlashCommand, kCmdErase, "Записали в регистр FF3908h 107h",
                       "Потеряна связь с MEC16 (E102)") &&
               regStep(kRegFlashAddress, eraseInfo_ ? kEraseMainInfo : kEraseMain, "Отправили команду стирания.",
                       "Потеряна связь с MEC16 (E103)")) {
        Clock& c = api_.clock();
        const int64_t end = c.nowMs() + Deadlines::kChipEraseMs;
        bool busyBit = true;
        while (busyBit) {
            if (!readMecRegister(kRegFlashStatus)) break;
            busyBit = (xbuf_[3] & kStatusBusy) != 0;
            if (busyBit && c.nowMs() >= end) break;
            if (busyBit) c.sleepMs(kErasePollMs);
        }
        if (busyBit) {
            view_.log("Потеряна связь с MEC16 (E104)");
        } else {
            view_.log("Стирание завершено успешно.");
            done = regStep(kRegFlashCommand, kCmdIdle, "Записали в регистр FF3908h 100h",
                           "Потеряна связь с MEC16 (E105)") &&
                   regStep(kRegFlashCommand, 0, "Записали в регистр FF3908h 0", "Потеряна связь с MEC16 (E106)") &&
                   regStep(kRegFlashEnable, 0, "Записали в регистр FF3910h 0", "Потеряна связь с MEC16 (E107)");
            if (done) link_.write({'I'});
        }
    }
    link_.write({'0'});
    view_.log(kClosePortRu);
    closeAndFinish(done, kRuTime);
}

// ---------------------------------------------------------------- write

void MecCore::BitBtn_MEC16_WRITEClick() {
    if (!busy_.idle()) return;
    beginTransfer(Busy::WRITE_MAIN, kRed, kGaugeMax);
    if (!openJig()) return;
    const auto path = view_.askOpenPath();
    // An empty file, or one that cannot be read whole, is refused before the MEC is touched.
    const image::Loaded loaded = path ? image::load(*path, image_, kMainSize, 0xFF) : image::Loaded{};
    if (!path || !loaded.ok()) {
        view_.log(path ? "Ошибка открытия файла" : "Операция записи прервана");
        link_.write({'O'});
        view_.log(kClosePortRu);
        closeIdleFailed();
        return;
    }
    imageBytes_ = loaded.bytes;
    view_.timeStamp(kRuTime);
    view_.log("Записываем в файл: ");
    view_.log(*path);
    // The INFO box is disabled: the write covers the MAIN block only.
    view_.log("Выбрана запись только MAIN блока");
    view_.log("Начали запись MEC16 main block ...");
    if (!idForTransfer(true, "Получен ID от MEC16 -> ", "Неверный ID. Операция прервана!")) return writeStartFailed();
    if (!readMecRegister(kRegFlashStatus)) {
        view_.log("Потеряна связь с MEC16 (TW001)");
        return writeStartFailed();
    }
    if (evaluateProtection(false)) {
        view_.log("--> Команда записи отменена (nFWP или BOOT_LOCK)");
        return writeStartFailed();
    }
    if (!regStep(kRegFlashEnable, 1, kRuReg3910To1, "Потеряна связь с MEC16 (W100)") ||
        !regStep(kRegFlashCommand, kCmdWrite, "Записали в регистр FF3908h 106h", "Потеряна связь с MEC16 (W101)") ||
        !regStep(kRegFlashAddress, 0, "Записали в регистр FF3904h 0", "Потеряна связь с MEC16 (W101A)"))
        return writeStartFailed();
    counter_ = 1;
    link_.eventChar(kPageGood);  // the pages' acknowledgements from now on
    worker_.start();
    link_.write({'W'});
    handLinkToWorker();
}

void MecCore::writeStartFailed() {
    link_.write({'O'});
    link_.write({'0'});
    view_.log(kClosePortRu);
    link_.close();
    view_.timeStamp(kRuTime);
    view_.log("");
    outcome_ = Outcome::Failed;
    busy_.set(Busy::NONE);
}

void MecCore::writeClosingSteps() {
    regStep(kRegFlashCommand, kCmdIdle, kReg3908To100, "Потеряна связь с MEC16 (W104).");
    regStep(kRegFlashCommand, 0, kReg3908To0, "Потеряна связь с MEC16 (W105).");
    regStep(kRegFlashEnable, 0, kReg3910To0, "Потеряна связь с MEC16 (W106)");
}

// The end of a write before its last page: SPI_ON on an EPM240 jig, the signal, no release.
void MecCore::writeEndEarly(bool ok) {
    if (epm240()) sendMecCommand(Named::SpiOn);
    signalMecResult(ok);
    closeAndFinish(ok);
}

void MecCore::writePages() {
    const char* const kNoG = "Потеряна связь с MEC16 (W103)";
    for (;;) {
        uint8_t b = 0;
        if (link_.awaitByte(b) != Xfer::Ok) {  // the go-ahead
            view_.log(kNoG);
            link_.write({'X'});
            settle();
            return writeEndEarly(false);
        }
        const size_t at = static_cast<size_t>(counter_ - 1) * kPageSize;
        const size_t have = imageBytes_ > at ? std::min<size_t>(kPageSize, imageBytes_ - at) : 0;
        const uint8_t* page = image_.data() + at;  // padded with FFh past the file's end
        link_.write(page, kPageSize);
        if (have < kPageSize) {
            view_.log("-> Предупреждение!");
            view_.log("-> Записываемый файл короче!");
            const bool acked = link_.awaitByte(b) == Xfer::Ok && b == kPageGood;
            if (!acked) view_.log("Потеряна связь с MEC16 (W102)");
            link_.write({'X'});
            if (!acked) settle();
            writeClosingSteps();
            return writeEndEarly(acked);
        }
        view_.gaugePos((kGaugeMax / kPages) * counter_);
        if (link_.awaitByte(b) != Xfer::Ok || b != kPageGood) {
            view_.log(kNoG);
            link_.write({'X'});
            settle();
            return writeEndEarly(false);
        }
        if (counter_ == kPages) break;
        ++counter_;
        link_.write({'N'});
    }
    link_.write({'X'});
    view_.log("Write FLASH complete.");
    writeClosingSteps();
    signalMecResult(true);
    releaseMec();
    view_.log(kClosePort);
    closeAndFinish(true);
}

}  // namespace qj::mec
