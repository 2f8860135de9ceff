// The Nuvoton JTAG window's steps against the virtual jig: settings on both jig
// kinds, the ID check and the script, the read, the erase and write, and their
// failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "modes/nuv/NuvCore.h"
#include "sim/JtagLines.h"
#include "sim/NuvModel.h"
#include "sim/SimFtdi.h"
#include "support/TestSupport.h"

using namespace qj;
using namespace qj::nuv;
using Writes = std::vector<std::vector<uint8_t>>;
using Step = NuvCore::Step;

namespace {

const char* kEpm240 = "jig=M328_EPM240_v19";
const char* kNpce = "jig=NPCE_Q37";
const std::string kPowerBox =
    " Now \n Please connect the power supply to the motherboard, \n then click *Check connect to Nuvoton* !";
const std::string kProtocolBox =
    " ERASE or WRITE protocol error! \n Lost communication with a chip EC \n Please disconnect the power supply from "
    "the motherboard!";

using qjt::randomImage;

class NuvTransfer : public ::testing::Test {
protected:
    void rig(const std::string& spec) {
        view = std::make_unique<qjt::RecordingView>();
        sim = qjt::makeSim(spec);
        core = std::make_unique<NuvCore>(*sim, *view, qjt::binDir());
    }
    template <class F>
    auto model(F f) {
        decltype(f(sim->board().model<sim::NuvModel>())) r{};
        sim->withLock([&] { r = f(sim->board().model<sim::NuvModel>()); });
        return r;
    }
    std::vector<uint8_t> targetFlash() {
        return model([](sim::NuvModel& m) { return m.flash; });
    }
    // Settings, then connect with the script.
    bool connect() {
        core->BitBtn_SETTINGSClick();
        if (core->step() != Step::Connect) return false;
        core->BitBtn_CONNECTClick();
        core->waitIdle();
        return core->step() == Step::Transfer;
    }
    // The worker's end, then the window's timer.
    bool finish() {
        core->waitIdle();
        if (view->hasEvent("timer Timer_MSG_ER")) core->Timer_MSG_ERTimer();
        return core->lastOutcome() == qj::Outcome::Ok;
    }
    bool read(const std::string& file) {
        if (!connect()) return false;
        view->saveAnswers.push_back(dir.file(file));
        core->BitBtn_NUV_JTAG_RDClick();
        return finish();
    }
    bool write(const std::vector<uint8_t>& image) {
        qjt::writeBytes(dir.file("in.bin"), image);
        if (!connect()) return false;
        view->openAnswers.push_back(dir.file("in.bin"));
        core->BitBtn_NUV_JTAG_WRClick();
        return finish();
    }
    // Idle, link closed, back at the first step, nothing loud in the virtual jig.
    void expectIdle() {
        EXPECT_TRUE(core->idle());
        EXPECT_EQ(core->step(), Step::Settings);
        EXPECT_EQ(sim->openHandles(), 0u);
        EXPECT_TRUE(sim->errors().empty()) << sim->errors().front();
    }
    // The host's writes from the last one equal to `first` on.
    Writes writesFrom(const std::vector<uint8_t>& first) {
        const Writes w = sim->hostWrites();
        const auto it = std::find(w.rbegin(), w.rend(), first);
        return it == w.rend() ? Writes{} : Writes(it.base() - 1, w.end());
    }

    qjt::ScratchDir dir;
    std::unique_ptr<qjt::RecordingView> view;
    std::unique_ptr<sim::SimFtdi> sim;
    std::unique_ptr<NuvCore> core;
};

TEST_F(NuvTransfer, SettingsOnBothJigKinds) {
    struct Case {
        std::string jig;
        bool pin1ToPin1;
        Writes writes;
        std::vector<std::string> lines;
        std::vector<std::string> boxes;
    };
    // An EPM240 jig: the CPLD is cleared, the lines go to SPI, then the thirteen registers of the map.
    auto cpld = [](bool pin1ToPin1) {
        Writes w = {{'B'}, {'S', 'R'}, {'J', 'S'}};
        for (auto [r, v] : pinMapRegisters(pinMap(pin1ToPin1))) w.push_back({'S', 'W', r, v});
        return w;
    };
    const std::vector<Case> cases = {
        {kEpm240, true, cpld(true),
         {"", "Current time  <time>", "Selected 30 pin FFC (TYPE B)", "Settings for NUVOTON send.", ""},
         {kPowerBox}},
        {kEpm240, false, cpld(false),
         {"", "Current time  <time>", "Selected 30 pin FFC (TYPE A))", "Settings for NUVOTON send.", ""},
         {kPowerBox}},
        // A jig without the CPLD: the user wires the lines; nothing but the identification is sent.
        {kNpce, true, {{'B'}},
         {"", "Current time  <time>", "Version FW -> NPCE_Q37", "Communication with programmer installed.",
          "User selected A7 B19 C10 D21 E20", ""},
         {"Please connect GND and: \nA7 B19 C10 D21 E20", kPowerBox}},
        {kNpce, false, {{'B'}}, {}, {"Please connect GND and: \nA24 B12 C21 D10 E11", kPowerBox}},
    };
    for (const Case& c : cases) {
        rig(c.jig);
        core->CheckBox1Click(c.pin1ToPin1);
        core->BitBtn_SETTINGSClick();
        if (!c.writes.empty()) {
            EXPECT_EQ(sim->hostWrites(), c.writes) << c.jig;
        }
        if (!c.lines.empty()) {
            EXPECT_EQ(view->lines(), c.lines) << c.jig;
        }
        std::vector<std::string> boxes;
        for (const auto& b : view->boxes()) boxes.push_back(b.text);
        EXPECT_EQ(boxes, c.boxes) << c.jig;
        EXPECT_EQ(core->step(), Step::Connect);
        EXPECT_TRUE(view->hasEvent("enable BitBtn_CONNECT 1"));
        EXPECT_TRUE(view->hasEvent("enable BitBtn_SETTINGS 0"));
        EXPECT_EQ(sim->openHandles(), 0u);
        if (c.jig == kEpm240) {
            sim->withLock([&] { EXPECT_EQ(sim->board().model<sim::JtagLines>().reg[0x40], c.pin1ToPin1 ? 0x89 : 0x94); });
        }
    }
}

TEST_F(NuvTransfer, ConnectChecksTheIdAndPlaysTheScript) {
    rig(kEpm240);
    ASSERT_TRUE(connect());
    const Writes w = writesFrom({'J', 'X'});
    ASSERT_GT(w.size(), 4u);
    EXPECT_EQ(Writes(w.begin(), w.begin() + 3), (Writes{{'J', 'X'}, {'J', '1'}, {'J', 'D', 0xFF, 0xFF, 0xFF, 0xFF}}));
    // The script's last line, the combined shift, is the last thing sent.
    EXPECT_EQ(w.back(), (std::vector<uint8_t>{'J', 'T', 0x5A, 0xE0, 0xEE, 0xFF, 0xC0, 0x00}));
    EXPECT_TRUE(model([](sim::NuvModel& m) { return m.scriptPlayed; }));
    const auto ls = view->lines();
    const std::vector<std::string> tail(ls.end() - 5, ls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Read NUVOTON ID 0FE2201F", " *** Default file -> NUVOTON.qjf",
                                              "Sending start: <time>", "Sending end:   <time>",
                                              "I`m ready to READ or WRITE."}));
    EXPECT_EQ(view->gaugeColour(), kYellow);
    EXPECT_EQ(view->gaugePosition(), view->gaugeMaximum());
    EXPECT_GT(view->gaugeMaximum(), 100);
    EXPECT_TRUE(view->hasEvent("enable BitBtn_NUV_JTAG_RD 1"));
    EXPECT_TRUE(core->idle());
    EXPECT_EQ(sim->openHandles(), 0u);
    EXPECT_TRUE(sim->errors().empty());

    // Connect again: the default script is not announced twice.
    core->BitBtn_CONNECTClick();
    core->waitIdle();
    EXPECT_EQ(core->step(), Step::Transfer);
    const auto again = view->lines();
    EXPECT_EQ(std::count(again.begin(), again.end(), " *** Default file -> NUVOTON.qjf"), 1);
}

TEST_F(NuvTransfer, WrongOrMissingIdGoesBackToSettings) {
    struct Case {
        std::string spec;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"nuv-id=FFFFFFFF", "FFFFFFFF"},
        {"nuv=absent", "FFFFFFFF"},
        {"nuv-cable=type-a", "FFFFFFFF"},     // the map of the other orientation reaches nothing
        {"nuv-id-split=5000", "----201F"},    // the second half comes after the bound
        {"nuv-silent-after=0", "--------"},
    };
    for (const Case& c : cases) {
        rig(std::string(kEpm240) + "," + c.spec);
        EXPECT_FALSE(connect()) << c.spec;
        EXPECT_TRUE(view->hasLine("Read NUVOTON ID " + c.shown)) << c.spec;
        const auto ls = view->lines();
        EXPECT_EQ(std::vector<std::string>(ls.end() - 2, ls.end()), (std::vector<std::string>{"Wrong ID. Break.", ""}));
        const Writes w = sim->hostWrites();
        EXPECT_EQ(Writes(w.end() - 2, w.end()), (Writes{{'J', 'S'}, {'O'}})) << c.spec;
        ASSERT_EQ(view->boxes().size(), 2u);
        EXPECT_EQ(view->boxes()[1].text,
                  "Possible reasons \n 1 No power is connected to the motherboard \n 2 No power on a chip EC \n 3 "
                  "Defective chip EC \n 4 Invalid defined first contact");
        expectIdle();
    }
    // An ID in two pieces within the bound is one ID; on the NPCE firmware too.
    rig(std::string(kNpce) + ",nuv-id-split=50");
    EXPECT_TRUE(connect());
    EXPECT_TRUE(view->hasLine("Read NUVOTON ID 0FE2201F"));
}

// The default script is looked up where the jig's images are, again at each
// connect: one put in place after a failed connect is found.
TEST_F(NuvTransfer, DefaultScriptIsLookedUpAtEachConnect) {
    const std::string prog = dir.file("prog") + "/";
    std::filesystem::create_directories(prog);
    std::filesystem::create_directories(dir.userFirmwareDir());
    view = std::make_unique<qjt::RecordingView>();
    sim = qjt::makeSim(kEpm240);
    core = std::make_unique<NuvCore>(*sim, *view, prog);
    EXPECT_FALSE(connect());
    EXPECT_TRUE(view->hasLine("Break! Open file (.qjf) error or not found! (looked in " + prog + ", " +
                              dir.userFirmwareDir() + ")"));
    std::filesystem::copy_file(qjt::binDir() + kScriptFile, dir.userFirmwareDir() + kScriptFile);
    EXPECT_TRUE(connect());
    EXPECT_EQ(core->scriptPath(), dir.userFirmwareDir() + kScriptFile);
    const auto ls = view->lines();
    EXPECT_EQ(std::count(ls.begin(), ls.end(), " *** Default file -> NUVOTON.qjf"), 1);
}

TEST_F(NuvTransfer, ScriptThatCannotBePlayed) {
    struct Case {
        std::optional<std::string> script;  // nullopt: no such file; "FIFO": a named pipe
        std::string line;
    };
    const std::string nothing = "Break! The script " + dir.file("s.qjf") + " plays nothing: no line in it is carried out.";
    const std::vector<Case> cases = {
        {std::nullopt, "Break! Open file (.qjf) error or not found!"},
        {"FIFO", "Break! Open file (.qjf) error or not found!"},
        {"", nothing},
        {"; set-up follows\r\n\r\nI 01", nothing},  // a comment, a blank line, a line without its line feed
        {"i 01\r\nD 00000000\r\nd 0B   000107\r\ni 02\r\n",
         "Break! Script line 3: no eight hexadecimal digits at positions 7-14."},
        {"i 01\r\n; " + std::string(1100, '-') + "\r\n", "Break! Script line 2: longer than 1040 bytes."},
    };
    for (const Case& c : cases) {
        rig(kEpm240);
        std::filesystem::remove(dir.file("s.qjf"));
        if (c.script == "FIFO") ASSERT_EQ(::mkfifo(dir.file("s.qjf").c_str(), 0600), 0);
        else if (c.script) qjt::writeFile(dir.file("s.qjf"), *c.script);
        core->setScriptPath(dir.file("s.qjf"));
        EXPECT_FALSE(connect());
        EXPECT_TRUE(view->hasLine(c.line)) << c.line;
        // Not one line of a bad script reaches the chip.
        EXPECT_EQ(writesFrom({'J', 'D', 0xFF, 0xFF, 0xFF, 0xFF}),
                  (Writes{{'J', 'D', 0xFF, 0xFF, 0xFF, 0xFF}, {'J', 'S'}, {'O'}}));
        EXPECT_FALSE(model([](sim::NuvModel& m) { return m.scriptPlayed; }));
        expectIdle();
    }
    // A jig that stops answering half-way through the script.
    rig(std::string(kEpm240) + ",nuv-silent-after=40");
    EXPECT_FALSE(connect());
    EXPECT_EQ(view->lines().end()[-2].rfind("Break! No answer from the programmer at script line ", 0), 0u);
    EXPECT_EQ(writesFrom({'J', 'S'}), (Writes{{'J', 'S'}, {'O'}}));
    EXPECT_LT(sim->clock().nowMs(), 10000);
    expectIdle();
}

TEST_F(NuvTransfer, ReadEqualsTheFlash) {
    rig(kEpm240);
    ASSERT_TRUE(read("dump.bin"));
    EXPECT_EQ(qjt::readBytes(dir.file("dump.bin")), targetFlash());
    const Writes w = writesFrom({'J', 'T', 0x5A, 0xE0, 0xEE, 0xFF, 0xC0, 0x00});
    Writes want = {w.front(), {'B'}};
    for (int k = 0; k < 512; ++k) want.push_back({'J', 'R'});
    for (auto x : Writes{{'I'}, {'S', 'R'}, {'J', 'S'}}) want.push_back(x);
    EXPECT_EQ(w, want);
    const auto ls = view->lines();
    EXPECT_EQ(std::vector<std::string>(ls.end() - 3, ls.end()),
              (std::vector<std::string>{"Data from NUVOTON save to file: " + dir.file("dump.bin"),
                                        "Reading ...       <time>", "Reading complete. <time>"}));
    EXPECT_EQ(view->gaugeColour(), kGreen);
    EXPECT_EQ(view->gaugePosition(), 512);
    ASSERT_FALSE(view->boxes().empty());
    EXPECT_EQ(view->boxes().back().text, "Please disconnect the power supply from the motherboard!");
    expectIdle();
}

TEST_F(NuvTransfer, LostOrOverlongBlockEndsTheRead) {
    struct Case {
        std::string spec;
        std::string line;
        size_t kept;
    };
    for (const Case& c : {Case{"nuv-read-silent-at=10", "Block 9 did not come within 3 s. Reading stopped.", 9 * 256},
                          Case{"nuv-read-overlong-at=3", "Block 2: more than 256 bytes came. Reading stopped.", 2 * 256}}) {
        rig(std::string(kEpm240) + "," + c.spec);
        EXPECT_FALSE(read("dump.bin"));
        EXPECT_TRUE(view->hasLine(c.line)) << c.spec;
        EXPECT_EQ(qjt::readBytes(dir.file("dump.bin")).size(), c.kept);
        EXPECT_EQ(writesFrom({'O'}), (Writes{{'O'}, {'S', 'R'}, {'J', 'S'}}));
        EXPECT_EQ(view->boxes().back().text, kProtocolBox);
        expectIdle();
    }
}

TEST_F(NuvTransfer, WriteLeavesTheFlashEqualToTheFile) {
    rig(kEpm240);
    const auto image = randomImage(131072, 3);
    ASSERT_TRUE(write(image));
    EXPECT_EQ(targetFlash(), image);
    EXPECT_EQ(model([](sim::NuvModel& m) { return m.sectorsErased; }), 32);
    EXPECT_EQ(model([](sim::NuvModel& m) { return m.blocksProgrammed; }), 512);
    const auto ls = view->lines();
    EXPECT_EQ(std::vector<std::string>(ls.end() - 5, ls.end()),
              (std::vector<std::string>{"Write from file: " + dir.file("in.bin"), "Erase blocks... <time>",
                                        "Erase complete! <time>    status=00h", "Write bytes ... ",
                                        "Write complete! <time>"}));
    EXPECT_TRUE(view->hasEvent("gauge colour " + std::to_string(kFuchsia)));
    EXPECT_TRUE(view->hasEvent("gauge pos 32"));
    EXPECT_EQ(view->gaugeColour(), kRed);
    EXPECT_EQ(view->gaugePosition(), 512);
    EXPECT_EQ(writesFrom({'I'}), (Writes{{'I'}, {'S', 'R'}, {'J', 'S'}}));

    // A shorter file: the rest of the flash is FFh, all 512 blocks are written.
    const auto shorter = randomImage(1000, 4);
    rig(kNpce);
    ASSERT_TRUE(write(shorter));
    auto want = shorter;
    want.resize(131072, 0xFF);
    EXPECT_EQ(targetFlash(), want);
    EXPECT_EQ(model([](sim::NuvModel& m) { return m.blocksProgrammed; }), 512);
    expectIdle();
}

TEST_F(NuvTransfer, RefusedBatchStopsTheWrite) {
    // Batches 1-32 erase (their answers are not looked at), 33 sets up, then data and descriptor per block.
    struct Case {
        int at;
        std::string line;
    };
    for (const Case& c : {Case{5, ""}, Case{33, "FAULT first !=22  EEh"}, Case{34, "FAULT A_gr  !=22h  EEh"},
                          Case{35, "FAULT B_gr  !=22h  EEh"}, Case{33 + 2 * 511 + 2, "FAULT B_gr  !=22h  EEh"}}) {
        rig(std::string(kEpm240) + ",nuv-batch-fail-at=" + std::to_string(c.at));
        const bool ok = write(randomImage(131072, 5));
        if (c.line.empty()) {
            EXPECT_TRUE(ok);
            continue;
        }
        EXPECT_FALSE(ok) << c.at;
        EXPECT_EQ(view->lines().back(), c.line);
        EXPECT_FALSE(view->hasLine("Write complete! <time>"));
        EXPECT_EQ(writesFrom({'O'}), (Writes{{'O'}, {'S', 'R'}, {'J', 'S'}}));
        EXPECT_EQ(view->boxes().back().text, kProtocolBox);
        expectIdle();
    }
}

TEST_F(NuvTransfer, JigThatIgnoresAnswersWritesThroughARefusedBatch) {
    // "NPCE VC": one status poll per sector, and no batch answer is looked at:
    // the last block's refused descriptor goes unnoticed.
    rig(std::string(kNpce) + ",ident=NPCE VC,nuv-batch-fail-at=1057");
    const auto image = randomImage(131072, 6);
    EXPECT_TRUE(write(image));
    EXPECT_TRUE(view->hasLine("Write complete! <time>"));
    const Writes w = sim->hostWrites();
    const std::vector<uint8_t> statusOpcode = {'J', 'D', 0x05, 0, 0, 0};
    EXPECT_EQ(std::count(w.begin(), w.end(), statusOpcode), 32);
    const auto flash = targetFlash();
    EXPECT_TRUE(std::equal(image.begin(), image.end() - 256, flash.begin()));
    EXPECT_EQ(std::vector<uint8_t>(flash.end() - 256, flash.end()), std::vector<uint8_t>(256, 0xFF));
    expectIdle();
}

TEST_F(NuvTransfer, SectorThatNeverFinishesEndsTheWrite) {
    rig(std::string(kEpm240) + ",nuv-erase-stuck=5");
    const int64_t t0 = sim->clock().nowMs();
    EXPECT_FALSE(write(randomImage(131072, 7)));
    EXPECT_LT(sim->clock().nowMs() - t0, 8000);
    EXPECT_EQ(view->lines().back(), "Sector 5 is still busy after 5 s: status=03h. Erase stopped.");
    // Sectors 0 to 4 were erased.
    const auto ev = view->events();
    const auto erase = std::find(ev.begin(), ev.end(), "gauge colour " + std::to_string(kFuchsia));
    std::string lastPos;
    for (auto it = erase; it != ev.end(); ++it)
        if (it->rfind("gauge pos ", 0) == 0) lastPos = *it;
    EXPECT_EQ(lastPos, "gauge pos 5");
    EXPECT_EQ(view->boxes().back().text, kProtocolBox);
    expectIdle();
}

TEST_F(NuvTransfer, ImageFilesThatAreNotWrittenAndCancelledDialogs) {
    rig(kEpm240);
    ASSERT_TRUE(connect());
    sim->clearRecord();
    const auto before = targetFlash();
    std::filesystem::create_directory(dir.file("folder"));
    qjt::writeBytes(dir.file("empty.bin"), {});
    for (const std::string& f : {dir.file("empty.bin"), dir.file("folder"), dir.file("missing.bin")}) {
        view->openAnswers.push_back(f);
        core->BitBtn_NUV_JTAG_WRClick();
    }
    EXPECT_EQ(view->boxes().size(), 3u + 1);  // after the power box
    for (size_t i = 1; i < 4; ++i) EXPECT_EQ(view->boxes()[i].text, "Error open file!");
    view->openAnswers.push_back(std::string());  // an empty name is a cancel
    core->BitBtn_NUV_JTAG_WRClick();
    EXPECT_EQ(view->lines().end()[-2], "Read to file is interrupted. All stop.");
    core->BitBtn_NUV_JTAG_RDClick();
    EXPECT_EQ(view->lines().end()[-2], "Write to file is interrupted. All stop.");
    // No dump goes where it cannot be stored, nor into a FIFO (which would wait for a reader).
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const std::string& f : {dir.file("no/such/dir/x.bin"), dir.file("fifo"), dir.file("folder")}) {
        const size_t boxes = view->boxes().size();
        view->saveAnswers.push_back(f);
        core->BitBtn_NUV_JTAG_RDClick();
        ASSERT_EQ(view->boxes().size(), boxes + 1) << f;
        EXPECT_EQ(view->boxes().back().text, "Error create file!") << f;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir.file("fifo")));
    // Nothing but the identification reached the jig; the window still offers the transfer.
    for (const auto& w : sim->hostWrites()) EXPECT_EQ(w, std::vector<uint8_t>{'B'});
    EXPECT_EQ(core->step(), Step::Transfer);
    EXPECT_TRUE(core->idle());
    EXPECT_EQ(sim->openHandles(), 0u);
    EXPECT_EQ(targetFlash(), before);
}

TEST_F(NuvTransfer, BusyUntilTheTimerHasClosedTheLink) {
    rig(kEpm240);
    ASSERT_TRUE(connect());
    view->saveAnswers.push_back(dir.file("dump.bin"));
    core->BitBtn_NUV_JTAG_RDClick();
    core->waitIdle();
    // The worker has ended and enabled the settings button; the link is still open.
    EXPECT_EQ(core->step(), Step::Settings);
    EXPECT_EQ(core->busy(), "NUVOTON_READ");
    EXPECT_EQ(sim->openHandles(), 1u);
    sim->clearRecord();
    core->BitBtn_SETTINGSClick();
    core->BitBtn_EXIT_NUVClick();
    EXPECT_TRUE(sim->hostWrites().empty());
    EXPECT_FALSE(view->hasEvent("show Form1 1"));
    core->Timer_MSG_ERTimer();
    EXPECT_EQ(sim->hostWrites(), (Writes{{'S', 'R'}, {'J', 'S'}}));
    expectIdle();

    // Leaving: the chip is released, the steps, counter, gauge and log reset.
    sim->clearRecord();
    core->BitBtn_EXIT_NUVClick();
    EXPECT_EQ(sim->hostWrites(), (Writes{{'B'}, {'S', 'R'}, {'J', 'S'}}));
    const auto ev = view->events();
    const std::vector<std::string> tail(ev.end() - 5, ev.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"text StaticText_in_counter ", "gauge pos 0", "clear log", "show Form1 1",
                                              "show Form_NUVOTON_JTAG 0"}));
    expectIdle();
}

}  // namespace
