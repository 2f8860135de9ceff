#include <gtest/gtest.h>

#include "modes/ene/EneWiring.h"
#include "modes/ene/EneCore.h"
#include "sim/SimFtdi.h"
#include "support/TestSupport.h"

using namespace qj;
using namespace qj::ene;

namespace {

TEST(EneWiringList, LinesAreCutAtLineFeedsOnly) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"first KSO3=1\nsecond KSO3=2", {"first KSO3=1"}},  // no final LF: the last text is no line
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\n", {"ab"}},  // a carriage return is dropped wherever it stands
        {"\n\nx\n", {"", "", "x"}},
        {"", {}},
        {"\xC0\xFF\x01\n", {"\xC0\xFF\x01"}},  // 8-bit text passes as it is
    };
    for (const auto& c : cases) EXPECT_EQ(splitWiringList(c.bytes), c.lines) << c.bytes;
}

TEST(EneWiringList, LongListsAndLinesHaveNoLimit) {
    std::string bytes;
    const std::string longLine(2000, 'x');
    for (int i = 0; i < 1500; ++i) bytes += longLine + "\n";
    auto lines = splitWiringList(bytes);
    ASSERT_EQ(lines.size(), 1500u);
    EXPECT_EQ(lines.back(), longLine);
}

TEST(EneWiringHint, Evaluation) {
    const std::string canon = "KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11";
    const std::string x1 = "Board X1 KSO3=5 KSI4=12 KSI7=15 KSI6=14 KSI5=13";
    struct Case {
        std::string entry;
        int contacts;
        bool pin1;
        WiringHint::Kind kind;
        std::string text;
    };
    using K = WiringHint::Kind;
    const std::vector<Case> cases = {
        {canon, 18, true, K::Hint, "Please connect GND and:  A7 B8 C9 D10 E11"},
        {canon, 18, false, K::Hint, "Please connect GND and:  A12 B11 C10 D9 E8"},
        {x1, 32, true, K::Hint, "Please connect GND and:  A5 B12 C15 D14 E13"},
        {x1, 32, false, K::Hint, "Please connect GND and:  A28 B21 C18 D19 E20"},
        {"KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=20", 18, true, K::Message, "Please select big pins FFC!"},
        {"KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=20", 20, true, K::Hint, "Please connect GND and:  A7 B8 C9 D10 E20"},
        {"KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=20", 20, false, K::Hint, "Please connect GND and:  A14 B13 C12 D11 E1"},
        // Keys in any order, with free text between them.
        {"MB 9 KSI5=11 rev KSI6=10 (x) KSO3=7 KSI7=9 -- KSI4=8 end", 18, true, K::Hint,
         "Please connect GND and:  A7 B8 C9 D10 E11"},
        // A third digit is not part of the number; a leading zero is allowed.
        {"KSO3=123 KSI4=08 KSI7=9 KSI6=10 KSI5=11", 32, true, K::Hint, "Please connect GND and:  A12 B8 C9 D10 E11"},
        // The first occurrence of a key counts.
        {"KSO3=5 KSO3=6 KSI4=8 KSI7=9 KSI6=10 KSI5=11", 18, true, K::Hint,
         "Please connect GND and:  A5 B8 C9 D10 E11"},
        {"", 18, true, K::Message, "Error data format!"},
        {"KSI4=8 KSI7=9 KSI6=10 KSI5=11", 18, true, K::Message, "Error data format!"},
        {"kso3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11", 18, true, K::Message, "Error data format!"},  // case counts
    };
    for (const auto& c : cases) {
        const WiringHint h = evaluateWiring(c.entry, c.contacts, c.pin1);
        EXPECT_EQ(h.kind, c.kind) << c.entry;
        EXPECT_EQ(h.text, c.text) << c.entry;
    }
}

TEST(EneWiringHint, MalformedContactNumbersAreFaultsNamingTheKey) {
    struct Case {
        std::string entry;
        std::string key;
    };
    const std::vector<Case> cases = {
        {"KSO3=x5 KSI4=8 KSI7=9 KSI6=10 KSI5=11", "KSO3"},
        {"KSO3=7 KSI4=8 KSI7=9, KSI6=10 KSI5=11", "KSI7"},  // "9," is not a number
        {"KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=", "KSI5"},     // the equals sign ends the line
        {"KSO3=7 KSI4=-8 KSI7=9 KSI6=10 KSI5=11", "KSI4"},
    };
    for (const auto& c : cases) {
        const WiringHint h = evaluateWiring(c.entry, 32, true);
        EXPECT_EQ(h.kind, WiringHint::Kind::Fault) << c.entry;
        EXPECT_NE(h.text.find(c.key), std::string::npos) << h.text;
    }
}

// The window's wiring handlers through the core.
class EneWindowWiring : public ::testing::Test {
protected:
    void create(const std::string& list, const std::string& spec = "jig=ENE_EDID_KB") {
        qjt::writeFile(kWiringFile, list);
        sim = qjt::makeSim(spec);
        core = std::make_unique<EneCore>(*sim, view);
        core->FormCreate();
    }
    std::vector<std::string> events() const { return view.events(); }

    qjt::ScratchDir dir;
    qjt::RecordingView view;
    std::unique_ptr<sim::SimFtdi> sim;
    std::unique_ptr<EneCore> core;
};

TEST_F(EneWindowWiring, ListWithoutFinalLineFeedOffersTheAdapterAndTheFirstLine) {
    create("Board A KSO3=1 KSI4=2 KSI7=3 KSI6=4 KSI5=5\r\nBoard B KSO3=1 KSI4=2 KSI7=3 KSI6=4 KSI5=5");
    EXPECT_EQ(core->boardItems(),
              (std::vector<std::string>{"External board - KESTRA", "Board A KSO3=1 KSI4=2 KSI7=3 KSI6=4 KSI5=5"}));
    EXPECT_EQ(core->labelResult(), "");
    for (const char* c : {"ComboBox_KB901X", "ComboBox_KB901X_FFC", "CheckBox_KB901X"})
        EXPECT_TRUE(view.hasEvent(std::string("enable ") + c + " 1")) << c;
}

TEST_F(EneWindowWiring, MissingListLeavesTheControlsDisabled) {
    sim = qjt::makeSim("jig=ENE_EDID_KB");
    core = std::make_unique<EneCore>(*sim, view);
    core->FormCreate();
    EXPECT_FALSE(core->wiringLoaded());
    EXPECT_TRUE(core->boardItems().empty());
    EXPECT_EQ(core->labelResult(), "Create base of connections KB90XX !");
    EXPECT_TRUE(view.hasEvent("colour ComboBox_KB901X " + std::to_string(kButtonFace)));
    for (const auto& e : events()) EXPECT_EQ(e.rfind("enable ", 0), std::string::npos) << e;
}

TEST_F(EneWindowWiring, CableChosenBeforeBoardOnlyRecoloursUntilABoardComes) {
    create("Board KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\n");
    const size_t before = events().size();
    core->ComboBox_KB901X_FFCSelect(0);  // 18 pin
    auto ev = events();
    ASSERT_EQ(ev.size(), before + 1);
    EXPECT_EQ(ev.back(), "colour ComboBox_KB901X_FFC " + std::to_string(kButtonFace));
    core->ComboBox_KB901XSelect(1);
    EXPECT_EQ(core->labelResult(), "Please connect GND and:  A7 B8 C9 D10 E11");
    EXPECT_TRUE(view.hasEvent("colour ComboBox_KB901X " + std::to_string(kButtonFace)));
    core->CheckBox_KB901XClick(false);
    EXPECT_EQ(core->labelResult(), "Please connect GND and:  A12 B11 C10 D9 E8");
    EXPECT_TRUE(sim->hostWrites().empty());  // a motherboard entry never talks to the jig
}

TEST_F(EneWindowWiring, MalformedNumberShowsABoxAndKeepsTheLabel) {
    create("Good KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\nBad KSO3=7 KSI4=8 KSI7=z KSI6=10 KSI5=11\n");
    core->ComboBox_KB901X_FFCSelect(7);
    core->ComboBox_KB901XSelect(1);
    const std::string good = core->labelResult();
    EXPECT_EQ(good, "Please connect GND and:  A7 B8 C9 D10 E11");
    core->ComboBox_KB901XSelect(2);
    EXPECT_EQ(core->labelResult(), good);
    ASSERT_EQ(view.boxes().size(), 1u);
    EXPECT_EQ(view.boxes()[0].kind, BoxKind::Error);
    EXPECT_NE(view.boxes()[0].text.find("KSI7"), std::string::npos);
}

TEST_F(EneWindowWiring, ExitRestoresThePrompts) {
    create("Board KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\n");
    core->ComboBox_KB901X_FFCSelect(1);
    core->ComboBox_KB901XSelect(1);
    core->EXIT_KB901XClick();
    const auto ev = events();
    auto at = [&](const std::string& e) { return std::find(ev.begin(), ev.end(), e) - ev.begin(); };
    const long clear = at("clear log");
    ASSERT_LT(clear, static_cast<long>(ev.size()));
    const std::vector<std::string> after(ev.begin() + clear, ev.end());
    const std::vector<std::string> want = {
        "clear log",
        "gauge pos 0",
        "text ComboBox_KB901X_FFC Select FFC cable you used",
        "colour ComboBox_KB901X_FFC " + std::to_string(kYellow),
        "enable ComboBox_KB901X_FFC 1",
        "text ComboBox_KB901X Select MB or KESTRA here",
        "colour ComboBox_KB901X " + std::to_string(kYellow),
        "enable CheckBox_KB901X 1",
        "enable Label_result 1",
        "show Form1 1",
        "show KB901X_forms 0",
    };
    EXPECT_EQ(after, want);
    EXPECT_EQ(core->boardIndex(), -1);
    EXPECT_EQ(core->cableIndex(), -1);
}

TEST(EneKestra, DetectionOutcomes) {
    struct Case {
        std::string fit;
        std::string line;
        std::string label;
        std::string box;  // "" = none
        std::vector<uint8_t> orientation;  // the 'V' write after 'V' '9', if any
    };
    const std::vector<Case> cases = {
        {"absent", "KESTRA not found! Connected?", " Error sending settings", "", {}},
        {"1-2", "KESTRA found! (1-2)", " Selected KESTRA board ", " Please connect\n B13 C14 D17 E12 \n then  READ or WRITE!",
         {'V', '5'}},
        {"31-32", "KESTRA found! (31-32)", " Selected KESTRA board ",
         " Please connect\n B20 C19 D16 E21 \n then  READ or WRITE!", {'V', '6'}},
        {"both", "ERROR connected to KESTRA!", " Error sending settings", "", {}},
    };
    for (const auto& c : cases) {
        qjt::ScratchDir dir;
        qjt::writeFile(kWiringFile, "Board KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\n");
        auto sim = qjt::makeSim("jig=ENE_EDID_KB,kestra=" + c.fit);
        qjt::RecordingView view;
        EneCore core(*sim, view);
        core.FormCreate();
        core.ComboBox_KB901XSelect(0);
        EXPECT_TRUE(view.hasLine(c.line)) << c.fit;
        EXPECT_EQ(core.labelResult(), c.label) << c.fit;
        const auto boxes = view.boxes();
        if (c.box.empty()) {
            EXPECT_TRUE(boxes.empty()) << c.fit;
        } else {
            ASSERT_EQ(boxes.size(), 1u) << c.fit;
            EXPECT_EQ(boxes[0].kind, BoxKind::Information);
            EXPECT_EQ(boxes[0].text, c.box);
        }
        std::vector<std::vector<uint8_t>> want = {{'B'}, {'V', '9'}};
        if (!c.orientation.empty()) want.push_back(c.orientation);
        EXPECT_EQ(sim->hostWrites(), want) << c.fit;
        EXPECT_EQ(sim->openHandles(), 0u);
        EXPECT_TRUE(view.hasEvent("enable ComboBox_KB901X_FFC 0"));
        EXPECT_TRUE(view.hasEvent("enable CheckBox_KB901X 0"));
        EXPECT_TRUE(sim->errors().empty());
    }
}

TEST(EneKestra, WrongFirmwareLeavesTheLabelAlone) {
    qjt::ScratchDir dir;
    qjt::writeFile(kWiringFile, "Board KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\n");
    auto sim = qjt::makeSim("jig=ITE2");
    qjt::RecordingView view;
    EneCore core(*sim, view);
    core.FormCreate();
    core.ComboBox_KB901XSelect(0);
    EXPECT_EQ(core.labelResult(), "");
    EXPECT_TRUE(view.hasLine("It is necessary to update the firmware programmer!"));
    EXPECT_EQ(sim->hostWrites(), (std::vector<std::vector<uint8_t>>{{'B'}}));
    EXPECT_EQ(sim->openHandles(), 0u);
}

}  // namespace
