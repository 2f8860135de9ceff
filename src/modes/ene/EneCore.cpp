#include "modes/ene/EneCore.h"

#include <algorithm>

#include "modes/common/ImageFile.h"
#include "modes/ene/EneWiring.h"
#include "modes/Modes.h"

namespace qj::ene {

namespace {
constexpr uint32_t kAnswer = kBlockSize + 1;  // 256 data bytes and the status byte
constexpr uint8_t kLostStatus = 'e';
// What the jig's good blocks and acknowledgements end in: the event character
// of a transfer. Any status but 'e' is still good; it only waits longer.
constexpr uint8_t kGoodStatus = 'K';
}  // namespace

EneCore::EneCore(FtdiApi& api, ModeView& view)
    : Operations(api, view), image_(kImageSize, 0xFF), xbuf_(kAnswer) {}

EneCore::~EneCore() {
    worker_.join();
    closeFile();
}

// ---------------------------------------------------------------- wiring set-up

void EneCore::setLabel(const std::string& t) {
    label_ = t;
    view_.setText(kResultLabel, t);
}

void EneCore::FormCreate() {
    view_.gaugeMax(kGaugeMax);
    view_.setText(kCableCombo, kCablePrompt);
    view_.setText(kBoardCombo, kBoardPrompt);
    view_.setColor(kCableCombo, kYellow);
    view_.setColor(kBoardCombo, kYellow);

    items_.clear();
    auto lines = wiring::readList(kWiringFile);
    if (!lines) {
        setLabel("Create base of connections KB90XX !");
        view_.setColor(kCableCombo, kButtonFace);
        view_.setColor(kBoardCombo, kButtonFace);
        return;
    }
    view_.setEnabled(kBoardCombo, true);
    view_.setEnabled(kCableCombo, true);
    view_.setEnabled(kPin1Box, true);
    view_.setText(kCableCombo, kCablePrompt);
    view_.setText(kBoardCombo, kBoardPrompt);
    setLabel("");
    items_.reserve(lines->size() + 1);
    items_.push_back(kKestraItem);
    for (auto& l : *lines) items_.push_back(std::move(l));
}

// A transfer owns the board choice (the adapter brackets it): the wiring
// controls wait with the buttons, and come back as the choice left them.
void EneCore::enableWiringControls(bool on) {
    const bool lists = on && wiringLoaded();
    view_.setEnabled(kBoardCombo, lists);
    view_.setEnabled(kCableCombo, lists && !adapterChosen());
    view_.setEnabled(kPin1Box, lists && !adapterChosen());
}

void EneCore::ComboBox_KB901XSelect(int index) {
    if (index < 0 || !busy_.idle()) return;
    boardIndex_ = index;
    if (index >= 1) {
        view_.setEnabled(kCableCombo, true);
        view_.setEnabled(kPin1Box, true);
        view_.setColor(kBoardCombo, kButtonFace);
        if (cableIndex_ >= 0) runWiringEvaluation();
        return;
    }
    view_.setEnabled(kCableCombo, false);
    view_.setEnabled(kPin1Box, false);
    view_.setColor(kBoardCombo, kButtonFace);
    view_.setColor(kCableCombo, kButtonFace);
    if (link_.open(mode(ModeId::Ene).open, [this](const std::string& s) { view_.log(s); }) != OpenResult::Ready)
        return;
    if (!detectAdapter()) {
        setLabel(" Error sending settings");
    } else {
        setLabel(" Selected KESTRA board ");
        view_.messageBox(BoxKind::Information, kestra12_ ? " Please connect\n B13 C14 D17 E12 \n then  READ or WRITE!"
                                                         : " Please connect\n B20 C19 D16 E21 \n then  READ or WRITE!");
    }
    link_.close();
}

void EneCore::ComboBox_KB901X_FFCSelect(int index) {
    if (index < 0 || index >= 8 || !busy_.idle()) return;
    cableIndex_ = index;
    view_.setColor(kCableCombo, kButtonFace);
    if (boardIndex_ >= 0) runWiringEvaluation();
}

void EneCore::CheckBox_KB901XClick(bool checked) {
    if (!busy_.idle()) return;
    checked_ = checked;
    if (cableIndex_ >= 0 && boardIndex_ >= 0) runWiringEvaluation();
}

void EneCore::runWiringEvaluation() {
    if (boardIndex_ < 0 || static_cast<size_t>(boardIndex_) >= items_.size() || cableIndex_ < 0) return;
    const WiringHint h = evaluateWiring(items_[static_cast<size_t>(boardIndex_)],
                                        cableContacts(kCableItems[cableIndex_]), checked_);
    if (h.kind == WiringHint::Kind::Fault) {
        view_.messageBox(BoxKind::Error, h.text);
        return;
    }
    setLabel(h.text);
}

bool EneCore::detectAdapter() {
    std::vector<uint8_t> a;
    if (link_.sendAwaitCount({'V', '9'}, 3, true, a, Deadlines::kByteAnswerMs) != Xfer::Ok) {
        view_.log("KESTRA: no answer from the programmer");
        return false;
    }
    const bool g12 = (a[0] & 0x40) == 0;
    const bool g3132 = (a[1] & 0x02) == 0;
    if (!g12 && !g3132) {
        view_.log("KESTRA not found! Connected?");
        return false;
    }
    if (g12 && g3132) {
        view_.log("ERROR connected to KESTRA!");
        return false;
    }
    kestra12_ = g12;
    view_.log(g12 ? "KESTRA found! (1-2)" : "KESTRA found! (31-32)");
    if (!ack({'V', static_cast<uint8_t>(g12 ? '5' : '6')})) {
        view_.log("KESTRA: no answer from the programmer");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- transfers

bool EneCore::ack(std::initializer_list<uint8_t> cmd) {
    uint8_t a = 0;
    return link_.sendAwaitByte(cmd, a) == Xfer::Ok;
}

EneCore::Check EneCore::eneCheck(bool adapter) {
    Check r = Check::Lost;
    uint8_t v = 0;
    if ((!adapter || ack({'V', '1'})) && link_.sendAwaitByte({'v'}, v) == Xfer::Ok) {
        if (v == 0xFF) {
            view_.log("");
            view_.log("No connection to the KB90XX!");
            view_.log("Check the settings !");
            view_.log("Motherboard is connected / powered ?");
            r = Check::NoChip;
        } else {
            view_.log("Communication with KB90XX installed.");
            view_.log("Embedded Debug Version ID = " + std::to_string(v));
            r = Check::Ok;
        }
    } else {
        view_.log(kLostLine);
    }
    if (adapter) ack({'V', '0'});
    return r;
}

// Steps common to both buttons: busy check, link, ENE check, success signal.
bool EneCore::beginOperation() {
    if (!busy_.idle()) return false;
    outcome_ = Outcome::Failed;
    OpenOptions opt = mode(ModeId::Ene).open;
    opt.eventChar = kGoodStatus;
    if (link_.open(opt, [this](const std::string& s) { view_.log(s); }) != OpenResult::Ready) return false;
    if (eneCheck(adapterChosen()) != Check::Ok) {
        signal('O');
        link_.close();
        return false;
    }
    if (!ack({'I'})) {
        view_.log(kLostLine);
        link_.close();
        return false;
    }
    return true;
}

// Adapter on before the transfer; a silent jig ends it at once.
bool EneCore::startTransferCommon(bool adapter) {
    transferAdapter_ = adapter;
    if (adapter && !ack({'V', '1'})) {
        lost();
        return false;
    }
    return true;
}

void EneCore::KB901X_READClick() {
    if (!beginOperation()) return;
    const auto path = view_.askSavePath();
    if (!path) {
        view_.log("Write to file is interrupted.");
        view_.log("");
        link_.close();
        return;
    }
    if (!file_.create(*path)) {
        view_.messageBox(BoxKind::Error, "Ошибка создания файла.");
        link_.close();
        return;
    }
    view_.log("Save the file: ");
    view_.log(*path);
    view_.gaugeColor(kGreen);
    view_.gaugePos(0);
    view_.log("Reading KB90XX ...");
    view_.setEnabled(kWriteButton, false);
    view_.setEnabled(kExitButton, false);
    enableWiringControls(false);
    view_.timeStamp();
    if (!startTransferCommon(adapterChosen())) return;
    busy_.set(Busy::Reading);
    block_ = 1;
    worker_.start();
    // The worker only polls the receive queue; the link is handed to it once
    // the first block request is out.
    link_.write({'R'});
    handLinkToWorker();
}

void EneCore::KB901X_WRITEClick() {
    if (!beginOperation()) return;
    const auto path = view_.askOpenPath();
    if (!path) {
        view_.log("Write operation is interrupted.");
        link_.close();
        return;
    }
    // A shorter file leaves erased flash (0xFF) behind it, never the previous file's bytes;
    // an empty file, or a name that is no file, is refused before any block goes out.
    if (!image::load(*path, image_, kImageSize).ok()) {
        view_.messageBox(BoxKind::Error, "Error open file!");
        link_.close();
        return;
    }
    view_.log("Write in KB90XX file:");
    view_.log(*path);
    view_.gaugeColor(kRed);
    view_.gaugePos(0);
    view_.log("There is a writing KB90XX...");
    view_.setEnabled(kReadButton, false);
    view_.setEnabled(kExitButton, false);
    enableWiringControls(false);
    view_.timeStamp();
    if (!startTransferCommon(adapterChosen())) return;
    busy_.set(Busy::Writing);
    block_ = 1;
    pos_ = 0;
    worker_.start();
}

void EneCore::Execute() {
    if (busy_.is(Busy::Reading)) {
        takeLink();
        readBlocks();
    } else if (busy_.is(Busy::Writing)) {
        writeBlocks();
    }
}

// The target is gone or the jig stopped answering within its bound.
void EneCore::lost() {
    view_.log(kLostLine);
    closeFile();
    signal('O');
    endOfTransfer(false);
}

void EneCore::readBlocks() {
    while (busy_.is(Busy::Reading)) {
        const Xfer x = link_.awaitCount(kAnswer, true, xbuf_, Deadlines::kBlockAnswerMs);
        if (x != Xfer::Ok) {
            if (x == Xfer::Overflow) view_.log("Block answer longer than 257 bytes: protocol error.");
            return lost();
        }
        const bool stored = file_.write(xbuf_.data(), kBlockSize);
        view_.gaugePos(kGaugeStep * block_);
        if (xbuf_[kBlockSize] == kLostStatus) return lost();
        if (!stored || (block_ == kBlocks && !file_.finish())) {
            // A dump that did not reach the disk must not pass for a good one.
            link_.write({'X'});
            view_.log("Error writing the file!");
            closeFile();
            signal('O');
            return endOfTransfer(false);
        }
        if (block_ == kBlocks) {
            link_.write({'X'});
            view_.log("Reading completed successfully.");
            closeFile();
            signal('I');
            return endOfTransfer(true);
        }
        link_.write({'N'});
        ++block_;
    }
}

void EneCore::writeBlocks() {
    while (block_ != kBlocks + 1) {
        uint8_t b = 0;
        if (link_.sendAwaitByte({'W'}, b) != Xfer::Ok) return lost();
        link_.write(image_.data() + pos_, kBlockSize);
        pos_ += kBlockSize;
        view_.gaugePos(kGaugeStep * block_);
        ++block_;
        if (link_.awaitByte(b) != Xfer::Ok || b == kLostStatus) return lost();
    }
    link_.write({'X'});
    view_.log("Writing is completed ...");
    view_.log("Verification ...");
    view_.gaugePos(0);
    view_.gaugeColor(kYellow);
    pos_ = 0;
    block_ = 0;
    for (int k = 0; k < kBlocks; ++k) {
        const Xfer x = link_.sendAwaitCount({'R'}, kAnswer, true, xbuf_, Deadlines::kBlockAnswerMs);
        if (x != Xfer::Ok) {
            if (x == Xfer::Overflow) view_.log("Block answer longer than 257 bytes: protocol error.");
            return lost();
        }
        if (xbuf_[kBlockSize] == kLostStatus) return lost();
        if (!std::equal(xbuf_.begin(), xbuf_.begin() + kBlockSize, image_.begin() + pos_)) {
            link_.write({'X'});
            view_.log("!!! Data is written incorrectly !!! ");
            signal('O');
            return endOfTransfer(false);
        }
        pos_ += kBlockSize;
        ++block_;
        view_.gaugePos(kGaugeStep * block_);
    }
    link_.write({'X'});
    view_.log("!!! Data is written correctly !!! ");
    signal('I');
    endOfTransfer(true);
}

void EneCore::endOfTransfer(bool ok) {
    if (transferAdapter_) ack({'V', '0'});
    closeAndStamp();
    view_.setEnabled(kReadButton, true);
    view_.setEnabled(kWriteButton, true);
    view_.setEnabled(kExitButton, true);
    enableWiringControls(true);
    finish(ok);
}

// ---------------------------------------------------------------- leaving

void EneCore::EXIT_KB901XClick() {
    if (!busy_.idle()) return;
    view_.clearLog();
    view_.gaugePos(0);
    boardIndex_ = -1;
    cableIndex_ = -1;
    // Without a wiring list nothing can be chosen: no prompt colour, no cable box.
    const uint32_t prompt = wiringLoaded() ? kYellow : kButtonFace;
    view_.setText(kCableCombo, kCablePrompt);
    view_.setColor(kCableCombo, prompt);
    view_.setEnabled(kCableCombo, wiringLoaded());
    view_.setText(kBoardCombo, kBoardPrompt);
    view_.setColor(kBoardCombo, prompt);
    view_.setEnabled(kPin1Box, wiringLoaded());
    view_.setEnabled(kResultLabel, true);
    leaveMode(view_, ModeId::Ene);
}

}  // namespace qj::ene
