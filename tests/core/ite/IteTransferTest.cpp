// The ITE connection check, read, and both erase-write-verify algorithms on the
// virtual jig; failure paths by the model's faults.
#include "core/ite/IteRig.h"
#include "jig/Text.h"

#include <functional>
#include <utility>

using namespace qj;
using namespace qj::ite;
using namespace itet;

namespace {

const std::string kNoAnswer = "ITE we do not respond, check the connection and settings. MB powered? ";

class IteCheck : public IteRig {};

TEST_F(IteCheck, IdentificationAndFlashSize) {
    struct Case {
        std::string spec;
        int item;
        bool found;
        int kib;
        std::string last;  // the check's last English line
    };
    const std::vector<Case> cases = {
        {"ite-id=8386,ite-rev=2", 2, true, 192, "INFO. Size embedded FLASH EC 192KB!"},
        {"", 3, true, 192, "Received ITE ID  -> 8587 rev -> 01"},  // FLASH=192 on the line: no information
        {"ite-busy-reg=2", 2, false, 128, "BUSY error ID read!"},
        {"ite=absent", 2, false, 128, kNoAnswer + "(00)"},
        // Another board's wiring: the target is not reached.
        {"ite-board=" + kBoard192, 2, false, 128, kNoAnswer + "(00)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        qjt::RecordingView v;
        rig(c.spec, {kBoard, kBoard192}, &v);
        core->ITE_ComboBox_MB_SWITCHSelect(c.item);
        core->ITE_SETUP_BitBtnClick();
        sim->clearRecord();
        core->ITE_CHECK_CON_BitBtnClick();
        core->waitIdle();
        EXPECT_EQ(ok(), c.found);
        EXPECT_EQ(core->flashKiB(), c.kib);
        EXPECT_EQ(v.linesEn().back(), c.last);
        EXPECT_TRUE(v.hasEvent(std::string("enable ITE_READ_BitBtn ") + (c.found ? "1" : "0")));
        EXPECT_EQ(sim->hostWrites().back(), Bytes{uint8_t(c.found ? 'I' : 'O')});
        EXPECT_TRUE(core->idle());
        EXPECT_EQ(sim->openHandles(), 0u);
    }
}

TEST_F(IteCheck, IdLineInBothMemos) {
    rig("ite-id=8386,ite-rev=2");
    ASSERT_TRUE(ready());
    EXPECT_EQ(core->chipId(), 0x8386);
    const std::vector<std::string> en = {"",
                                         "Check connection ...",
                                         "Number of VCOM ports found on the machine: 1",
                                         "Programmer FW version -> ITE2_PROJ_Q37",
                                         "Communication with programmer installed.",
                                         "The programmer is found and ready to go.",
                                         "",
                                         "Сonnect the adapter and continue!",
                                         "Received ITE ID  -> 8386 rev -> 02",
                                         "INFO. Size embedded FLASH EC 192KB!"};
    const auto all = view.linesEn();
    EXPECT_EQ(std::vector<std::string>(all.end() - static_cast<long>(en.size()), all.end()), en);
    const auto ru = view.lines();
    EXPECT_EQ(ru[ru.size() - 2], "Received ITE ID  -> 8386 rev -> 02");
    EXPECT_EQ(ru.back(), "Информация. Размер FLASH памяти EC 192KB!");
}

// Buttons pressed while the check runs on its worker: nothing reaches the jig,
// the board choice stays, the window is not left.
TEST_F(IteCheck, ButtonsWhileBusyDoNothing) {
    struct PressingView : qjt::RecordingView {
        std::function<void()> press;
        void logLang(qj::Lang l, const std::string& line) override {
            RecordingView::logLang(l, line);
            if (l == qj::Lang::En && line.rfind("Received ITE ID", 0) == 0 && press) std::exchange(press, nullptr)();
        }
    } v;
    rig("", {kBoard, kBoard192}, &v);
    core->ITE_ComboBox_MB_SWITCHSelect(2);
    core->ITE_SETUP_BitBtnClick();
    size_t writes = 0, after = 0;
    v.press = [&] {
        writes = sim->hostWrites().size();
        core->ITE_SETUP_BitBtnClick();
        core->ITE_CHECK_CON_BitBtnClick();
        core->ITE_READ_BitBtnClick();
        core->ITE_WRITE_BitBtnClick();
        core->ITE_EXIT_BitBtnClick();
        core->ITE_ComboBox_MB_SWITCHSelect(3);
        core->ITE_CheckBoxClick(false);
        after = sim->hostWrites().size();
    };
    core->ITE_CHECK_CON_BitBtnClick();
    core->waitIdle();
    EXPECT_TRUE(ok());
    EXPECT_GT(writes, 0u);
    EXPECT_EQ(after, writes);
    EXPECT_EQ(core->boardIndex(), 2);
    EXPECT_EQ(core->pinMap()[PD0], 10);
    EXPECT_FALSE(v.hasEvent("show Form1 1"));
    EXPECT_EQ(v.saveAsked + v.openAsked, 0);
    EXPECT_TRUE(v.hasEvent("enable ITE_SETUP_BitBtn 0"));
}

// ---------------------------------------------------------------- read

struct ReadCase {
    const char* name;
    std::string spec;
    bool good;
    size_t bytes;      // the file's size afterwards
    std::string last;  // the last English line before the closing time stamp
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class IteRead : public IteRig, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IteRead, FileHoldsWhatCameBeforeTheEnd) {
    const ReadCase& c = GetParam();
    rig(c.spec);
    ASSERT_TRUE(ready());
    sim->clearRecord();
    EXPECT_EQ(read("dump.bin"), c.good);
    const Bytes dump = qjt::readBytes(dir.file("dump.bin"));
    ASSERT_EQ(dump.size(), c.bytes);
    const Bytes f = flash();
    EXPECT_TRUE(std::equal(dump.begin(), dump.end(), f.begin()));
    const auto en = view.linesEn();
    EXPECT_EQ(en.back(), "Current time  <time>");
    EXPECT_EQ(en[en.size() - 2], c.last);
    expectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Ite, IteRead,
    ::testing::Values(ReadCase{"Flash128", "", true, 131072, "Reading complete. "},
                      ReadCase{"Flash192", "ite-id=8386", true, 196608, "Reading complete. "},
                      ReadCase{"Chip8580", "ite-id=8580", true, 131072, "Reading complete. "},
                      ReadCase{"BadBlock10", "ite-bad-block=10", false, 9 * 256, "ERROR reading block ->10"},
                      ReadCase{"OverlongBlock", "ite-overlong-at=3", false, 2 * 256,
                               "Block answer longer than 257 bytes: protocol error."},
                      // 1 command for the settings, 7 for the check, 27 for the preparation, 6 blocks.
                      ReadCase{"SilentJig", "ite-silent-after=41", false, 6 * 256, kNoAnswer + "(TMO)"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(IteRead, GatewayPreparationThenBlockFetches) {
    rig("");
    ASSERT_TRUE(ready());
    sim->clearRecord();
    ASSERT_TRUE(read("dump.bin"));
    std::vector<Bytes> want = {{'B'}, {'T'}};
    for (const RegStep& s : kReadPreparation) {
        want.push_back({'A', s.reg});
        want.push_back({'W', s.value});
    }
    for (int b = 0; b < 512; ++b) want.push_back({'r'});
    want.push_back({'I'});
    EXPECT_EQ(sim->hostWrites(), want);
    EXPECT_EQ(view.gaugeMaximum(), 512);
    EXPECT_EQ(view.gaugePosition(), 512);
    EXPECT_EQ(view.gaugeColour(), kLime);
}

// ---------------------------------------------------------------- write

struct WriteCase {
    const char* name;
    std::string spec;
    int item;
    bool chipErase;
    size_t imageBytes;
    bool good;
    std::string line;  // an English line the write must log
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class IteWrite : public IteRig, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IteWrite, FlashEqualsTheImageOrTheFailureIsReported) {
    const WriteCase& c = GetParam();
    rig(c.spec);
    ASSERT_TRUE(ready(c.item));
    if (c.chipErase) core->CheckBox_BL_SECClick(false);
    const Bytes image = randomImage(c.imageBytes, 11);
    EXPECT_EQ(write(image), c.good);
    EXPECT_TRUE(hasEn(c.line)) << view.linesEn().back();
    if (c.good) {
        Bytes want = image;
        want.resize(flash().size(), 0xFF);
        EXPECT_EQ(flash(), want);
    }
    expectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Ite, IteWrite,
    ::testing::Values(
        WriteCase{"BlockErase", "", 2, false, 131072, true, "The data is the same!"},
        WriteCase{"ChipErase", "", 2, true, 131072, true, "The data is the same!"},
        WriteCase{"Chip8580", "ite-id=8580", 2, false, 131072, true, "Succesffully!"},
        // The 8580 algorithm covers 128 KiB even when the line says 192.
        WriteCase{"Chip8580Flash192", "ite-id=8580", 3, false, 196608, true, "Succesffully!"},
        WriteCase{"HundredBytes", "", 2, false, 100, true, "File loaded to buffer 00064h bytes"},
        WriteCase{"Flash192", "ite-id=8386", 2, false, 196608, true, "File loaded to buffer 30000h bytes"},
        // The jig answers the write start once the erase is over: 30 s, well past a byte's bound.
        WriteCase{"LongChipErase", "ite-erase-ms=30000", 2, true, 131072, true, "The data is the same!"},
        WriteCase{"SectorStaysBusy", "ite-busy-sector=0xC00", 2, false, 131072, true,
                  "From ADR: 00C00h to 01000h [FD (FCh)]\n"},
        WriteCase{"ChunkRefused", "ite-write-fail=5", 2, false, 131072, false,
                  "Error writing to flash or lost contact with ITE"},
        WriteCase{"OverlongVerifyBlock", "ite-overlong-at=1", 2, false, 131072, false,
                  "Block answer longer than 257 bytes: protocol error."},
        WriteCase{"PageRefused8580", "ite-id=8580,ite-write-fail=5", 2, false, 131072, false,
                  "Error Write_Bytes ADR 0x00400"},
        WriteCase{"EmptyFile", "", 2, false, 0, false, "Error opening the file. (WR_OPN_DLG)"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(IteWrite, TwentyDifferencesListSixteenInTheRussianMemo) {
    rig("ite-stuck=0x1000,ite-stuck-len=20");
    ASSERT_TRUE(ready());
    Bytes image = flash();
    for (size_t i = 0x1000; i < 0x1014; ++i) image[i] = static_cast<uint8_t>(~image[i]);
    EXPECT_FALSE(write(image));
    const auto ru = view.lines();
    const auto diffs = std::count_if(ru.begin(), ru.end(), [](const std::string& l) { return l.rfind("Adress: ", 0) == 0; });
    EXPECT_EQ(diffs, 16);
    const std::string first = "Adress: 01000h WR:" + qj::hexNumber(image[0x1000], 2) + "h RD:" +
                              qj::hexNumber(static_cast<uint8_t>(~image[0x1000]), 2);
    EXPECT_NE(std::find(ru.begin(), ru.end(), first), ru.end());
    EXPECT_FALSE(hasEn(first));
    EXPECT_EQ(view.linesEn()[view.linesEn().size() - 2], "!!! ERROR The data does not match !!!");
    expectIdle();
}

TEST_F(IteWrite, ChipEraseSendsBothOpcodesAndStartsAtOnce) {
    rig("");
    ASSERT_TRUE(ready());
    core->CheckBox_BL_SECClick(false);
    sim->clearRecord();
    ASSERT_TRUE(write(Bytes(300, 0x42)));
    const auto w = sim->hostWrites();
    std::vector<Bytes> want = {{'B'}, {'T'}};
    for (const RegStep& s : kChipErase) {
        want.push_back({'A', s.reg});
        want.push_back({'W', s.value});
    }
    want.push_back({'Y', 0, 0, 0});
    ASSERT_GT(w.size(), want.size());
    EXPECT_EQ(std::vector<Bytes>(w.begin(), w.begin() + static_cast<long>(want.size())), want);
    EXPECT_EQ(w[want.size()].size(), 129u);
    EXPECT_EQ(w[want.size()][0], 'w');
}

TEST(IteBatch, PacketLayouts) {
    EXPECT_EQ(batchBlockAddress(0x7F, 0x1FF), (Bytes{'8', 3, 12, 0x07, 0x7F, 0x06, 0x01, 0x05, 0xFF, 0x04, 0x00, 0x09}));
    EXPECT_EQ(batchWriteSetup(), (Bytes{'8', 2, 11, 0x07, 0x3F, 0x06, 0xFF, 0x04, 0xFF, 0x3D, 0x01}));
    EXPECT_EQ(batchPageAddress(0x1FF00), (Bytes{'8', 1, 18, 0x06, 0x01, 0x05, 0x05, 0x04, 0xAA, 0xB0, 0xFF, 0x06, 0x01,
                                                0x05, 0xFF, 0x04, 0x00, 0x0A}));
}

}  // namespace
