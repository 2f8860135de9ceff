#include "modes/nuv/NuvCore.h"

#include "jig/Text.h"
#include "jig/firmware/JigFiles.h"
#include "jig/firmware/StandIn.h"
#include "modes/Modes.h"

namespace qj::nuv {

namespace {
// Jig commands of this window.
const std::initializer_list<uint8_t> kResetAltera = {'S', 'R'};
const std::initializer_list<uint8_t> kSpiOff = {'J', 'X'};
const std::initializer_list<uint8_t> kSpiOn = {'J', 'S'};
const std::initializer_list<uint8_t> kTestLogicReset = {'J', '1'};
const std::initializer_list<uint8_t> kBuzOk = {'I'};
const std::initializer_list<uint8_t> kBuzEr = {'O'};

std::string hex2(uint8_t b) { return hexNumber(b, 2); }

}  // namespace

const std::vector<std::string>& initialMemo() {
    // Lines 1 and 4 have a no-break space after the digit.
    static const std::vector<std::string> lines = {
        " Your steps:",
        "1\u00A0Connect the flat cable motherboard and programmer (30 pin). ",
        "2 Check the ground between the MB and the programmer.",
        "3 Check 1 to 1 or 1 to 30? Select the checkbox in the settings.",
        "4\u00A0Click \"Send settings\".",
        "5 Connect the power supply to the motherboard.",
        "6 Click the \"Check connect to Nuvoton\".",
        "7 Click \"READ\" or \"WRITE\".",
        "8 Disconnect the power supply from the motherboard after ",
        "successfull.",
        "______",
        "",
    };
    return lines;
}

NuvCore::NuvCore(FtdiApi& api, ModeView& view, std::string programDir)
    : Operations(api, view), api_(api), programDir_(std::move(programDir)) {}

NuvCore::~NuvCore() { worker_.join(); }

// ---------------------------------------------------------------- exchanges

bool NuvCore::exchange(const std::vector<uint8_t>& bytes, uint32_t answer) {
    // Once the jig has missed a bound, the closing steps of the operation are
    // still sent but not waited for again.
    if (jigSilent_) {
        link_.write(bytes);
        return false;
    }
    if (link_.write(bytes) != FT_OK || link_.collect(answer, xbuf_, Deadlines::kByteAnswerMs) != Xfer::Ok) {
        jigSilent_ = true;
        return false;
    }
    return true;
}

bool NuvCore::ack(std::initializer_list<uint8_t> cmd) { return exchange(std::vector<uint8_t>(cmd), 1); }

bool NuvCore::pair(const Pair& p, uint8_t* first) {
    if (!exchange(drShift(p.cmd), 1) || !exchange(drShift32(p.value), 4)) return false;
    if (first) *first = xbuf_[0];
    return true;
}

bool NuvCore::pairs(const std::vector<Pair>& ps, uint8_t* first) {
    for (const Pair& p : ps)
        if (!pair(p, first)) return false;
    return true;
}

bool NuvCore::sendBatch(uint8_t mode, const std::vector<Pair>& ps, uint8_t& answer) {
    if (!exchange(batch(mode, ps), 1)) return false;
    answer = xbuf_[0];
    return true;
}

bool NuvCore::openLink() {
    jigSilent_ = false;
    OpenOptions o = mode(ModeId::Nuv).open;
    o.eventChar = 0x00;  // the JTAG shifts' answers, and the high byte of the 32-bit words read
    if (link_.open(o, view_) != OpenResult::Ready) return false;
    jigIdent_ = link_.ident();
    return true;
}

void NuvCore::setStep(Step s) {
    step_ = s;
    view_.setEnabled(kSettingsButton, s == Step::Settings);
    view_.setEnabled(kConnectButton, s != Step::Settings);
    view_.setEnabled(kReadButton, s == Step::Transfer);
    view_.setEnabled(kWriteButton, s == Step::Transfer);
}

// ResetNuvotonSteps: back to the settings step.
void NuvCore::resetSteps(bool setIdle) {
    setStep(Step::Settings);
    if (setIdle) view_.handBack([this] { busy_.set(Busy::NONE); });
}

// ---------------------------------------------------------------- settings

void NuvCore::BitBtn_SETTINGSClick() {
    if (!busy_.idle() || step_ != Step::Settings || !openLink()) return;
    view_.gaugePos(0);
    view_.log("");
    view_.timeStamp();
    if (contains(jigIdent_, "NPCE")) {
        // No CPLD to tell: the user wires the JTAG lines by hand.
        view_.log("Version FW -> " + jigIdent_);
        view_.log("Communication with programmer installed.");
        const std::string wiring = manualWiring(pin1ToPin1_);
        view_.log("User selected " + wiring);
        view_.messageBox(BoxKind::Information, "Please connect GND and: \n" + wiring);
    } else {
        bool ok = ack(kResetAltera) && ack(kSpiOn);
        view_.log(pin1ToPin1_ ? "Selected 30 pin FFC (TYPE B)" : "Selected 30 pin FFC (TYPE A))");
        for (const auto& [reg, value] : pinMapRegisters(pinMap(pin1ToPin1_))) ok = ok && ack({'S', 'W', reg, value});
        if (!ok) {
            view_.log("No answer from the programmer: the settings were not sent.");
            link_.purge();
            link_.close();
            return;
        }
        view_.log("Settings for NUVOTON send.");
    }
    link_.close();
    view_.messageBox(BoxKind::Information,
                     " Now \n Please connect the power supply to the motherboard, \n then click *Check connect to Nuvoton* !");
    view_.log("");
    setStep(Step::Connect);
}

// ---------------------------------------------------------------- connect

void NuvCore::connectFailed() {
    link_.purge();
    ack(kSpiOn);
    ack(kBuzEr);
    link_.close();
    resetSteps(true);
}

void NuvCore::BitBtn_CONNECTClick() {
    if (!busy_.idle() || step_ == Step::Settings || !openLink()) return;
    // The ID is exactly the four bytes of this answer: nothing left over from
    // an earlier exchange may stand in for a missing one.
    std::vector<uint8_t> id;
    if (ack(kSpiOff) && ack(kTestLogicReset)) {
        link_.purge();
        if (link_.write(drShift32(0xFFFFFFFF)) != FT_OK || link_.collect(4, id, Deadlines::kByteAnswerMs) != Xfer::Ok)
            link_.purge();
    }
    std::string shown;
    for (int i = 3; i >= 0; --i) shown += static_cast<size_t>(i) < id.size() ? hex2(id[static_cast<size_t>(i)]) : "--";
    view_.log("Read NUVOTON ID " + shown);
    if (id != std::vector<uint8_t>{0x1F, 0x20, 0xE2, 0x0F}) {
        view_.log("Wrong ID. Break.");
        view_.log("");
        connectFailed();
        view_.messageBox(BoxKind::Error,
                         "Possible reasons \n 1 No power is connected to the motherboard \n 2 No power on a chip EC "
                         "\n 3 Defective chip EC \n 4 Invalid defined first contact");
        return;
    }
    std::string lookedIn;
    if (scriptPath_.empty() || defaultScript_) {
        // Looked up again on every connect: the user may have put it in place since.
        const JigFileLookup file = findJigFile(kScriptFile, programDir_);
        if (!file.found) lookedIn = " " + file.lookedIn();
        if (!defaultScript_) view_.log(std::string(" *** Default file -> ") + kScriptFile);
        scriptPath_ = file.path;
        defaultScript_ = true;
    }
    // Read whole before the worker starts: what cannot be played ends here, as a missing script does.
    script_ = readScript(scriptPath_);
    if (script_.missing || !script_.refused.empty()) {
        view_.log("Break! Open file (.qjf) error or not found!" + lookedIn);
        if (!script_.refused.empty()) view_.log("Break! " + script_.refused + ".");
        connectFailed();
        return;
    }
    if (!script_.readError && !script_.badLine && playsNothing(script_)) {
        view_.log("Break! The script " + scriptPath_ + " plays nothing: no line in it is carried out.");
        connectFailed();
        return;
    }
    // Made-up JTAG shifts must never reach a real EC.
    if (!api_.ReachesVirtualJig(link_.handle()) && isStandInFile(scriptPath_)) {
        script_ = Script{};
        view_.log("Break! " + standInRefusal(scriptPath_));
        connectFailed();
        return;
    }
    busy_.set(Busy::TXT_SEND);
    worker_.start();
}

void NuvCore::Execute() {
    const Busy what = busy_.get();
    if (what == Busy::TXT_SEND) playScript();
    else if (what == Busy::NUVOTON_READ) readFlash();
    else if (what == Busy::ERASE_NUVOTON) eraseAndWrite();
}

void NuvCore::scriptFailed(const std::string& line) {
    view_.log(line);
    view_.timeStamp("Sending end:   ");
    connectFailed();
}

void NuvCore::playScript() {
    view_.timeStamp("Sending start: ");
    // The whole script is checked before its first line is played, so a bad
    // line never leaves the chip half set up.
    const Script s = std::move(script_);
    script_ = Script{};
    view_.gaugePos(0);
    view_.gaugeColor(kYellow);
    view_.gaugeMax(static_cast<int>(s.lines.size()));
    if (s.readError) return scriptFailed("Break! The script file cannot be read.");
    if (s.badLine)
        return scriptFailed("Break! Script line " + std::to_string(s.badLine) + ": " + s.why + ".");
    int counter = 1;
    for (size_t i = 0; i < s.lines.size(); ++i) {
        // The answers are awaited, never examined.
        for (const JtagCommand& c : s.lines[i])
            if (!exchange(c.bytes, c.answer))
                return scriptFailed("Break! No answer from the programmer at script line " + std::to_string(i + 1) + ".");
        ++counter;
        view_.gaugePos(static_cast<int>(i + 1));
        if (counter % 256 == 0) view_.setText(kCounterText, std::to_string(counter));
    }
    view_.timeStamp("Sending end:   ");
    setStep(Step::Transfer);
    view_.log("I`m ready to READ or WRITE.");
    // The link is closed before the window is idle again.
    link_.close();
    view_.handBack([this] { busy_.set(Busy::NONE); });
}

// ---------------------------------------------------------------- read

// The start both transfers share: idle, at the transfer step, the link open,
// then the file the user names (nothing when cancelled, said with `cancelLine`).
std::optional<std::string> NuvCore::beginTransfer(bool save, const char* cancelLine) {
    if (!busy_.idle()) return std::nullopt;
    // A transfer whose start is refused has no result: never the last transfer's.
    outcome_ = Outcome::None;
    if (step_ != Step::Transfer || !openLink()) return std::nullopt;
    auto path = save ? view_.askSavePath() : view_.askOpenPath();
    if (!path || path->empty()) {
        view_.log(cancelLine);
        view_.log("");
        link_.close();
        return std::nullopt;
    }
    return path;
}

void NuvCore::BitBtn_NUV_JTAG_RDClick() {
    const auto path = beginTransfer(true, "Write to file is interrupted. All stop.");
    if (!path) return;
    if (!dump_.create(*path)) {
        view_.messageBox(BoxKind::Error, "Error create file!");
        link_.close();
        return;
    }
    view_.log("Data from NUVOTON save to file: " + *path);
    busy_.set(Busy::NUVOTON_READ);
    view_.gaugeColor(kGreen);
    view_.gaugeMax(kBlocks);
    view_.gaugePos(0);
    worker_.start();
}

void NuvCore::readFailed(const std::string& line) {
    view_.log(line);
    dump_.close();
    view_.timeStamp("Reading stopped. ");
    transferEnd(false);
}

void NuvCore::readFlash() {
    // Blocks of flash data end in no particular byte, and a 00h in them would
    // send a packet of its own: no event character here.
    link_.eventChar(std::nullopt);
    view_.timeStamp("Reading ...       ");
    const std::vector<uint8_t> request(std::begin(kBlockRead), std::end(kBlockRead));
    for (int k = 0; k < kBlocks; ++k) {
        const Xfer x = link_.sendAwaitCount(request, kBlockSize, true, xbuf_, Deadlines::kBlockAnswerMs);
        if (x == Xfer::Overflow)
            return readFailed("Block " + std::to_string(k) + ": more than 256 bytes came. Reading stopped.");
        if (x != Xfer::Ok)
            return readFailed("Block " + std::to_string(k) + " did not come within 3 s. Reading stopped.");
        if (!dump_.write(xbuf_.data(), kBlockSize)) return readFailed("Error writing the file!");
        view_.gaugePos(k + 1);
    }
    // A dump that did not reach the disk must not pass for a good one.
    if (!dump_.finish()) return readFailed("Error writing the file!");
    view_.timeStamp("Reading complete. ");
    transferEnd(true);
}

// ---------------------------------------------------------------- write

void NuvCore::BitBtn_NUV_JTAG_WRClick() {
    const auto path = beginTransfer(false, "Read to file is interrupted. All stop.");
    if (!path) return;
    // The whole image is read before the chip is touched: an empty file, or one
    // that fails half-way, must never be written as erased flash.
    const image::Loaded loaded = image::load(*path, image_, kImageSize, 0xFF);
    if (!loaded.ok()) {
        if (loaded.result == image::Load::ReadError) view_.log("Error reading the file: " + *path);
        view_.messageBox(BoxKind::Error, "Error open file!");
        link_.close();
        return;
    }
    ignoreAnswers_ = contains(jigIdent_, "NPCE VC");
    view_.log("Write from file: " + *path);
    busy_.set(Busy::ERASE_NUVOTON);
    view_.gaugeColor(kFuchsia);
    view_.gaugeMax(kSectors);
    view_.gaugePos(0);
    worker_.start();
}

bool NuvCore::eraseSectors() {
    view_.timeStamp("Erase blocks... ");
    Clock& clock = api_.clock();
    uint8_t status = 0;
    for (int r = 0; r < kSectors; ++r) {
        uint8_t answer = 0;  // an erase batch's answer is not looked at
        if (!sendBatch(kEraseMode, erasePairs(r), answer) || !pairs(controlReadPairs())) {
            view_.log("No answer from the programmer: erase of sector " + std::to_string(r) + ".");
            return false;
        }
        const int64_t end = clock.nowMs() + Deadlines::kSectorEraseMs;
        for (;;) {
            if (!pairs(statusPollPairs(), &status)) {
                view_.log("No answer from the programmer: erase of sector " + std::to_string(r) + ".");
                return false;
            }
            // Busy (bit 0) or still write-enabled (bit 1).
            if (ignoreAnswers_ || (status & 0x03) == 0) break;
            if (clock.nowMs() >= end) {
                view_.log("Sector " + std::to_string(r) + " is still busy after 5 s: status=" + hex2(status) +
                          "h. Erase stopped.");
                return false;
            }
        }
        view_.gaugePos(r + 1);
    }
    view_.log("Erase complete! " + view_.timeNow() + "    status=" + hex2(status) + "h");
    return true;
}

bool NuvCore::writeBlocks() {
    view_.log("Write bytes ... ");
    link_.eventChar(kAccepted);  // every batch of the write is answered 22h
    view_.gaugeColor(kRed);
    view_.gaugeMax(kBlocks);
    view_.gaugePos(0);
    uint8_t a = 0;
    if (!sendBatch(kDataMode, setupPairs(), a)) {
        view_.log("No answer from the programmer: write set-up.");
        return false;
    }
    if (a != kAccepted && !ignoreAnswers_) {
        view_.log("FAULT first !=22  " + hex2(a) + "h");
        return false;
    }
    for (int k = 0; k < kBlocks; ++k) {
        const uint8_t* data = image_.data() + static_cast<size_t>(k) * kBlockSize;
        const std::string noAnswer = "No answer from the programmer: block " + std::to_string(k) + ".";
        if (!sendBatch(kDataMode, dataPairs(k, data), a)) {
            view_.log(noAnswer);
            return false;
        }
        if (a != kAccepted && !ignoreAnswers_) {
            view_.log("FAULT A_gr  !=22h  " + hex2(a) + "h");
            return false;
        }
        if (!sendBatch(kDescriptorMode, descriptorPairs(k, data), a)) {
            view_.log(noAnswer);
            return false;
        }
        if (a != kAccepted && !ignoreAnswers_) {
            view_.log("FAULT B_gr  !=22h  " + hex2(a) + "h");
            return false;
        }
        view_.gaugePos(k + 1);
    }
    view_.timeStamp("Write complete! ");
    return true;
}

void NuvCore::eraseAndWrite() { transferEnd(eraseSectors() && writeBlocks()); }

// The worker's end of a read or write. The link stays open and the window busy
// until Timer_MSG_ERTimer has released the chip.
void NuvCore::transferEnd(bool ok) {
    if (!ok) link_.purge();
    ack(ok ? kBuzOk : kBuzEr);
    resetSteps(false);
    outcome_ = ok ? Outcome::Ok : Outcome::Failed;
    view_.armTimer(kMessageTimer);
}

void NuvCore::Timer_MSG_ERTimer() {
    worker_.join();
    if (busy_.idle()) return;
    if (lastOutcome() == Outcome::Failed)
        view_.messageBox(BoxKind::Error,
                         " ERASE or WRITE protocol error! \n Lost communication with a chip EC \n Please disconnect the "
                         "power supply from the motherboard!");
    else
        view_.messageBox(BoxKind::Information, "Please disconnect the power supply from the motherboard!");
    ack(kResetAltera);
    ack(kSpiOn);
    link_.close();
    busy_.set(Busy::NONE);
}

// ---------------------------------------------------------------- leave

void NuvCore::BitBtn_EXIT_NUVClick() {
    if (!busy_.idle()) return;
    if (openLink()) {
        ack(kResetAltera);
        ack(kSpiOn);
        link_.close();
    }
    resetSteps(false);
    view_.setText(kCounterText, "");
    view_.gaugePos(0);
    view_.clearLog();
    leaveMode(view_, ModeId::Nuv);
}

}  // namespace qj::nuv
