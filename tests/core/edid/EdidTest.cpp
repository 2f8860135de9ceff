#include <gtest/gtest.h>

#include <filesystem>

#include "jig/Text.h"
#include "modes/edid/EdidCore.h"
#include "sim/EepromModel.h"
#include "support/TestSupport.h"

using namespace qj;
using namespace qj::edid;
using qjt::makeSim;
using qjt::RecordingView;
using qjt::ScratchDir;
using Bytes = std::vector<uint8_t>;

namespace {
const std::string kFf = ": FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF ................";
const std::string kExample = ": 00 FF FF FF FF FF FF 00 41 42 43 00 00 00 00 00 ........ABC.....";

Bytes exampleRow() { return {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 'A', 'B', 'C', 0, 0, 0, 0, 0}; }

std::vector<std::string> dumpOf(const Bytes& img) { return hexDumpLines(img.data(), img.size()); }

// Notes what the user had seen, and whether the link was closed, when the save dialog opened.
class DialogWatch : public RecordingView {
public:
    sim::SimFtdi* sim = nullptr;
    std::vector<std::string> linesAtSave;
    size_t handlesAtSave = 99;
    std::optional<std::string> askSavePath() override {
        linesAtSave = lines();
        handlesAtSave = sim->openHandles();
        return RecordingView::askSavePath();
    }
};

Bytes sample() {
    auto e = sim::EepromModel::sampleEdid();
    return Bytes(e.begin(), e.end());
}

Bytes image(sim::SimFtdi& s) {
    auto& m = s.board().model<sim::EepromModel>();
    return Bytes(m.mem.begin(), m.mem.end());
}
}  // namespace

TEST(EdidDump, AllFfIsAnEmptyLineThenSixteenIdenticalRows) {
    std::vector<std::string> want(17, kFf);
    want[0] = "";
    EXPECT_EQ(dumpOf(Bytes(256, 0xFF)), want);
}

TEST(EdidDump, RowCharactersKeepOnlyDigitsLettersFullStopAndUnderscore) {
    EXPECT_EQ(dumpOf(exampleRow()), (std::vector<std::string>{"", kExample}));
    const Bytes mixed = {'0', '9', 'Z', 'a', 'z', '.', '_', ' ', '-', 0x7F, 0x80, 0xC1, 0x0A, '@', '[', '`'};
    EXPECT_EQ(dumpOf(mixed)[1], ": 30 39 5A 61 7A 2E 5F 20 2D 7F 80 C1 0A 40 5B 60 09Zaz._.........");
}

TEST(EdidRead, LogsTheDumpClosesTheLinkThenSavesExactly256Bytes) {
    ScratchDir dir;
    Bytes img(256, 0xFF);
    auto row = exampleRow();
    std::copy(row.begin(), row.end(), img.begin() + 32);
    qjt::writeBytes(dir.file("panel.bin"), img);
    auto sim = makeSim("eeprom=" + dir.file("panel.bin"));
    DialogWatch view;
    view.sim = sim.get();
    view.saveAnswers.push_back(dir.file("out.bin"));
    EdidCore core(*sim, view);

    EXPECT_TRUE(core.EDID_READClick());

    std::vector<std::string> want = {"Number of VCOM ports found on the machine: 1", "Version FW -> ENE_EDID_KB",
                                     "Communication with programmer installed.", "Reading EEPROM ...",
                                     "Reading from the EEPROM is completed successfully.", ""};
    for (int r = 0; r < 16; ++r) want.push_back(r == 2 ? kExample : kFf);
    want.push_back("");
    EXPECT_EQ(view.linesAtSave, want);
    EXPECT_EQ(view.handlesAtSave, 0u);
    want.push_back("Save the file: ");
    want.push_back(dir.file("out.bin"));
    EXPECT_EQ(view.lines(), want);
    EXPECT_EQ(qjt::readBytes(dir.file("out.bin")), img);
    EXPECT_EQ(sim->hostWrites(), (std::vector<Bytes>{{'B'}, {'E', 'r'}, {'I'}}));
}

TEST(EdidRead, CancelledSaveKeepsTheDumpAndWritesNoFile) {
    ScratchDir dir;
    auto sim = makeSim("");
    RecordingView view;  // no answer queued: the user cancels
    EdidCore core(*sim, view);
    EXPECT_FALSE(core.EDID_READClick());
    auto lines = view.lines();
    ASSERT_EQ(lines.size(), 4u + 1 + 17 + 1 + 1);
    EXPECT_EQ(lines[6], ": 00 FF FF FF FF FF FF 00 45 8D 6A 15 00 00 00 00 ........E.j.....");
    EXPECT_EQ(lines.back(), "Write to file is interrupted.");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(sim->openHandles(), 0u);
}

TEST(EdidRead, UncreatableFileShowsTheBoxAndAnEmptyLine) {
    ScratchDir dir;
    auto sim = makeSim("");
    RecordingView view;
    view.saveAnswers.push_back(dir.file("no-such-dir/out.bin"));
    EdidCore core(*sim, view);
    EXPECT_FALSE(core.EDID_READClick());
    ASSERT_EQ(view.boxes().size(), 1u);
    EXPECT_EQ(view.boxes()[0].kind, BoxKind::Error);
    EXPECT_EQ(view.boxes()[0].text, "Ошибка создания файла.");
    EXPECT_EQ(view.lines().back(), "");
}

// Every way a read fails: the message, the failure signal, the link closed, no dialog.
TEST(EdidRead, FailuresReportSignalAndClose) {
    struct Case {
        std::string spec;
        std::vector<std::string> tail;
    } cases[] = {
        {"eeprom-absent=1", {"EEPROM does not respond, check the connection !!!", ""}},
        {"eeprom-silent=1", {"EEPROM does not respond, check the connection !!!", ""}},
        {"eeprom-status=ZZ", {"Unknown EEPROM status: 5A 5A"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spec);
        auto sim = makeSim(c.spec);
        RecordingView view;
        view.saveAnswers.push_back("never.bin");
        EdidCore core(*sim, view);
        const int64_t t0 = sim->clock().nowMs();
        EXPECT_FALSE(core.EDID_READClick());
        EXPECT_LE(sim->clock().nowMs() - t0, 300 + EdidCore::kReadAnswerMs + 50);
        auto lines = view.lines();
        ASSERT_GE(lines.size(), 4 + c.tail.size());
        EXPECT_EQ(lines[3], "Reading EEPROM ...");
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()), c.tail);
        EXPECT_EQ(sim->hostWrites().back(), Bytes{'O'});
        EXPECT_EQ(view.saveAsked, 0);
        EXPECT_EQ(sim->openHandles(), 0u);
    }
}

TEST(EdidRead, NoJigStopsWithTheLinkMessage) {
    auto sim = makeSim("jig=none");
    RecordingView view;
    EdidCore core(*sim, view);
    EXPECT_FALSE(core.EDID_READClick());
    EXPECT_EQ(view.lines(), (std::vector<std::string>{"Number of VCOM ports found on the machine: 1",
                                                       "-->  The programmer is not found or does not respond"}));
}

// A short file is padded with 0xFF, a long one cut at 256 bytes.
TEST(EdidWrite, ImageIsPaddedOrCutTo256Bytes) {
    for (size_t size : {size_t(1), size_t(3), size_t(256), size_t(300)}) {
        SCOPED_TRACE(size);
        ScratchDir dir;
        Bytes file(size);
        for (size_t i = 0; i < size; ++i) file[i] = static_cast<uint8_t>(i * 7 + 1);
        qjt::writeBytes(dir.file("in.bin"), file);
        auto sim = makeSim("");
        RecordingView view;
        view.openAnswers.push_back(dir.file("in.bin"));
        EdidCore core(*sim, view);
        EXPECT_TRUE(core.EDID_WRITEClick());

        Bytes want(256, 0xFF);
        std::copy(file.begin(), file.begin() + static_cast<long>(std::min<size_t>(size, 256)), want.begin());
        EXPECT_EQ(image(*sim), want);
        auto writes = sim->hostWrites();
        ASSERT_EQ(writes.size(), 4u);
        EXPECT_EQ(writes[1], (Bytes{'E', 'w'}));
        EXPECT_EQ(writes[2], want);
        EXPECT_EQ(writes[3], Bytes{'I'});
        auto lines = view.lines();
        ASSERT_EQ(lines.size(), 3u + 1 + 17 + 1 + 1);
        EXPECT_EQ(lines[3], "Writing EEPROM ...");
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.begin() + 21), dumpOf(want));
        EXPECT_EQ(lines.back(), "Writing data to EEPROM is completed successfully.");
        EXPECT_EQ(sim->openHandles(), 0u);
    }
}

TEST(EdidWrite, RefusedOrSilentEepromReportsTheWriteErrorAndSignalsFailure) {
    struct Case {
        std::string spec;
        bool dumped;  // the ready byte came, so the dump was logged
    } cases[] = {{"eeprom-wp=1", true}, {"eeprom-absent=1", true}, {"eeprom-silent=1", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spec);
        ScratchDir dir;
        qjt::writeBytes(dir.file("in.bin"), Bytes(256, 0x11));
        auto sim = makeSim(c.spec);
        RecordingView view;
        view.openAnswers.push_back(dir.file("in.bin"));
        EdidCore core(*sim, view);
        EXPECT_FALSE(core.EDID_WRITEClick());
        EXPECT_EQ(view.lines().back(), "EEPROM does not respond, or write error! WP 7 pin = '0' ?");
        EXPECT_EQ(view.lines().size(), c.dumped ? 3u + 1 + 17 + 1 + 1 : 3u + 1 + 1);
        EXPECT_EQ(sim->hostWrites().back(), Bytes{'O'});
        EXPECT_EQ(image(*sim), sample());
        EXPECT_EQ(sim->openHandles(), 0u);
    }
}

TEST(EdidWrite, CancelAndMissingFile) {
    ScratchDir dir;
    auto sim = makeSim("");
    RecordingView view;
    view.openAnswers.push_back(std::nullopt);
    view.openAnswers.push_back(dir.file("missing.bin"));
    view.openAnswers.push_back(dir.path().string());  // opens, but reads nothing: no 0xFF image may go out
    qjt::writeBytes(dir.file("empty.bin"), {});
    view.openAnswers.push_back(dir.file("empty.bin"));  // nothing to write but padding
    view.openAnswers.push_back("/dev/zero");            // not an image file at all
    EdidCore core(*sim, view);
    EXPECT_FALSE(core.EDID_WRITEClick());
    EXPECT_EQ(view.lines().back(), "Write operation is interrupted.");
    EXPECT_EQ(sim->openHandles(), 0u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_FALSE(core.EDID_WRITEClick());
        ASSERT_EQ(view.boxes().size(), static_cast<size_t>(k + 1));
        EXPECT_EQ(view.boxes()[static_cast<size_t>(k)].text, "Ошибка открытия файла.");
        EXPECT_EQ(view.lines().back(), "");
        EXPECT_EQ(sim->openHandles(), 0u);
    }
    EXPECT_EQ(image(*sim), sample());
    for (const auto& w : sim->hostWrites()) EXPECT_EQ(w, Bytes{'B'});
}

TEST(EdidExit, ClearsTheLogAndReturnsToTheMainWindow) {
    auto sim = makeSim("");
    RecordingView view;
    EdidCore core(*sim, view);
    view.log("something");
    core.EXIT_EDIDClick();
    EXPECT_TRUE(view.lines().empty());
    auto ev = view.events();
    EXPECT_EQ(ev, (std::vector<std::string>{"clear log", "show Form1 1", "show EDID_form 0"}));
}
