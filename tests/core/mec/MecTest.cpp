#include <gtest/gtest.h>

#include <functional>

#include "modes/mec/MecCore.h"
#include "sim/MecModel.h"
#include "core/firmware/FirmwareRig.h"
#include "sim/SimFtdi.h"
#include "support/TestSupport.h"

using namespace qj;
using namespace qj::mec;
using Outcome = MecCore::Outcome;
using Lines = std::vector<std::string>;

namespace {

const std::string kPlain = "jig=V42_Q37";
const std::string kEpm = "jig=M328_EPM240_v19";

using qjt::randomImage;

// Presses buttons from inside the read when the gauge reaches a position, as a
// user does while the worker runs.
class PressingView : public qjt::RecordingView {
public:
    void gaugePos(int pos) override {
        RecordingView::gaugePos(pos);
        if (pos == at && press) press();
    }
    int at = -1;
    std::function<void()> press;
};

class Mec : public ::testing::Test {
protected:
    // A fresh virtual jig and window for each case.
    void rig(const std::string& spec) {
        core.reset();
        vp = std::make_unique<qjt::RecordingView>();
        sim = qjt::makeSim(spec);
        core = std::make_unique<MecCore>(*sim, *vp);
    }
    qjt::RecordingView& view() { return *vp; }
    // A blank MAIN block, so what a write leaves is exactly what it programmed.
    void blankRig(const std::string& spec) {
        qjt::writeBytes(dir.file("blank.bin"), std::vector<uint8_t>(kMainSize, 0xFF));
        rig(spec + ",mec-flash=" + dir.file("blank.bin"));
    }
    std::vector<uint8_t> flash(bool info = false) {
        std::vector<uint8_t> f;
        sim->withLock([&] {
            auto& m = sim->board().model<sim::MecModel>();
            f = info ? m.info : m.main;
        });
        return f;
    }
    bool check() {
        core->BitBtn_MEC16Click();
        return core->lastOutcome() == Outcome::Ok;
    }
    bool read(const std::string& file, bool info) {
        view().saveAnswers.push_back(file[0] == '/' ? file : dir.file(file));
        core->CheckBox_MEC16_RDClick(info);
        core->BitBtn_RD_MEC16Click();
        core->waitIdle();
        return core->lastOutcome() == Outcome::Ok;
    }
    bool erase(bool info) {
        core->CheckBox_erase_mec16Click(info);
        core->BitBtn_MEC16_ERASEClick();
        core->waitIdle();
        return core->lastOutcome() == Outcome::Ok;
    }
    bool write(const std::vector<uint8_t>& image) {
        qjt::writeBytes(dir.file("in.bin"), image);
        view().openAnswers.push_back(dir.file("in.bin"));
        core->BitBtn_MEC16_WRITEClick();
        core->waitIdle();
        return core->lastOutcome() == Outcome::Ok;
    }
    // The host's writes as text; a 256-byte page as "<page>".
    Lines sent() {
        Lines out;
        for (const auto& w : sim->hostWrites())
            out.push_back(w.size() == kPageSize ? "<page>" : std::string(w.begin(), w.end()));
        return out;
    }
    int count(const std::string& cmd) {
        const Lines s = sent();
        return static_cast<int>(std::count(s.begin(), s.end(), cmd));
    }
    Lines head(size_t n) {
        const Lines s = sent();
        return Lines(s.begin(), s.begin() + static_cast<long>(std::min(n, s.size())));
    }
    Lines after(const std::string& cmd) {  // the writes after the last `cmd`
        const Lines s = sent();
        const auto it = std::find(s.rbegin(), s.rend(), cmd);
        return Lines(it.base(), s.end());
    }
    Lines tail(size_t n) {
        const Lines l = view().lines();
        return Lines(l.end() - static_cast<long>(std::min(n, l.size())), l.end());
    }
    void expectIdle() {
        EXPECT_TRUE(core->idle());
        EXPECT_EQ(sim->openHandles(), 0u);
        EXPECT_TRUE(sim->errors().empty()) << sim->errors().front();
    }

    qjt::ScratchDir dir;
    std::unique_ptr<qjt::RecordingView> vp;
    std::unique_ptr<sim::SimFtdi> sim;
    std::unique_ptr<MecCore> core;
};

// ---------------------------------------------------------------- check

TEST_F(Mec, CheckOnBothJigKinds) {
    const Lines regs = {"REG FFFD00h -> 0000 0011h", "REG FF3908h -> 0000 0000h", "REG FF3910h -> 0000 0000h",
                        "REG FF390Ch -> 0000 0000h", "--> Erase and Write allowed (FWP pin).",
                        "--> Erase and Write boot allowed.", "Close VCOM port", "Current time <time>", ""};
    const struct {
        std::string spec, ident;
        Lines sent, idLines;
    } cases[] = {
        {kPlain, "V42_Q37",
         {"B", "1", "j", "rFFFD00", "rFF3908", "rFF3910", "rFF390C", "I", "0"},
         {"получили ответ после команды 1"}},
        {kEpm, "M328_EPM240_v19",
         {"B", "SR", "JX", "J1", "Mj", "MrFFFD00", "MrFF3908", "MrFF3910", "MrFF390C", "I", "J1", "JS"},
         {}},
    };
    for (const auto& c : cases) {
        rig(c.spec);
        core->FormCreate();
        EXPECT_TRUE(check()) << c.ident;
        EXPECT_EQ(sent(), c.sent) << c.ident;
        Lines want = {"Current time <time>", "Version FW -> " + c.ident, "Communication with programmer installed."};
        want.insert(want.end(), c.idLines.begin(), c.idLines.end());
        want.push_back("ID from MEC -> 0000 A4B7h");
        want.insert(want.end(), regs.begin(), regs.end());
        const Lines got = view().lines();
        EXPECT_EQ(Lines(got.begin() + 11, got.end()), want) << c.ident;
        EXPECT_EQ(got[0], "Не готова запись INFO блока ");
        EXPECT_EQ(got[10], "запись на тройку доделать!");
        EXPECT_TRUE(view().hasEvent("enable CheckBox_write_mec16 0"));
        EXPECT_EQ(view().gaugeMaximum(), kGaugeMax);
        expectIdle();
    }
}

TEST_F(Mec, ProtectionFromTheFourthStatusByte) {
    const struct {
        std::string keys;
        Lines lines;
        uint32_t fwp, lock;
        bool ok;
    } cases[] = {
        {"", {"--> Erase and Write allowed (FWP pin).", "--> Erase and Write boot allowed."}, kGreen, kGreen, true},
        {",mec-bootlock=1", {"--> Erase and Write allowed (FWP pin).", "--> Boot_Lock! (защита загрузочного блока)"},
         kGreen, kRed, false},
        {",mec-fwp=1", {"--> FW write protect! (FWP ножка)", "--> Erase and Write boot allowed."}, kRed, kGreen, false},
        {",mec-fwp=1,mec-bootlock=1",
         {"--> FW write protect! (FWP ножка)", "--> Boot_Lock! (защита загрузочного блока)"}, kRed, kRed, false},
    };
    for (const auto& c : cases) {
        rig(kPlain + c.keys);
        EXPECT_EQ(check(), c.ok) << c.keys;
        const Lines l = view().lines();
        EXPECT_EQ(Lines(l.end() - 5, l.end() - 3), c.lines) << c.keys;
        const Lines ev = view().events();
        // Black first, then the evaluation's colours.
        EXPECT_EQ(std::count(ev.begin(), ev.end(), "colour Shape_FWP_MEC16 0"), 1);
        EXPECT_EQ(Lines(ev.end() - 2, ev.end()),
                  (Lines{"colour Shape_FWP_MEC16 " + std::to_string(c.fwp),
                         "colour Shape_BootLock_MEC " + std::to_string(c.lock)}))
            << c.keys;
        EXPECT_EQ(sent().end()[-2], c.ok ? "I" : "O");
        expectIdle();
    }
}

TEST_F(Mec, LostRegistersDoNotStopTheCheck) {
    // FF3910h silent: its tag in its place, the next register still read.
    rig(kPlain + ",mec-silent-reg=FF3910");
    EXPECT_FALSE(check());
    Lines l = view().lines();
    const auto at = std::find(l.begin(), l.end(), "Потеряна связь с MEC (I102)");
    ASSERT_NE(at, l.end());
    EXPECT_EQ(at[-1], "REG FF3908h -> 0000 0000h");
    EXPECT_EQ(at[1], "REG FF390Ch -> 0000 0000h");
    EXPECT_EQ(sent().end()[-2], "O");
    expectIdle();

    // No MEC: every register lost; the shapes are painted from what the buffer holds (the FFh ID).
    rig(kPlain + ",mec=absent");
    EXPECT_FALSE(check());
    for (const char* tag : {"I100", "I101", "I102", "I103"})
        EXPECT_TRUE(view().hasLine(std::string("Потеряна связь с MEC (") + tag + ")")) << tag;
    EXPECT_TRUE(view().hasLine("ID from MEC -> FFFF FFFFh"));
    EXPECT_TRUE(view().hasEvent("colour Shape_FWP_MEC16 " + std::to_string(kRed)));
    EXPECT_TRUE(view().hasEvent("colour Shape_BootLock_MEC " + std::to_string(kRed)));
    expectIdle();
}

TEST_F(Mec, HelpAndExitWhenIdle) {
    rig(kPlain);
    core->BitBtn_MEC16_HELPClick();
    const Lines l = view().lines();
    ASSERT_EQ(l.size(), 16u);
    EXPECT_EQ(l[0], "Распиновка для расширенной версии (PCB2):");
    EXPECT_EQ(Lines(l.begin() + 1, l.begin() + 7),
              (Lines{"1-JRST mec16 (не обязательно!)", "2-TMS mec16", "3-TDO mec16", "5-TCLK mec16", "6-GND",
                     "7-TDI mec16"}));
    EXPECT_EQ(l.back(), "Не тестировалось с MEC1619 - могут быть проблемы с записью.");
    core->EXIT_MEC16Click();
    EXPECT_TRUE(view().hasEvent("show Form1 1"));
    EXPECT_TRUE(view().hasEvent("show MEC16_Form 0"));
    EXPECT_FALSE(view().hasEvent("clear log"));
    EXPECT_TRUE(sent().empty());
}

// ---------------------------------------------------------------- read

TEST_F(Mec, ReadMainOrMainAndInfoOnBothKinds) {
    for (const std::string& jig : {kPlain, kEpm}) {
        for (bool info : {false, true}) {
                rig(jig);
            ASSERT_TRUE(read("dump.bin", info)) << jig << info;
            auto want = flash();
            if (info) {
                const auto i = flash(true);
                want.insert(want.end(), i.begin(), i.end());
            }
            const auto dump = qjt::readBytes(dir.file("dump.bin"));
            EXPECT_EQ(dump.size(), info ? 198656u : 196608u);
            EXPECT_EQ(dump, want) << jig << info;
            const std::string p = jig == kEpm ? "M" : "";
            EXPECT_EQ(count(p + "R000000"), 1);
            EXPECT_EQ(count(p + "R040000"), info ? 1 : 0);
            EXPECT_EQ(count("N"), 191 + (info ? 1 : 0));
            EXPECT_TRUE(view().hasLine(info ? "Read FLASH and INFO to file" : "Read only FLASH to file"));
            const Lines end = {info ? "Read INFO complete." : "Read FLASH complete.",
                               "Write to reg FF3908h 100h",
                               "Write to reg FF3908h 0",
                               "Write to reg FF3910h 0",
                               "Close VCOM port",
                               "Current time <time>",
                               ""};
            EXPECT_EQ(tail(7), end);
            const Lines release = jig == kEpm ? Lines{"I", "J1", "JS"} : Lines{"I", "0"};
            EXPECT_EQ(after(p + "wFF391000000000"), release);
            EXPECT_EQ(view().gaugePosition(), 192);
            EXPECT_EQ(view().gaugeMaximum(), 192);
            EXPECT_EQ(view().gaugeColour(), kGreen);
            expectIdle();
        }
    }
}

TEST_F(Mec, StopDuringMainKeepsTheBlocksReadAndHelpAddsNothing) {
    PressingView pv;
    sim = qjt::makeSim(kPlain);
    core = std::make_unique<MecCore>(*sim, pv);
    size_t before = 0;
    pv.at = 5;
    pv.press = [&] {
        before = pv.lines().size();
        core->BitBtn_MEC16_HELPClick();
        core->BitBtn_MEC16Click();
        EXPECT_EQ(pv.lines().size(), before);
        core->EXIT_MEC16Click();
    };
    pv.saveAnswers.push_back(dir.file("dump.bin"));
    core->BitBtn_RD_MEC16Click();
    core->waitIdle();
    EXPECT_FALSE(pv.hasEvent("show Form1 1"));
    EXPECT_EQ(core->lastOutcome(), Outcome::Failed);
    EXPECT_EQ(qjt::readBytes(dir.file("dump.bin")).size(), 5u * 1024);
    EXPECT_EQ(after("X"), (Lines{"wFF390800000100", "wFF390800000000", "wFF391000000000", "0", "O"}));
    const Lines l = pv.lines();
    EXPECT_EQ(Lines(l.end() - 7, l.end()),
              (Lines{"User break read ...", "Write to reg FF3908h 100h", "Write to reg FF3908h 0",
                     "Write to reg FF3910h 0", "Close VCOM port", "Current time <time>", ""}));
}

TEST_F(Mec, ReadFaultsKeepTheBlocksReceived) {
    const struct {
        std::string keys;
        bool info;
        size_t kept;  // blocks in the file: a bad block is kept too
        std::string line;
        Lines afterX;
    } cases[] = {
        {",mec-lost-at=10", false, 10, "Lost communication with MEC (P103).", {"0", "O"}},
        {",mec-lost-at=193", true, 193, "Lost communication with MEC (P109).", {"O", "0"}},
        // The jig falls silent: the block's bound takes the lost path.
        {",mec-silent-after=7", false, 7, "Lost communication with MEC (P103).", {"0", "O"}},
        {",mec-overlong-at=3", false, 2, "Block answer longer than 1025 bytes: protocol error.", {"0", "O"}},
    };
    for (const auto& c : cases) {
        rig(kPlain + c.keys);
        EXPECT_FALSE(read("dump.bin", c.info));
        EXPECT_EQ(qjt::readBytes(dir.file("dump.bin")).size(), c.kept * 1024) << c.keys;
        EXPECT_TRUE(view().hasLine(c.line)) << c.keys;
        EXPECT_EQ(after("X"), c.afterX) << c.keys;
        expectIdle();
    }
}

TEST_F(Mec, InvalidIdLeavesAnEmptyFile) {
    rig(kPlain + ",mec=absent");
    EXPECT_FALSE(read("dump.bin", true));
    EXPECT_TRUE(std::filesystem::exists(dir.file("dump.bin")));
    EXPECT_EQ(qjt::readBytes(dir.file("dump.bin")).size(), 0u);
    EXPECT_EQ(tail(5), (Lines{"ID from MEC -> FFFF FFFFh", "Invalid ID. Read break!", "Close VCOM port",
                              "Current time <time>", ""}));
    EXPECT_EQ(sent(), (Lines{"B", "1", "j", "O", "0"}));
    expectIdle();
}

TEST_F(Mec, DialogAndFileFailuresCloseTheLink) {
    rig(kEpm);
    core->BitBtn_RD_MEC16Click();  // save dialog cancelled
    EXPECT_EQ(tail(2), (Lines{"User break", "Close VCOM port"}));
    view().saveAnswers.push_back(dir.file("no/such/dir/x.bin"));
    core->BitBtn_RD_MEC16Click();
    EXPECT_EQ(tail(2), (Lines{"Error create file", "Close VCOM port"}));
    EXPECT_EQ(sent(), (Lines{"B", "O", "B", "O"}));
    sim->clearRecord();
    // Write: cancelled, missing, empty, a folder: nothing reaches the MEC.
    qjt::writeBytes(dir.file("empty.bin"), {});
    const std::optional<std::string> answers[] = {std::nullopt, dir.file("missing.bin"), dir.file("empty.bin"),
                                                  dir.path().string()};
    for (const auto& a : answers) {
        view().openAnswers.push_back(a);
        core->BitBtn_MEC16_WRITEClick();
        EXPECT_EQ(tail(2), (Lines{a ? "Ошибка открытия файла" : "Операция записи прервана", "Закрыли VCOM порт"}));
    }
    EXPECT_EQ(count("O"), 4);
    EXPECT_EQ(count("B"), 4);
    EXPECT_EQ(sent().size(), 8u);
    EXPECT_FALSE(view().hasLine("Current time <time>"));
    // A dump that cannot be stored is not reported as read.
    bool stored = true;
    {
        qjt::FullDisk full(4096);
        stored = read(dir.file("full.bin"), false);
    }
    EXPECT_FALSE(stored);
    EXPECT_EQ(tail(7).front(), "Error writing the file!");
    EXPECT_EQ(sent().back(), "O");
    expectIdle();
}

// ---------------------------------------------------------------- erase

TEST_F(Mec, EraseMainOrMainAndInfo) {
    for (bool info : {false, true}) {
        rig(kEpm);
        const auto infoBefore = flash(true);
        ASSERT_TRUE(erase(info));
        EXPECT_EQ(flash(), std::vector<uint8_t>(kMainSize, 0xFF));
        EXPECT_EQ(flash(true), info ? std::vector<uint8_t>(kInfoSize, 0xFF) : infoBefore);
        const std::string area = info ? "00FC0000" : "00F80000";
        // The plain forms of the identification and the signals, on an EPM240 jig too.
        EXPECT_EQ(head(7),
                  (Lines{"B", "1", "j", "MrFF390C", "MwFF391000000001", "MwFF390800000107", "MwFF3904" + area}));
        EXPECT_EQ(after("MwFF391000000000"), (Lines{"I", "0"}));
        EXPECT_EQ(tail(7), (Lines{"Стирание завершено успешно.", "Записали в регистр FF3908h 100h",
                                  "Записали в регистр FF3908h 0", "Записали в регистр FF3910h 0", "Закрыли VCOM порт",
                                  "Текущее время  <time>", ""}));
        EXPECT_EQ(view().lines().front(), "Текущее время  <time>");
        EXPECT_GT(count("MrFF390C"), 10);  // polled while busy
        expectIdle();
    }
}

TEST_F(Mec, EraseRefusalsAndLimits) {
    const struct {
        std::string keys;
        Lines lines;
        bool anyRegisterWritten;
    } cases[] = {
        {",mec-fwp=1", {"--> СТОИТ ЗАЩИТА ЗАПИСИ ! (FWP ножка)", "--> Стирание и запись загрузочного блока разрешена",
                        "--> Каманда стирания отменена."}, false},
        // Protection unknown: cancelled, never judged from earlier bytes.
        {",mec-silent-reg=FF390C", {"Потеряна связь с MEC16 (E100)", "--> Каманда стирания отменена."}, false},
        {",mec-busy-stuck=1", {"Отправили команду стирания.", "Потеряна связь с MEC16 (E104)"}, true},
    };
    for (const auto& c : cases) {
        rig(kPlain + c.keys);
        const auto before = flash();
        const int64_t t0 = sim->clock().nowMs();
        EXPECT_FALSE(erase(false)) << c.keys;
        EXPECT_LT(sim->clock().nowMs() - t0, Deadlines::kChipEraseMs + 5000) << c.keys;
        const Lines l = view().lines();
        const auto at = std::search(l.begin(), l.end(), c.lines.begin(), c.lines.end());
        EXPECT_NE(at, l.end()) << c.keys;
        EXPECT_EQ(tail(3).front(), "Закрыли VCOM порт");
        const Lines s = sent();
        EXPECT_EQ(std::any_of(s.begin(), s.end(), [](const std::string& w) { return w[0] == 'w'; }),
                  c.anyRegisterWritten)
            << c.keys;
        EXPECT_EQ(s.back(), "0");
        EXPECT_EQ(count("I"), 0);
        if (!c.anyRegisterWritten) {
            EXPECT_EQ(s.end()[-2], "O");
            EXPECT_EQ(flash(), before);
        }
        expectIdle();
    }
}

// ---------------------------------------------------------------- write

TEST_F(Mec, WriteOfFilesOfEverySize) {
    const struct {
        size_t size;
        int pages;  // pages sent
        bool shortPage;
    } cases[] = {{196608, 768, false}, {1000, 4, true}, {512, 3, true}, {196608 + 5000, 768, false}};
    for (const auto& c : cases) {
        blankRig(kPlain);
        const auto image = randomImage(c.size, static_cast<uint32_t>(c.size));
        ASSERT_TRUE(write(image)) << c.size;
        EXPECT_EQ(count("<page>"), c.pages) << c.size;
        auto want = image;
        want.resize(kMainSize, 0xFF);
        EXPECT_EQ(flash(), want) << c.size;
        EXPECT_EQ(view().hasLine("-> Записываемый файл короче!"), c.shortPage) << c.size;
        EXPECT_EQ(view().hasLine("Write FLASH complete."), !c.shortPage) << c.size;
        EXPECT_TRUE(view().hasLine("Выбрана запись только MAIN блока"));
        EXPECT_EQ(head(8),
                  (Lines{"B", "1", "j", "rFF390C", "wFF391000000001", "wFF390800000106", "wFF390400000000", "W"}));
        EXPECT_EQ(after("wFF391000000000"), c.shortPage ? Lines{"I"} : (Lines{"I", "0"}));
        EXPECT_EQ(view().gaugePosition(), c.shortPage ? c.pages - 1 : 768) << c.size;
        EXPECT_EQ(view().gaugeColour(), kRed);
        expectIdle();
    }
}

TEST_F(Mec, PageNotAcknowledged) {
    const struct {
        size_t size;
        int noGAt;
        std::string line;
        Lines afterX;
    } cases[] = {
        {196608, 5, "Потеряна связь с MEC16 (W103)", {"O"}},
        // The short last page: closing steps as after a good page, but the failure signal.
        {1000, 4, "Потеряна связь с MEC16 (W102)", {"wFF390800000100", "wFF390800000000", "wFF391000000000", "O"}},
    };
    for (const auto& c : cases) {
        blankRig(kPlain + ",mec-no-g-at=" + std::to_string(c.noGAt));
        const auto image = randomImage(c.size, 77);
        EXPECT_FALSE(write(image));
        EXPECT_TRUE(view().hasLine(c.line));
        EXPECT_EQ(after("X"), c.afterX);
        EXPECT_EQ(count("<page>"), c.noGAt);
        auto want = image;
        want.resize(kMainSize, 0xFF);
        EXPECT_TRUE(std::equal(want.begin(), want.begin() + (c.noGAt - 1) * kPageSize, flash().begin()));
        EXPECT_FALSE(view().hasLine("Write FLASH complete."));
        expectIdle();
    }
}

// Through the USB bridge a command waits for its frame: the settle after the
// stop "X" drops late answers only, so the "X" still reaches the jig and the
// closing steps are answered.
TEST_F(Mec, StopCommandBeforeASettleReachesTheJigThroughTheBridge) {
    const struct {
        std::string keys;
        bool write;
        Lines afterX;
    } cases[] = {
        {",mec-lost-at=10", false, {"0", "O"}},
        {",mec-no-g-at=5", true, {"O"}},
    };
    for (const auto& c : cases) {
        blankRig(kPlain + ",usb=ft232r" + c.keys);
        EXPECT_FALSE(c.write ? write(randomImage(kMainSize, 5)) : read("dump.bin", false)) << c.keys;
        EXPECT_EQ(count("X"), 1) << c.keys;  // what the jig received, not what the host wrote
        EXPECT_EQ(after("X"), c.afterX) << c.keys;
        expectIdle();
    }
}

TEST_F(Mec, WriteRefusals) {
    const struct {
        std::string keys;
        Lines lines;
    } cases[] = {
        {",mec=absent", {"Получен ID от MEC16 -> FFFF FFFFh", "Неверный ID. Операция прервана!"}},
        {",mec-silent-reg=FF390C", {"Потеряна связь с MEC16 (TW001)"}},
        {",mec-bootlock=1",
         {"--> Стирание и запись разрешена (FWP ножка)", "--> Стоит Boot_Lock ! (защита загрузочного блока)",
          "--> Команда записи отменена (nFWP или BOOT_LOCK)"}},
    };
    for (const auto& c : cases) {
        rig(kPlain + c.keys);
        const auto before = flash();
        EXPECT_FALSE(write(randomImage(4096, 1)));
        const Lines l = view().lines();
        EXPECT_NE(std::search(l.begin(), l.end(), c.lines.begin(), c.lines.end()), l.end()) << c.keys;
        EXPECT_EQ(tail(3).front(), "Закрыли VCOM порт");
        const Lines s = sent();
        EXPECT_EQ(Lines(s.end() - 2, s.end()), (Lines{"O", "0"})) << c.keys;
        EXPECT_EQ(count("W"), 0);
        EXPECT_EQ(flash(), before);
        expectIdle();
    }
}

TEST_F(Mec, Epm240JigIgnoringThePlainFormsDoesNotHang) {
    // Erase judges the missing identification a fault; the write goes on with a zero ID.
    rig(kEpm + ",mec-plain-forms=ignore");
    const int64_t t0 = sim->clock().nowMs();
    EXPECT_FALSE(erase(false));
    EXPECT_TRUE(view().hasLine("ID готово 4 байта но сняли меньше ОШИБКА"));
    EXPECT_TRUE(view().hasLine("--> Каманда стирания отменена."));
    EXPECT_TRUE(view().hasLine("Получен ID от MEC16 -> 0000 0000h"));
    EXPECT_LT(sim->clock().nowMs() - t0, 10000);

    const auto image = randomImage(kPageSize * 3, 4);
    EXPECT_TRUE(write(image));
    EXPECT_EQ(after("MwFF391000000000"), (Lines{"JS", "I"}));
    expectIdle();
}

// Start "MEC jtag": a jig on another firmware gets Q37_jtag.hex, an old version 3
// jig its update; the window then talks to each in its forms.
TEST(MecStart, StartPutsTheJigOnItsFirmwareThenTheCheckUsesItsForms) {
    const struct {
        std::string spec, ident, idCommand;
    } cases[] = {{"jig=ENE_EDID_KB", "V42_Q37", "j"}, {"jig=M328_EPM240_v18,reset-after=800", "M328_EPM240_v19", "Mj"}};
    for (const auto& c : cases) {
        fwt::Rig r(c.spec);
        r.start("MEC jtag");
        ASSERT_EQ(r.ctl->Timer_RUNTimer(), "MEC16_Form") << c.spec;
        r.sim->clearRecord();
        qjt::RecordingView v;
        MecCore core(*r.sim, v);
        core.BitBtn_MEC16Click();
        EXPECT_EQ(core.lastOutcome(), Outcome::Ok) << c.spec;
        EXPECT_TRUE(v.hasLine("Version FW -> " + c.ident));
        const auto w = r.writes();
        EXPECT_NE(std::find(w.begin(), w.end(), c.idCommand), w.end()) << c.spec;
    }
}

}  // namespace
