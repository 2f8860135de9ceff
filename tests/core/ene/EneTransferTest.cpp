#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "modes/ene/EneWiring.h"
#include "modes/ene/EneCore.h"
#include "sim/EneModel.h"
#include "sim/SimFtdi.h"
#include "support/TestSupport.h"

using namespace qj;
using namespace qj::ene;
using Writes = std::vector<std::vector<uint8_t>>;
using Outcome = EneCore::Outcome;

namespace {

using qjt::randomImage;

Writes readTrace() {
    Writes w = {{'B'}, {'v'}, {'I'}, {'R'}};
    for (int i = 0; i < 511; ++i) w.push_back({'N'});
    w.push_back({'X'});
    w.push_back({'I'});
    return w;
}

Writes writeTrace(const std::vector<uint8_t>& image) {
    Writes w = {{'B'}, {'v'}, {'I'}};
    for (int k = 0; k < 512; ++k) {
        w.push_back({'W'});
        w.emplace_back(image.begin() + k * 256, image.begin() + (k + 1) * 256);
    }
    w.push_back({'X'});
    for (int k = 0; k < 512; ++k) w.push_back({'R'});
    w.push_back({'X'});
    w.push_back({'I'});
    return w;
}

class EneTransfer : public ::testing::Test {
protected:
    void rig(const std::string& spec, qjt::RecordingView* v = nullptr) {
        sim = qjt::makeSim("jig=ENE_EDID_KB," + spec);
        core = std::make_unique<EneCore>(*sim, v ? *v : view);
        core->FormCreate();
    }
    std::vector<uint8_t> targetFlash() {
        std::vector<uint8_t> f;
        sim->withLock([&] { f = sim->board().model<sim::EneModel>().flash; });
        return f;
    }
    bool read(const std::string& file) {
        view.saveAnswers.push_back(dir.file(file));
        core->KB901X_READClick();
        core->waitIdle();
        return core->lastOutcome() == Outcome::Ok;
    }
    bool write(const std::vector<uint8_t>& image) {
        qjt::writeBytes(dir.file("in.bin"), image);
        view.openAnswers.push_back(dir.file("in.bin"));
        core->KB901X_WRITEClick();
        core->waitIdle();
        return core->lastOutcome() == Outcome::Ok;
    }
    // The window is idle and usable, with the link closed.
    void expectIdle() {
        EXPECT_TRUE(core->idle());
        EXPECT_EQ(sim->openHandles(), 0u);
        const auto ev = view.events();
        for (const char* b : {"KB901X_READ", "KB901X_WRITE", "EXIT_KB901X"}) {
            const std::string on = std::string("enable ") + b + " 1", off = std::string("enable ") + b + " 0";
            const auto lastOn = std::find(ev.rbegin(), ev.rend(), on), lastOff = std::find(ev.rbegin(), ev.rend(), off);
            EXPECT_TRUE(lastOff == ev.rend() || lastOn < lastOff) << b << " left disabled";
        }
        EXPECT_TRUE(sim->errors().empty());
    }
    int countLines(const std::string& l) {
        auto ls = view.lines();
        return static_cast<int>(std::count(ls.begin(), ls.end(), l));
    }

    qjt::ScratchDir dir;
    qjt::RecordingView view;
    std::unique_ptr<sim::SimFtdi> sim;
    std::unique_ptr<EneCore> core;
};

TEST_F(EneTransfer, ReadStreamsTheWholeFlashIntoTheFile) {
    rig("ene-pattern=random,ene-seed=7");
    ASSERT_TRUE(read("dump.bin"));
    EXPECT_EQ(sim->hostWrites(), readTrace());
    const auto dump = qjt::readBytes(dir.file("dump.bin"));
    ASSERT_EQ(dump.size(), 131072u);
    EXPECT_EQ(dump, targetFlash());
    const std::vector<std::string> want = {
        "Number of VCOM ports found on the machine: 1",
        "Version FW -> ENE_EDID_KB",
        "Communication with programmer installed.",
        "Communication with KB90XX installed.",
        "Embedded Debug Version ID = 36",
        "Save the file: ",
        dir.file("dump.bin"),
        "Reading KB90XX ...",
        "Current time  <time>",
        "Reading completed successfully.",
        "Current time  <time>",
    };
    EXPECT_EQ(view.lines(), want);
    EXPECT_EQ(view.gaugeMaximum(), 32768);
    EXPECT_EQ(view.gaugePosition(), 32768);
    EXPECT_EQ(view.gaugeColour(), kGreen);
    EXPECT_TRUE(view.hasEvent("gauge pos 640"));  // 64 per block
    EXPECT_TRUE(view.hasEvent("enable KB901X_WRITE 0"));
    EXPECT_TRUE(view.hasEvent("enable EXIT_KB901X 0"));
    EXPECT_FALSE(view.hasEvent("enable KB901X_READ 0"));
    expectIdle();
}

TEST_F(EneTransfer, WriteStoresTheImageAndVerifiesIt) {
    rig("");
    const auto image = randomImage(131072, 3);
    ASSERT_TRUE(write(image));
    EXPECT_EQ(sim->hostWrites(), writeTrace(image));
    EXPECT_EQ(targetFlash(), image);
    const auto ls = view.lines();
    const std::vector<std::string> tail(ls.end() - 7, ls.end());
    const std::vector<std::string> want = {"There is a writing KB90XX...", "Current time  <time>",
                                           "Writing is completed ...",     "Verification ...",
                                           "!!! Data is written correctly !!! ", "Current time  <time>"};
    EXPECT_EQ(std::vector<std::string>(tail.begin() + 1, tail.end()), want);
    EXPECT_EQ(tail[0], dir.file("in.bin"));
    EXPECT_EQ(view.gaugeColour(), kYellow);
    EXPECT_EQ(view.gaugePosition(), 32768);
    EXPECT_TRUE(view.hasEvent("gauge colour " + std::to_string(kRed)));
    EXPECT_TRUE(view.hasEvent("enable KB901X_READ 0"));
    expectIdle();
}

TEST_F(EneTransfer, ImageFileSizes) {
    rig("");
    // Longer than the flash: only the first 131072 bytes count.
    const auto longer = randomImage(131072 + 4096, 11);
    ASSERT_TRUE(write(longer));
    EXPECT_EQ(targetFlash(), std::vector<uint8_t>(longer.begin(), longer.begin() + 131072));
    // Shorter: the rest is erased flash, not what the previous file left in the buffer.
    const auto shorter = randomImage(1000, 12);
    ASSERT_TRUE(write(shorter));
    auto want = shorter;
    want.resize(131072, 0xFF);
    EXPECT_EQ(targetFlash(), want);
    expectIdle();
}

TEST_F(EneTransfer, LostTargetAtBlockTenKeepsTenBlocks) {
    rig("ene-lost-at=10");
    EXPECT_FALSE(read("dump.bin"));
    EXPECT_EQ(qjt::readBytes(dir.file("dump.bin")).size(), 2560u);
    Writes want = {{'B'}, {'v'}, {'I'}, {'R'}};
    for (int i = 0; i < 9; ++i) want.push_back({'N'});
    want.push_back({'O'});  // no 'X' after a lost target
    EXPECT_EQ(sim->hostWrites(), want);
    EXPECT_EQ(view.lines().end()[-2], kLostLine);
    EXPECT_EQ(view.gaugePosition(), 640);
    expectIdle();
}

TEST_F(EneTransfer, LostTargetDuringWriteAndVerify) {
    for (int at : {5, 512 + 5}) {
        view.saveAnswers.clear();
        rig("ene-lost-at=" + std::to_string(at));
        EXPECT_FALSE(write(randomImage(131072, 5)));
        const auto w = sim->hostWrites();
        EXPECT_EQ(w.back(), std::vector<uint8_t>{'O'}) << at;
        EXPECT_NE(w[w.size() - 2], std::vector<uint8_t>{'X'}) << at;
        EXPECT_EQ(view.lines().end()[-2], kLostLine);
        EXPECT_EQ(countLines("!!! Data is written correctly !!! "), 0);
        expectIdle();
    }
}

TEST_F(EneTransfer, DifferenceInTheLastByteFailsTheVerify) {
    rig("ene-stuck=131071");  // the last cell keeps its value
    auto image = targetFlash();
    image.back() ^= 0x5A;
    EXPECT_FALSE(write(image));
    const auto w = sim->hostWrites();
    EXPECT_EQ(std::count(w.begin(), w.end(), std::vector<uint8_t>{'R'}), 512);
    EXPECT_EQ(w.end()[-2], std::vector<uint8_t>{'X'});
    EXPECT_EQ(w.back(), std::vector<uint8_t>{'O'});
    EXPECT_EQ(view.lines().end()[-2], "!!! Data is written incorrectly !!! ");
    EXPECT_EQ(view.gaugePosition(), 32704);  // the 512th block was not counted
    expectIdle();
}

TEST_F(EneTransfer, DebugVersionByte) {
    rig("ene-version=0");
    ASSERT_TRUE(read("a.bin"));
    EXPECT_TRUE(view.hasLine("Embedded Debug Version ID = 0"));

    qjt::RecordingView v2;
    rig("ene=absent", &v2);
    v2.saveAnswers.push_back(dir.file("b.bin"));
    core->KB901X_READClick();
    const auto ls = v2.lines();
    const std::vector<std::string> tail(ls.end() - 4, ls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"", "No connection to the KB90XX!", "Check the settings !",
                                              "Motherboard is connected / powered ?"}));
    EXPECT_EQ(v2.saveAsked, 0);
    EXPECT_EQ(sim->hostWrites(), (Writes{{'B'}, {'v'}, {'O'}}));
    EXPECT_EQ(core->lastOutcome(), Outcome::Failed);
    EXPECT_EQ(sim->openHandles(), 0u);
}

TEST_F(EneTransfer, AdapterBracketsTheCheckAndTheTransfer) {
    qjt::writeFile(kWiringFile, "Board KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\n");
    rig("kestra=1-2");
    core->ComboBox_KB901XSelect(0);
    ASSERT_EQ(core->labelResult(), " Selected KESTRA board ");
    sim->clearRecord();
    ASSERT_TRUE(read("dump.bin"));
    Writes want = {{'B'}, {'V', '1'}, {'v'}, {'V', '0'}, {'I'}, {'V', '1'}, {'R'}};
    for (int i = 0; i < 511; ++i) want.push_back({'N'});
    for (auto w : Writes{{'X'}, {'I'}, {'V', '0'}}) want.push_back(w);
    EXPECT_EQ(sim->hostWrites(), want);

    sim->clearRecord();
    const auto image = randomImage(131072, 9);
    ASSERT_TRUE(write(image));
    auto w = sim->hostWrites();
    ASSERT_GE(w.size(), 8u);
    EXPECT_EQ(Writes(w.begin(), w.begin() + 6), (Writes{{'B'}, {'V', '1'}, {'v'}, {'V', '0'}, {'I'}, {'V', '1'}}));
    EXPECT_EQ(Writes(w.end() - 3, w.end()), (Writes{{'X'}, {'I'}, {'V', '0'}}));
    int on = 0, off = 0;
    sim->withLock([&] {
        on = sim->board().model<sim::KestraModel>().switchedOn;
        off = sim->board().model<sim::KestraModel>().switchedOff;
    });
    EXPECT_EQ(on, 4);
    EXPECT_EQ(off, 4);
    expectIdle();
}

TEST_F(EneTransfer, LostTargetWithTheAdapterStillSwitchesItOff) {
    qjt::writeFile(kWiringFile, "Board KSO3=7 KSI4=8 KSI7=9 KSI6=10 KSI5=11\n");
    rig("kestra=31-32,ene-lost-at=3");
    core->ComboBox_KB901XSelect(0);
    sim->clearRecord();
    EXPECT_FALSE(read("dump.bin"));
    const auto w = sim->hostWrites();
    EXPECT_EQ(Writes(w.end() - 2, w.end()), (Writes{{'O'}, {'V', '0'}}));
    expectIdle();
}

TEST_F(EneTransfer, SilentJigEndsTheTransferWithinItsBound) {
    rig("ene-silent-after=5");
    const int64_t t0 = sim->clock().nowMs();
    EXPECT_FALSE(read("dump.bin"));
    EXPECT_LT(sim->clock().nowMs() - t0, 10000);
    EXPECT_EQ(qjt::readBytes(dir.file("dump.bin")).size(), 5u * 256);
    EXPECT_EQ(view.lines().end()[-2], kLostLine);
    EXPECT_EQ(sim->hostWrites().back(), std::vector<uint8_t>{'O'});
    expectIdle();

    view.saveAnswers.clear();
    rig("ene-silent-after=5");
    EXPECT_FALSE(write(randomImage(131072, 1)));
    EXPECT_EQ(sim->hostWrites().back(), std::vector<uint8_t>{'O'});
    expectIdle();
}

TEST_F(EneTransfer, OverlongBlockAnswerIsAProtocolFaultNotAHang) {
    rig("ene-overlong-at=3");
    EXPECT_FALSE(read("dump.bin"));
    EXPECT_TRUE(view.hasLine("Block answer longer than 257 bytes: protocol error."));
    EXPECT_EQ(sim->hostWrites().back(), std::vector<uint8_t>{'O'});
    expectIdle();
}

// Holds the worker at a chosen gauge position until the test lets it go.
class GatedView : public qjt::RecordingView {
public:
    void gaugePos(int pos) override {
        RecordingView::gaugePos(pos);
        if (pos != holdAt) return;
        std::unique_lock<std::mutex> l(mu);
        reached = true;
        cv.notify_all();
        cv.wait(l, [&] { return released; });
    }
    bool waitReached() {
        std::unique_lock<std::mutex> l(mu);
        return cv.wait_for(l, std::chrono::seconds(20), [&] { return reached; });
    }
    void release() {
        std::lock_guard<std::mutex> l(mu);
        released = true;
        cv.notify_all();
    }
    int holdAt = 320;

private:
    std::mutex mu;
    std::condition_variable cv;
    bool reached = false, released = false;
};

TEST_F(EneTransfer, SecondPressWhileBusyDoesNothing) {
    GatedView gv;
    rig("", &gv);
    gv.saveAnswers.push_back(dir.file("dump.bin"));
    core->KB901X_READClick();
    ASSERT_TRUE(gv.waitReached());
    EXPECT_EQ(core->busy(), "Reading");
    gv.saveAnswers.push_back(dir.file("other.bin"));
    core->KB901X_READClick();
    core->KB901X_WRITEClick();
    core->EXIT_KB901XClick();
    EXPECT_EQ(gv.saveAsked, 1);
    EXPECT_EQ(gv.openAsked, 0);
    EXPECT_FALSE(gv.hasEvent("show Form1 1"));
    gv.release();
    core->waitIdle();
    EXPECT_EQ(core->lastOutcome(), Outcome::Ok);
    EXPECT_EQ(sim->hostWrites(), readTrace());
    EXPECT_EQ(sim->openHandles(), 0u);
}

TEST_F(EneTransfer, DialogAndFileFailuresCloseTheLink) {
    rig("");
    // Save dialog cancelled.
    core->KB901X_READClick();
    EXPECT_EQ(view.lines().end()[-2], "Write to file is interrupted.");
    EXPECT_EQ(view.lines().back(), "");
    EXPECT_EQ(sim->openHandles(), 0u);
    // Open dialog cancelled.
    core->KB901X_WRITEClick();
    EXPECT_EQ(view.lines().back(), "Write operation is interrupted.");
    // File cannot be created / opened.
    view.saveAnswers.push_back(dir.file("no/such/dir/x.bin"));
    core->KB901X_READClick();
    view.openAnswers.push_back(dir.file("missing.bin"));
    core->KB901X_WRITEClick();
    const auto boxes = view.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Ошибка создания файла.");
    EXPECT_EQ(boxes[1].text, "Error open file!");
    EXPECT_EQ(sim->openHandles(), 0u);
    // None of them touched the flash or started a block transfer.
    for (const auto& w : sim->hostWrites()) EXPECT_TRUE(w != std::vector<uint8_t>{'R'} && w != std::vector<uint8_t>{'W'});
    EXPECT_EQ(countLines("Current time  <time>"), 0);
}

TEST_F(EneTransfer, EmptyOrNonRegularImageIsRefusedBeforeAnyBlock) {
    rig("");
    const auto before = targetFlash();
    qjt::writeBytes(dir.file("empty.bin"), {});
    const std::string paths[] = {dir.file("empty.bin"), dir.path().string(), "/dev/zero"};
    for (const auto& p : paths) view.openAnswers.push_back(p);
    for (const auto& p : paths) {
        core->KB901X_WRITEClick();
        ASSERT_FALSE(view.boxes().empty()) << p;
        EXPECT_EQ(view.boxes().back().text, "Error open file!") << p;
        EXPECT_EQ(sim->openHandles(), 0u) << p;
    }
    EXPECT_EQ(view.boxes().size(), 3u);
    EXPECT_EQ(targetFlash(), before);
    for (const auto& w : sim->hostWrites()) EXPECT_NE(w, std::vector<uint8_t>{'W'});
    EXPECT_EQ(countLines("Current time  <time>"), 0);
    expectIdle();
}

TEST_F(EneTransfer, DumpThatCannotBeStoredIsNotReportedAsRead) {
    rig("");
    view.saveAnswers.push_back(dir.file("full.bin"));
    {
        qjt::FullDisk full(4096);
        core->KB901X_READClick();
        core->waitIdle();
    }
    EXPECT_EQ(core->lastOutcome(), Outcome::Failed);
    EXPECT_TRUE(view.hasLine("Error writing the file!"));
    EXPECT_FALSE(view.hasLine("Reading completed successfully."));
    const auto w = sim->hostWrites();
    EXPECT_EQ(Writes(w.end() - 2, w.end()), (Writes{{'X'}, {'O'}}));
    expectIdle();
}

TEST_F(EneTransfer, WrongFirmwareStopsAfterTheLinkMessages) {
    rig("");
    sim = qjt::makeSim("jig=V42");
    core = std::make_unique<EneCore>(*sim, view);
    core->KB901X_READClick();
    EXPECT_EQ(view.lines().back(), "It is necessary to update the firmware programmer!");
    EXPECT_EQ(sim->hostWrites(), (Writes{{'B'}}));
    EXPECT_EQ(view.saveAsked, 0);
}

}  // namespace
