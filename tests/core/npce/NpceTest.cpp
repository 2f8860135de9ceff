#include <gtest/gtest.h>

#include <sys/stat.h>

#include "modes/npce/NpceCore.h"
#include "sim/NpceModel.h"
#include "sim/SimFtdi.h"
#include "support/TestSupport.h"

using namespace qj;
using namespace qj::npce;
using Bytes = std::vector<uint8_t>;
using Writes = std::vector<Bytes>;
using Outcome = NpceCore::Outcome;

namespace {

using qjt::randomImage;

Writes readTrace() {
    Writes w = {{'B'}, {'Z'}, {'I'}};
    for (int i = 0; i < 256; ++i) w.push_back({'r'});
    for (Bytes b : {Bytes{'-'}, Bytes{'I'}, Bytes{'V', '2'}}) w.push_back(b);
    return w;
}

Writes writeTrace(const Bytes& image) {
    Writes w = {{'B'}, {'Z'}, {'I'}, {'e'}, {'x'}};
    for (int k = 0; k < 512; ++k) {
        w.push_back({'w'});
        w.emplace_back(image.begin() + k * 256, image.begin() + (k + 1) * 256);
    }
    w.push_back({0x07});
    for (int k = 0; k < 256; ++k) w.push_back({'r'});
    for (Bytes b : {Bytes{'-'}, Bytes{'I'}, Bytes{'V', '2'}}) w.push_back(b);
    return w;
}

Writes tail(const Writes& w, size_t n) { return Writes(w.end() - static_cast<long>(std::min(n, w.size())), w.end()); }

class Npce : public ::testing::Test {
protected:
    // A fresh virtual jig, view and window core.
    void rig(const std::string& spec, qjt::RecordingView* v = nullptr) {
        core.reset();
        sim = qjt::makeSim("jig=NPCE_Q37," + spec);
        ownView = std::make_unique<qjt::RecordingView>();
        view = v ? v : ownView.get();
        core = std::make_unique<NpceCore>(*sim, *view);
    }
    Bytes flash() {
        Bytes f;
        sim->withLock([&] { f = sim->board().model<sim::NpceModel>().flash; });
        return f;
    }
    bool read(const std::string& file = "dump.bin") {
        view->saveAnswers.push_back(dir.file(file));
        core->NPCE_READClick();
        core->waitIdle();
        return core->lastOutcome() == Outcome::Ok;
    }
    bool write(const Bytes& image) {
        qjt::writeBytes(dir.file("in.bin"), image);
        view->openAnswers.push_back(dir.file("in.bin"));
        core->NPCE_WRITEClick();
        core->waitIdle();
        return core->lastOutcome() == Outcome::Ok;
    }
    // The log's last line before the closing time stamp.
    std::string lastMessage() {
        const auto ls = view->lines();
        for (auto it = ls.rbegin(); it != ls.rend(); ++it)
            if (*it != "Current time  <time>") return *it;
        return "";
    }
    // Idle and usable: link closed, buttons enabled, no protocol error in the virtual jig.
    void expectIdle(const std::string& why = "") {
        EXPECT_TRUE(core->idle()) << why;
        EXPECT_EQ(sim->openHandles(), 0u) << why;
        const auto ev = view->events();
        for (const char* b : {"NPCE_READ", "NPCE_WRITE", "EXIT_NPCE"}) {
            const std::string on = std::string("enable ") + b + " 1", off = std::string("enable ") + b + " 0";
            const auto lastOn = std::find(ev.rbegin(), ev.rend(), on), lastOff = std::find(ev.rbegin(), ev.rend(), off);
            EXPECT_TRUE(lastOff == ev.rend() || lastOn < lastOff) << b << " left disabled " << why;
        }
        EXPECT_TRUE(sim->errors().empty()) << why;
    }

    qjt::ScratchDir dir;
    std::unique_ptr<qjt::RecordingView> ownView;
    qjt::RecordingView* view = nullptr;
    std::unique_ptr<sim::SimFtdi> sim;
    std::unique_ptr<NpceCore> core;
};

TEST_F(Npce, TargetCheck) {
    const std::string notFound = "No connection to the NPCE! reading ID -> ";
    const std::string solder = "Check soldering NPCE or chip damaged.";
    struct Case {
        std::string spec;
        bool adapter, write;
        Writes bytes;
        std::vector<std::string> lines;  // after the identification
        std::string box;
    };
    const std::vector<Case> cases = {
        {"", false, false, {{'B'}, {'Z'}, {'I'}, {'V', '2'}},
         {"Communication with NPCE installed.", "ID FLASH EFh 4012h ", "Write to file is interrupted."}, ""},
        {"kestra=1-2", true, false, {{'B'}, {'9'}, {'V', '0'}, {'Z'}, {'I'}, {'V', '2'}},
         {"KESTRA found! (1-2)", "Communication with NPCE installed.", "ID FLASH EFh 4012h ",
          "Write to file is interrupted."}, ""},
        {"kestra=31-32,npce=absent", true, false, {{'B'}, {'9'}, {'V', '1'}, {'Z'}, {'O'}, {'V', '2'}},
         {"KESTRA found! (31-32)", notFound + "FFFFFF", solder}, kHint3132},
        {"kestra=1-2,npce-id=EF4013", true, true, {{'B'}, {'9'}, {'V', '0'}, {'Z'}, {'O'}, {'V', '2'}},
         {"KESTRA found! (1-2)", notFound + "EF4013", solder}, kHint12},
        {"", true, false, {{'B'}, {'9'}, {'O'}, {'V', '2'}}, {"KESTRA not found! Connected?"}, kHint3132},
        {"kestra=both", true, true, {{'B'}, {'9'}, {'O'}, {'V', '2'}}, {"ERROR connected to KESTRA!"}, kHint3132},
        {"npce-id=C22012", false, true, {{'B'}, {'Z'}, {'O'}, {'V', '2'}}, {notFound + "C22012", solder}, ""},
        // A jig that stops answering: the check ends within its bound.
        {"npce-silent-after=0", false, false, {{'B'}, {'Z'}, {'O'}, {'V', '2'}}, {notFound, solder}, ""},
    };
    for (const auto& c : cases) {
        const std::string name = c.spec + (c.adapter ? " adapter" : "") + (c.write ? " write" : " read");
        rig(c.spec);
        core->CheckBox_EXTBOARDClick(c.adapter);
        if (c.write) core->NPCE_WRITEClick();
        else core->NPCE_READClick();
        EXPECT_EQ(sim->hostWrites(), c.bytes) << name;
        const auto ls = view->lines();  // an empty line, then the three lines of the jig's identification
        ASSERT_GE(ls.size(), 4u) << name;
        EXPECT_EQ(ls[0], "") << name;
        EXPECT_EQ(std::vector<std::string>(ls.begin() + 4, ls.end()), c.lines) << name;
        const auto boxes = view->boxes();
        if (c.box.empty()) {
            EXPECT_TRUE(boxes.empty()) << name;
        } else {
            ASSERT_EQ(boxes.size(), 1u) << name;
            EXPECT_EQ(boxes[0].text, c.box) << name;
            EXPECT_EQ(boxes[0].kind, c.write ? BoxKind::Error : BoxKind::Information) << name;
        }
        EXPECT_EQ(core->lastOutcome(), Outcome::Failed) << name;
        EXPECT_LT(sim->clock().nowMs(), 10000) << name;
        expectIdle(name);
    }
}

TEST_F(Npce, ReadStreamsTheFlashIntoTheFile) {
    rig("");
    ASSERT_TRUE(read());
    EXPECT_EQ(sim->hostWrites(), readTrace());
    EXPECT_EQ(qjt::readBytes(dir.file("dump.bin")), flash());
    const auto ls = view->lines();
    const std::vector<std::string> want = {"ID FLASH EFh 4012h ", "Save the file: ", dir.file("dump.bin"),
                                           "Reading ...", "Current time  <time>", "Reading complete ...",
                                           "Current time  <time>"};
    EXPECT_EQ(std::vector<std::string>(ls.end() - static_cast<long>(want.size()), ls.end()), want);
    EXPECT_EQ(view->gaugePosition(), 512);
    EXPECT_EQ(view->gaugeColour(), kGreen);
    EXPECT_TRUE(view->hasEvent("enable NPCE_WRITE 0"));
    EXPECT_FALSE(view->hasEvent("enable NPCE_READ 0"));
    expectIdle();
}

TEST_F(Npce, ReadFailures) {
    struct Case {
        std::string spec;
        std::string extraLine;  // logged before the failure line, if any
        size_t fileBytes;
    };
    const std::vector<Case> cases = {
        {"npce-end-silent=1", "Reading complete ...", 131072},  // no end-of-read answer is no success
        {"npce-end-status=0", "Reading complete ...", 131072},
        {"npce-overlong-at=3", "Block answer longer than 512 bytes: protocol error.", 1024},
        {"npce-silent-after=12", "", 512 * 11},  // 'Z' and 11 block requests answered
    };
    for (const auto& c : cases) {
        rig(c.spec);
        EXPECT_FALSE(read()) << c.spec;
        EXPECT_EQ(lastMessage(), kCorruptedLine) << c.spec;
        if (!c.extraLine.empty()) { EXPECT_TRUE(view->hasLine(c.extraLine)) << c.spec; }
        EXPECT_EQ(tail(sim->hostWrites(), 2), (Writes{{'O'}, {'V', '2'}})) << c.spec;
        EXPECT_EQ(qjt::readBytes(dir.file("dump.bin")).size(), c.fileBytes) << c.spec;
        expectIdle(c.spec);
    }
}

TEST_F(Npce, DumpThatCannotBeStoredIsNotReportedAsRead) {
    rig("");
    view->saveAnswers.push_back(dir.file("full.bin"));
    {
        qjt::FullDisk full(4096);
        core->NPCE_READClick();
        core->waitIdle();
    }
    EXPECT_EQ(core->lastOutcome(), Outcome::Failed);
    EXPECT_EQ(lastMessage(), "Error writing the file!");
    EXPECT_EQ(tail(sim->hostWrites(), 3), (Writes{{'-'}, {'O'}, {'V', '2'}}));
    expectIdle();
}

TEST_F(Npce, WritePadsAShortFileErasesWritesAndVerifies) {
    rig("");
    const Bytes file = randomImage(1000, 3);
    ASSERT_TRUE(write(file));
    Bytes image = file;
    image.resize(131072, 0xFF);
    EXPECT_EQ(flash(), image);
    EXPECT_EQ(sim->hostWrites(), writeTrace(image));
    const auto ls = view->lines();
    const std::vector<std::string> want = {
        "Write to NPCE file:", dir.file("in.bin"), "Current time  <time>", "Erase ...", "Check clear data ...",
        "All data is clear!", "Write ...", "Verify ...", "Nuvoton chip is programmed succesfully!",
        "Current time  <time>"};
    EXPECT_EQ(std::vector<std::string>(ls.end() - static_cast<long>(want.size()), ls.end()), want);
    EXPECT_TRUE(view->hasEvent("gauge colour " + std::to_string(kRed)));
    EXPECT_TRUE(view->hasEvent("gauge pos 511"));  // one step a page
    EXPECT_EQ(view->gaugeColour(), kYellow);
    EXPECT_EQ(view->gaugePosition(), 512);
    EXPECT_TRUE(view->hasEvent("enable NPCE_READ 0"));
    EXPECT_FALSE(view->hasEvent("enable NPCE_WRITE 0"));
    expectIdle();
}

TEST_F(Npce, WriteFailures) {
    struct Case {
        std::string spec;
        std::string line;
        Writes end;  // the last writes
    };
    const std::vector<Case> cases = {
        {"npce-erase-fail=1", "** Lost contact with the chip or ERROR timeout **", {{'e'}, {'O'}, {'V', '2'}}},
        // An erase beyond its bound takes the same path.
        {"npce-erase-ms=61000", "** Lost contact with the chip or ERROR timeout **", {{'e'}, {'O'}, {'V', '2'}}},
        {"npce-not-blank=70000", "** Data not clear !**", {{'x'}, {'O'}, {'V', '2'}}},
        {"npce-page-fail-at=7", "** ERROR write or ERROR timeout **", {{'w'}, {}, {0x07}, {'V', '2'}, {'O'}}},
        // The protocol error path sends neither a signal nor the release.
        {"npce-no-star-at=7", "** HOST/Q37 Protocol ERROR **", {{'w'}, {}, {'w'}}},
        // Silent from the 11th block of the verify on.
        {"npce-silent-after=526", kCorruptedLine, {{'r'}, {'-'}, {'O'}, {'V', '2'}}},
        // The last cell stays erased: the last block differs, after all 256 came.
        {"npce-stuck=131071", "*** Data is written incorrectly ***", {{'r'}, {'-'}, {'O'}, {'V', '2'}}},
    };
    Bytes image = randomImage(131072, 5);
    image.back() = 0x00;
    for (const auto& c : cases) {
        rig(c.spec);
        EXPECT_FALSE(write(image)) << c.spec;
        EXPECT_EQ(lastMessage(), c.line) << c.spec;
        const Writes w = sim->hostWrites();
        Writes got = tail(w, c.end.size());
        for (size_t i = 0; i < got.size(); ++i)
            if (c.end[i].empty()) got[i].clear();  // a page's data, not compared
        EXPECT_EQ(got, c.end) << c.spec;
        if (c.spec == "npce-stuck=131071") { EXPECT_EQ(std::count(w.begin(), w.end(), Bytes{'r'}), 256); }
        if (c.spec == "npce-no-star-at=7") { EXPECT_EQ(std::count(w.begin(), w.end(), Bytes{'w'}), 7); }
        expectIdle(c.spec);
    }
}

TEST_F(Npce, CancelsAndFileErrorsStopBeforeTheFlash) {
    rig("");
    const Bytes before = flash();
    qjt::writeBytes(dir.file("empty.bin"), {});
    struct Case {
        bool write;
        std::optional<std::string> path;
        std::string line, box;
    };
    const std::vector<Case> cases = {
        {false, std::nullopt, "Write to file is interrupted.", ""},
        {true, std::nullopt, "Write operation is interrupted.", ""},
        {false, dir.file("no/such/dir/x.bin"), "", "Ошибка создания файла."},
        {true, dir.file("missing.bin"), "", "Ошибка открытия файла."},
        {true, dir.file("empty.bin"), "", "Ошибка открытия файла."},  // nothing to write: not an erased chip
        {true, dir.path().string(), "", "Ошибка открытия файла."},
        {false, dir.file("fifo"), "", "Ошибка создания файла."},  // never waits for a reader
        {false, dir.path().string(), "", "Ошибка создания файла."},
        {true, dir.file("fifo"), "", "Ошибка открытия файла."},
    };
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const auto& c : cases) {
        sim->clearRecord();
        const size_t boxesBefore = view->boxes().size();
        (c.write ? view->openAnswers : view->saveAnswers).push_back(c.path);
        if (c.write) core->NPCE_WRITEClick();
        else core->NPCE_READClick();
        const std::string name = c.path.value_or("cancel");
        EXPECT_EQ(sim->hostWrites(), (Writes{{'B'}, {'Z'}, {'I'}, {'V', '2'}})) << name;
        if (!c.line.empty()) { EXPECT_EQ(view->lines().back(), c.line) << name; }
        const auto boxes = view->boxes();
        EXPECT_EQ(boxes.size() - boxesBefore, c.box.empty() ? 0u : 1u) << name;
        if (!c.box.empty()) { EXPECT_EQ(boxes.back().text, c.box) << name; }
        expectIdle(name);
    }
    EXPECT_EQ(flash(), before);
}

// Presses every button from inside the running transfer.
class PressingView : public qjt::RecordingView {
public:
    void gaugePos(int pos) override {
        RecordingView::gaugePos(pos);
        if (pos != 100 || !core) return;
        busySeen = core->busy();
        core->NPCE_READClick();
        core->NPCE_WRITEClick();
        core->EXIT_NPCEClick();
    }
    NpceCore* core = nullptr;
    std::string busySeen;
};

TEST_F(Npce, ButtonsAndExitDoNothingWhileBusy) {
    PressingView pv;
    rig("", &pv);
    pv.core = core.get();
    ASSERT_TRUE(read());
    EXPECT_EQ(pv.busySeen, "Reading_NPCE");
    EXPECT_EQ(pv.saveAsked, 1);
    EXPECT_EQ(pv.openAsked, 0);
    EXPECT_FALSE(pv.hasEvent("show Form1 1"));
    EXPECT_EQ(sim->hostWrites(), readTrace());
    // Idle, EXIT leaves and keeps the log and the gauge.
    core->EXIT_NPCEClick();
    EXPECT_TRUE(pv.hasEvent("show Form1 1") && pv.hasEvent("show NPCE_FORM 0"));
    EXPECT_FALSE(pv.hasEvent("clear log"));
    EXPECT_EQ(pv.gaugePosition(), 512);
}

}  // namespace
