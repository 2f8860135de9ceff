#include "modes/npce/NpceCore.h"

#include <algorithm>
#include <iterator>

#include "jig/Text.h"
#include "modes/Modes.h"

namespace qj::npce {

namespace {
constexpr uint8_t kEndOfWrite = 0x07;
constexpr uint8_t kPageReady = '*';
}  // namespace

NpceCore::NpceCore(FtdiApi& api, ModeView& view)
    : Operations(api, view), image_(kImageSize, 0xFF), xbuf_(kReadBlock) {}

NpceCore::~NpceCore() { worker_.join(); }

bool NpceCore::ack(std::initializer_list<uint8_t> cmd) {
    uint8_t a = 0;
    return link_.sendAwaitByte(cmd, a) == Xfer::Ok;
}

// ---------------------------------------------------------------- target check

// Which way round the adapter sits: its two sense inputs read 0 where a
// contact pair is grounded.
bool NpceCore::detectAdapter() {
    std::vector<uint8_t> a;
    if (link_.sendAwaitCount({'9'}, 3, true, a, Deadlines::kByteAnswerMs) != Xfer::Ok) {
        link_.purge();
        view_.log(kNoAnswerLine);
        return false;
    }
    const int found = ((a[0] & 0x40) == 0 ? 1 : 0) + ((a[1] & 0x02) == 0 ? 2 : 0);
    if (found == 0) {
        view_.log("KESTRA not found! Connected?");
        return false;
    }
    if (found == 3) {
        view_.log("ERROR connected to KESTRA!");
        return false;
    }
    kestra12_ = found == 1;
    view_.log(kestra12_ ? "KESTRA found! (1-2)" : "KESTRA found! (31-32)");
    if (!ack({'V', static_cast<uint8_t>(kestra12_ ? '0' : '1')})) {
        view_.log(kNoAnswerLine);
        return false;
    }
    return true;
}

bool NpceCore::targetCheck() {
    if (extBoard_ && !detectAdapter()) {
        signal('O');
        return false;
    }
    std::vector<uint8_t> id;
    const Xfer x = link_.sendAwaitCount({'Z'}, 4, true, id, Deadlines::kByteAnswerMs);
    if (x == Xfer::Ok && std::equal(std::begin(kJedecId), std::end(kJedecId), id.begin())) {
        view_.log("Communication with NPCE installed.");
        view_.log("ID FLASH EFh 4012h ");
        signal('I');
        return true;
    }
    if (x != Xfer::Ok) {
        // A short or overlong answer: show what came, drop the rest.
        uint32_t rx = 0, tx = 0, got = 0;
        link_.status(rx, tx);
        id.assign(std::min<uint32_t>(rx, 3), 0);
        if (!id.empty()) link_.read(id.data(), static_cast<uint32_t>(id.size()), got);
        id.resize(got);
        link_.purge();
    }
    id.resize(std::min<size_t>(id.size(), 3));
    view_.log("No connection to the NPCE! reading ID -> " + hexBytes(id));
    view_.log("Check soldering NPCE or chip damaged.");
    signal('O');
    return false;
}

bool NpceCore::beginOperation(BoxKind hintKind) {
    if (!busy_.idle()) return false;
    outcome_ = Outcome::Failed;
    view_.log("");
    if (link_.open(mode(ModeId::Npce).open, view_) != OpenResult::Ready) return false;
    if (targetCheck()) return true;
    // The hint follows the last orientation found, even when this detection failed.
    if (extBoard_) view_.messageBox(hintKind, kestra12_ ? kHint12 : kHint3132);
    endWithoutTransfer();
    return false;
}

void NpceCore::endWithoutTransfer() {
    (void)ack({'V', '2'});
    link_.close();
}

void NpceCore::enableButtons() {
    view_.setEnabled(kWriteButton, true);
    view_.setEnabled(kReadButton, true);
    view_.setEnabled(kExitButton, true);
}

void NpceCore::done(bool ok) {
    enableButtons();
    finish(ok);
}

// ---------------------------------------------------------------- read

std::optional<std::string> NpceCore::beginWithFile(BoxKind hintKind, bool save, const char* cancelLine) {
    if (!beginOperation(hintKind)) return std::nullopt;
    auto path = save ? view_.askSavePath() : view_.askOpenPath();
    if (!path) {
        view_.log(cancelLine);
        endWithoutTransfer();
    }
    return path;
}

void NpceCore::NPCE_READClick() {
    const auto path = beginWithFile(BoxKind::Information, true, "Write to file is interrupted.");
    if (!path) return;
    if (!file_.create(*path)) {
        view_.messageBox(BoxKind::Error, "Ошибка создания файла.");
        return endWithoutTransfer();
    }
    view_.log("Save the file: ");
    view_.log(*path);
    view_.gaugeColor(kGreen);
    view_.gaugePos(0);
    view_.log("Reading ...");
    view_.setEnabled(kWriteButton, false);
    view_.setEnabled(kExitButton, false);
    view_.timeStamp();
    // State first, then the worker, then the first request: the worker takes
    // the link only once that request is out.
    busy_.set(Busy::Reading_NPCE);
    counter_ = 1;
    worker_.start();
    link_.write({'r'});
    handLinkToWorker();
}

void NpceCore::Execute() {
    if (busy_.is(Busy::Reading_NPCE)) {
        takeLink();
        readBlocks();
    } else if (busy_.is(Busy::Write_NPCE)) {
        writeAll();
    }
}

void NpceCore::readBlocks() {
    bool stored = true;
    for (;;) {
        const Xfer x = link_.awaitCount(kReadBlock, true, xbuf_, Deadlines::kBlockAnswerMs);
        if (x != Xfer::Ok) {
            // A block that did not come whole: nothing after it can be trusted.
            link_.purge();
            if (x == Xfer::Overflow) view_.log("Block answer longer than 512 bytes: protocol error.");
            view_.log(kCorruptedLine);
            view_.timeStamp();
            return endOfRead(false);
        }
        stored = file_.write(xbuf_.data(), kReadBlock);
        view_.gaugePos(static_cast<int>(2 * counter_));
        if (counter_ == kReadBlocks || !stored) break;
        link_.write({'r'});
        ++counter_;
    }
    link_.write({'-'});
    if (stored) view_.log("Reading complete ...");
    view_.timeStamp();
    // No status, a short one or 0: the jig did not confirm the read.
    std::vector<uint8_t> st;
    const bool confirmed = link_.awaitCount(2, false, st, Deadlines::kByteAnswerMs) == Xfer::Ok && st[0] != 0;
    bool ok = false;
    if (!confirmed) view_.log(kCorruptedLine);
    else if (!stored || !file_.finish()) view_.log("Error writing the file!");  // a dump must reach the disk
    else ok = true;
    endOfRead(ok);
}

void NpceCore::endOfRead(bool ok) {
    signal(ok ? 'I' : 'O');
    (void)ack({'V', '2'});
    link_.close();
    file_.close();
    done(ok);
}

// ---------------------------------------------------------------- write

void NpceCore::NPCE_WRITEClick() {
    const auto path = beginWithFile(BoxKind::Error, false, "Write operation is interrupted.");
    if (!path) return;
    // An empty file would leave an erased chip behind a "success": refused like a missing one.
    if (!image::load(*path, image_, kImageSize, 0xFF).ok()) {
        view_.messageBox(BoxKind::Error, "Ошибка открытия файла.");
        return endWithoutTransfer();
    }
    view_.log("Write to NPCE file:");
    view_.log(*path);
    view_.gaugeColor(kRed);
    view_.gaugePos(0);
    view_.timeStamp();
    view_.log("Erase ...");
    view_.setEnabled(kReadButton, false);
    view_.setEnabled(kExitButton, false);
    // The erase takes seconds: it runs on the worker, so the window stays alive.
    busy_.set(Busy::Write_NPCE);
    worker_.start();
}

void NpceCore::writeAll() {
    if (eraseAndBlankCheck() && writePages()) verify();
}

bool NpceCore::eraseAndBlankCheck() {
    auto fail = [this](Xfer x, const char* line) {
        if (x != Xfer::Ok) link_.purge();
        view_.log(line);
        view_.timeStamp();
        signal('O');
        (void)ack({'V', '2'});
        link_.close();
        done(false);
        return false;
    };
    std::vector<uint8_t> a;
    Xfer x = link_.sendAwaitCount({'e'}, 2, true, a, Deadlines::kChipEraseMs);
    if (x != Xfer::Ok || a[0] != 1) return fail(x, "** Lost contact with the chip or ERROR timeout **");
    view_.log("Check clear data ...");
    x = link_.sendAwaitCount({'x'}, 2, true, a, Deadlines::kBlankCheckMs);
    if (x != Xfer::Ok || a[0] != 1) return fail(x, "** Data not clear !**");
    view_.log("All data is clear!");
    view_.log("Write ...");
    return true;
}

bool NpceCore::writePages() {
    offset_ = 0;
    counter_ = 1;
    // A page is two answers, the '*' and its status; the '*' is fixed.
    link_.eventChar(kPageReady);
    for (;;) {
        uint8_t b = 0;
        Xfer x = link_.sendAwaitByte({'w'}, b);
        if (x != Xfer::Ok || b != kPageReady) {
            // The jig is not where the host thinks it is: no signal, no release.
            if (x != Xfer::Ok) link_.purge();
            view_.log("** HOST/Q37 Protocol ERROR **");
            view_.timeStamp();
            link_.close();
            done(false);
            return false;
        }
        link_.write(image_.data() + offset_, kPage);
        offset_ += kPage;
        x = link_.drainTransmit();
        view_.gaugePos(static_cast<int>(counter_));
        if (x == Xfer::Ok) x = link_.awaitByte(b);
        if (x != Xfer::Ok || b == 0) {
            if (x != Xfer::Ok) link_.purge();
            (void)ack({kEndOfWrite});
            (void)ack({'V', '2'});
            signal('O');
            view_.log("** ERROR write or ERROR timeout **");
            view_.timeStamp();
            link_.close();
            done(false);
            return false;
        }
        if (counter_ == kPages) return true;
        ++counter_;
    }
}

void NpceCore::verify() {
    (void)ack({kEndOfWrite});
    view_.log("Verify ...");
    view_.gaugeColor(kYellow);
    view_.gaugePos(0);
    offset_ = 0;
    counter_ = 0;
    bool equal = true;
    link_.write({'r'});
    while (counter_ < kReadBlocks) {
        const Xfer x = link_.awaitCount(kReadBlock, true, xbuf_, Deadlines::kBlockAnswerMs);
        if (x != Xfer::Ok) {
            // A block short or long: the flash is not shown to hold the image.
            uint32_t rx = 0, tx = 0;
            link_.status(rx, tx);
            view_.log("Принято не 512 байт  " + std::to_string(rx));
            link_.purge();
            equal = false;
            break;
        }
        ++counter_;
        if (!std::equal(xbuf_.begin(), xbuf_.begin() + kReadBlock, image_.begin() + offset_)) equal = false;
        offset_ += kReadBlock;
        view_.gaugePos(static_cast<int>(2 * counter_));
        if (!equal) break;  // the first differing block ends the verify
        if (counter_ != kReadBlocks) link_.write({'r'});
    }
    std::vector<uint8_t> st;
    const bool confirmed =
        link_.sendAwaitCount({'-'}, 2, false, st, Deadlines::kByteAnswerMs) == Xfer::Ok && st[0] == 1;
    const bool ok = confirmed && equal;
    if (ok) view_.log("Nuvoton chip is programmed succesfully!");
    else if (confirmed) view_.log("*** Data is written incorrectly ***");
    else view_.log(kCorruptedLine);
    signal(ok ? 'I' : 'O');
    (void)ack({'V', '2'});
    view_.timeStamp();
    link_.close();
    done(ok);
}

// ---------------------------------------------------------------- leaving

void NpceCore::EXIT_NPCEClick() {
    if (!busy_.idle()) return;
    leaveMode(view_, ModeId::Npce);
}

}  // namespace qj::npce
