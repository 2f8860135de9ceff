// The ITE wiring list, the pin map and its mirror, and "Apply settings".
#include "core/ite/IteRig.h"
#include "modes/common/WiringList.h"

using namespace qj;
using namespace qj::ite;
using namespace itet;

namespace {

std::string line(const std::string& replaceKey, const std::string& with) {
    std::string l = kBoard;
    const size_t at = l.find(replaceKey);
    const size_t end = l.find(' ', at);
    return l.substr(0, at) + with + (end == std::string::npos ? "" : l.substr(end));
}

TEST(IteWiring, ContactNumbersAndTheFirstBadKey) {
    struct Case {
        std::string line;
        std::string bad;  // "" = all fifteen read
        int busy;         // BUSY's contact when read
    };
    const std::vector<Case> cases = {
        {"", "PD0=", 0},
        {kBoard, "", 5},
        {line("BUSY=", "BUSY=7 "), "", 7},    // one digit, then a blank
        {line("BUSY=", "BUSY=07"), "", 7},
        {line("BUSY=", "BUSY=123"), "", 12},  // two characters at most
        {line("BUSY=", "BUSY=0"), "BUSY=", 0},
        {line("BUSY=", "BUSY=33"), "BUSY=", 0},
        {line("KSI4=", "KSI4=x"), "KSI4=", 5},  // not a number: refused like one out of range
        {line("KSI5=", "KSI5="), "KSI5=", 5},   // a blank right after the key
    };
    for (const Case& c : cases) {
        PinMap map{};
        EXPECT_EQ(readPinMap(c.line, map), c.bad) << c.line;
        if (c.busy) {
            EXPECT_EQ(map[BUSY], c.busy) << c.line;
        }
    }
}

TEST(IteWiring, MirrorTwiceRestoresAndRefusesWhatCannotBeSent) {
    PinMap map{};
    ASSERT_EQ(readPinMap(kBoard, map), "");
    const PinMap asRead = map;
    int n = 0;
    EXPECT_EQ(mirrorPinMap(kBoard, map, n), Mirror::Done);
    EXPECT_EQ(n, 30);
    EXPECT_EQ(map[PD0], 21);
    EXPECT_EQ(mirrorPinMap(kBoard, map, n), Mirror::Done);
    EXPECT_EQ(map, asRead);

    struct Case {
        std::string kbPins;
        Mirror want;
    };
    for (const Case& c : std::vector<Case>{{"", Mirror::NoCount},
                                           {"KB_pins=23", Mirror::BadCount},
                                           {"KB_pins=33", Mirror::BadCount},
                                           {"KB_pins=x2", Mirror::BadCount},
                                           {"KB_pins=16", Mirror::BadCount},
                                           {"KB_pins=24", Mirror::Done}}) {
        std::string l = kBoard.substr(0, kBoard.find("KB_pins=")) + c.kbPins;
        PinMap m = asRead;
        EXPECT_EQ(mirrorPinMap(l, m, n), c.want) << c.kbPins;
    }
    // PD7 on contact 17 of a 24-contact connector is fine; on 26 it would mirror to 0.
    PinMap m = asRead;
    m[PD7] = 26;
    const PinMap before = m;
    EXPECT_EQ(mirrorPinMap(kBoard.substr(0, kBoard.find("KB_pins=")) + "KB_pins=25", m, n), Mirror::BeyondCount);
    EXPECT_EQ(m, before);
}

// The example list users start from: every board reads whole and mirrors.
TEST(IteWiring, ExampleListIsUsable) {
    const auto lines = qj::wiring::splitLines(qjt::readFile(qjt::sourceDir() + "examples/" + kWiringFile));
    ASSERT_GE(lines.size(), 3u);
    for (const std::string& l : lines) {
        PinMap map{};
        int n = 0;
        EXPECT_EQ(readPinMap(l, map), "") << l;
        EXPECT_EQ(mirrorPinMap(l, map, n), Mirror::Done) << l;
    }
}

TEST(IteWiring, ExternalBoardTablesAndSenseBits) {
    const ExternalTable a = externalTable(false), b = externalTable(true);
    EXPECT_EQ(a.map[INIT], 4);
    EXPECT_EQ(a.map[PD0], 32);
    EXPECT_EQ(a.map[PD7], 25);
    EXPECT_EQ(b.map[INIT], 29);
    EXPECT_EQ(b.map[BUSY], 11);
    EXPECT_EQ(b.pw, 13);
    EXPECT_EQ(b.rs, 22);
    EXPECT_EQ(externalFit(0xFF, 0xFF), ExtFit::Absent);
    EXPECT_EQ(externalFit(0xBF, 0xFF), ExtFit::Contacts12);
    EXPECT_EQ(externalFit(0xFF, 0xFD), ExtFit::Contacts3132);
    EXPECT_EQ(externalFit(0x00, 0x00), ExtFit::Both);
}

class IteBoards : public IteRig {};

TEST_F(IteBoards, ListChoiceFlashSizeAndButtons) {
    rig("", {kBoard, kBoard192, "", "PD0=1 broken"});
    const std::vector<std::string> items = {kPromptItem, kExternalItem, kBoard, kBoard192, "", "PD0=1 broken"};
    EXPECT_EQ(core->boardItems(), items);
    EXPECT_TRUE(view.hasEvent("colour ITE_ComboBox_MB_SWITCH " + std::to_string(kYellow)));

    core->ITE_ComboBox_MB_SWITCHSelect(3);
    EXPECT_EQ(core->flashKiB(), 192);
    EXPECT_TRUE(core->sizeOverride());
    EXPECT_EQ(view.lines().back(), "Предупреждение! Выбран размер FLASH ITE 192KB");
    EXPECT_EQ(view.linesEn().back(), "Warning! Selected FLASH ITE size 192KB");
    core->ITE_ComboBox_MB_SWITCHSelect(2);
    EXPECT_EQ(core->flashKiB(), 128);
    EXPECT_FALSE(core->sizeOverride());
    EXPECT_EQ(view.events().back(), "colour ITE_ComboBox_MB_SWITCH " + std::to_string(kSkyBlue));
    EXPECT_TRUE(view.hasEvent("enable ITE_SETUP_BitBtn 1"));

    // An empty line names PD0 in both memos and returns to the prompt.
    core->ITE_ComboBox_MB_SWITCHSelect(4);
    EXPECT_EQ(core->boardIndex(), 0);
    const auto ru = view.lines(), en = view.linesEn();
    EXPECT_EQ(std::vector<std::string>(ru.end() - 2, ru.end()),
              (std::vector<std::string>{"Не найдена или не верна информация о номере контакта сигнала ", "PD0="}));
    EXPECT_EQ(std::vector<std::string>(en.end() - 2, en.end()),
              (std::vector<std::string>{"Information about the contact number is not found or false! ", "PD0="}));
    EXPECT_EQ(view.events().back(), "colour ITE_ComboBox_MB_SWITCH " + std::to_string(kYellow));
    core->ITE_ComboBox_MB_SWITCHSelect(5);
    EXPECT_EQ(view.linesEn().back(), "PD1=");
}

TEST_F(IteBoards, MissingListOffersNothing) {
    qjt::ScratchDir empty;
    sim = qjt::makeSim("jig=ITE2_PROJ_Q37");
    core = std::make_unique<IteCore>(*sim, view);
    core->FormCreate();
    EXPECT_FALSE(core->wiringLoaded());
    EXPECT_EQ(core->boardItems(), std::vector<std::string>{kNotFoundItem});
    core->ITE_ComboBox_MB_SWITCHSelect(0);
    EXPECT_FALSE(view.hasEvent("enable ITE_SETUP_BitBtn 1"));
}

// The box tells what will be sent: a choice resets it, a failed mirror restores it.
TEST_F(IteBoards, MirrorBoxFollowsTheMap) {
    const std::string noCount = kBoard.substr(0, kBoard.find(" KB_pins="));
    rig("", {kBoard, noCount});
    core->ITE_ComboBox_MB_SWITCHSelect(2);
    core->ITE_CheckBoxClick(false);
    EXPECT_FALSE(core->mirrorChecked());
    EXPECT_EQ(core->pinMap()[PD0], 21);
    EXPECT_EQ(view.events().back(), "check ITE_CheckBox 0");
    core->ITE_ComboBox_MB_SWITCHSelect(2);  // read again as written
    EXPECT_TRUE(core->mirrorChecked());
    EXPECT_EQ(core->pinMap()[PD0], 10);

    core->ITE_ComboBox_MB_SWITCHSelect(3);
    core->ITE_CheckBoxClick(false);
    EXPECT_TRUE(core->mirrorChecked());
    EXPECT_EQ(view.events().back(), "check ITE_CheckBox 1");
    EXPECT_EQ(view.linesEn().back(), "Not found the information on the number of contacts on the keyboard connector MB!");
    EXPECT_EQ(core->pinMap()[PD0], 10);
}

class IteSettings : public IteRig {};

TEST_F(IteSettings, MotherboardFramesInOrder) {
    rig("");
    core->ITE_ComboBox_MB_SWITCHSelect(2);
    core->ITE_SETUP_BitBtnClick();
    ASSERT_TRUE(ok());
    std::vector<Bytes> want = {{'B'},
                               {'S'},
                               frame('I', 'N', 8),
                               frame('D', 'S', 7),
                               frame('A', 'S', 9),
                               frame('W', 'R', 6),
                               frame('K', '4', 3),
                               frame('K', '5', 4),
                               frame('B', 'L', 5)};
    for (int i = 0; i < 8; ++i) want.push_back(frame('d', char('0' + i), 10 + i));
    want.push_back(frame('Q', 'Q', 'Q'));
    want.push_back({'I'});
    EXPECT_EQ(sim->hostWrites(), want);
    const std::vector<std::string> en = {"Current time  <time>",
                                         "Number of VCOM ports found on the machine: 1",
                                         "Programmer FW version -> ITE2_PROJ_Q37",
                                         "Communication with programmer installed.",
                                         "Send the settings.",
                                         "All settings sent."};
    EXPECT_EQ(view.linesEn(), en);
    EXPECT_EQ(view.lines().front(), "Текущее время  <time>");
    EXPECT_EQ(view.lines().back(), "Настройки все отправлены.");
    EXPECT_TRUE(view.hasEvent("enable ITE_CHECK_CON_BitBtn 1"));
    EXPECT_EQ(sim->openHandles(), 0u);
}

TEST_F(IteSettings, ExternalBoardDetectedTurnedOver) {
    rig("ite-ext=31-32");
    core->ITE_ComboBox_MB_SWITCHSelect(1);
    core->ITE_SETUP_BitBtnClick();
    ASSERT_TRUE(ok());
    std::vector<Bytes> want = {{'B'},
                               {'3'},
                               {'S'},
                               frame('I', 'N', 29),
                               frame('D', 'S', 28),
                               frame('A', 'S', 30),
                               frame('W', 'R', 27),
                               frame('P', 'W', 13),
                               frame('R', 'S', 22),
                               frame('B', 'L', 11)};
    for (int i = 0; i < 8; ++i) want.push_back(frame('d', char('0' + i), 1 + i));
    want.push_back(frame('Q', 'Q', 'Q'));
    want.push_back({'I'});
    EXPECT_EQ(sim->hostWrites(), want);
    EXPECT_TRUE(hasEn("External board connected! (31-32)"));
}

TEST_F(IteSettings, ExternalBoardMissingOrBothEndsWithTheFailureSignal) {
    for (auto [fit, msg] : std::vector<std::pair<std::string, std::string>>{
             {"absent", "External board not connected!"}, {"both", "Error recognition external board!"}}) {
        rig("ite-ext=" + fit);
        core->ITE_ComboBox_MB_SWITCHSelect(1);
        core->ITE_SETUP_BitBtnClick();
        EXPECT_FALSE(ok());
        EXPECT_EQ(sim->hostWrites(), (std::vector<Bytes>{{'B'}, {'3'}, {'O'}}));
        EXPECT_EQ(view.linesEn().back(), msg);
        EXPECT_EQ(view.events().back(), "enable ITE_WRITE_BitBtn 0");
    }
}

// A refused frame ends the settings with nothing more on the wire; the jig is
// left in its set-up mode, so the next attempt's identification request is
// taken as part of a frame and the jig seems not to answer.
TEST_F(IteSettings, RefusedFrameLeavesTheJigInSetupMode) {
    rig("ite-refuse-frame=16");  // "QQQ"
    core->ITE_ComboBox_MB_SWITCHSelect(2);
    core->ITE_SETUP_BitBtnClick();
    EXPECT_FALSE(ok());
    EXPECT_EQ(view.linesEn().back(), "Protocol error when setting pins.");
    EXPECT_EQ(sim->hostWrites().back(), frame('Q', 'Q', 'Q'));
    EXPECT_FALSE(view.hasEvent("enable ITE_CHECK_CON_BitBtn 1"));
    EXPECT_EQ(sim->openHandles(), 0u);

    core->ITE_SETUP_BitBtnClick();
    EXPECT_EQ(view.linesEn().back(), "The programmer is not found or does not respond");
}

}  // namespace
