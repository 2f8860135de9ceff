#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "modes/keyboard/KeyboardCore.h"
#include "support/TestSupport.h"

using namespace qj;
using namespace qj::keyboard;
using qjt::makeSim;
using qjt::RecordingView;
using Bytes = std::vector<uint8_t>;
using Pairs = std::vector<std::pair<int, int>>;

namespace {
// One scan against the virtual jig. `hook` runs on the worker after each
// report; the scan is stopped (as STOP does) once `stopAfter` reports holding
// keys have been handled, or `stopAfterAny` reports of any kind.
struct Scan {
    explicit Scan(const std::string& spec) : sim(makeSim(spec)), core(*sim, view) { core.FormCreate(); }

    void run(int stopAfter, int stopAfterAny = 1 << 30) {
        core.setObserver([this, stopAfter, stopAfterAny](const KeyboardCore::Report& r) {
            reports.push_back(r);
            times.push_back(sim->clock().nowMs());
            if (!r.pairs.empty()) ++withKeys;
            if (hook) hook(r);
            if (withKeys >= stopAfter || int(reports.size()) >= stopAfterAny) core.START_SCANClick();
        });
        core.START_SCANClick();
        core.waitIdle();
    }
    // The colours painted into one cell, in order.
    std::vector<uint32_t> paints(const std::string& cell) const {
        std::vector<uint32_t> out;
        const std::string prefix = "colour " + cell + " ";
        for (const auto& e : view.events())
            if (e.rfind(prefix, 0) == 0) out.push_back(static_cast<uint32_t>(std::stoul(e.substr(prefix.size()))));
        return out;
    }
    int cellPaints() const {
        int n = 0;
        for (const auto& e : view.events()) n += e.rfind("colour Shape", 0) == 0;
        return n;
    }
    int sent(uint8_t cmd) {
        int n = 0;
        for (const auto& w : sim->hostWrites()) n += (w == Bytes{cmd});
        return n;
    }
    std::string status() const {
        std::string s;
        for (const auto& e : view.events())
            if (e.rfind("text Label_keyb_con ", 0) == 0) s = e.substr(20);
        return s;
    }

    std::unique_ptr<sim::SimFtdi> sim;
    RecordingView view;
    KeyboardCore core;
    std::function<void(const KeyboardCore::Report&)> hook;
    std::vector<KeyboardCore::Report> reports;
    std::vector<int64_t> times;
    int withKeys = 0;
};

const std::string kHeld12 = "keys=1-2@0-100000";
}  // namespace

TEST(KeyboardReport, PairsAndCells) {
    struct Case {
        Bytes report;
        Pairs pairs;
    } cases[] = {
        {{'>', 1, 2, '>', 5, 9, 12, '&'}, {{1, 2}, {5, 9}, {5, 12}}},
        {{1, 2, 3, '&'}, {{1, 2}, {1, 3}}},
        {{'&'}, {}},
        {{'>', 4, '>', 6, 7, '&', 8}, {{6, 7}}},
    };
    for (const auto& c : cases) EXPECT_EQ(KeyboardCore::parsePairs(c.report.data(), c.report.size()), c.pairs);
    for (int code : {2, 32, 35, 64, 992}) EXPECT_TRUE(KeyboardCore::isCell(code)) << code;
    for (int code : {0, 1, 33, 34, 131, 993, 1024, 1025, -30}) EXPECT_FALSE(KeyboardCore::isCell(code)) << code;
}

TEST(KeyboardScan, HeldKeyTogglesRedYellowRedAndSoundsEachTime) {
    Scan s(kHeld12);
    s.run(3);
    EXPECT_EQ(s.paints("Shape2"), (std::vector<uint32_t>{kRed, kYellow, kRed}));
    EXPECT_EQ(s.core.cellColor(2), kRed);
    EXPECT_EQ(s.sent('I'), 3);
    EXPECT_EQ(s.reports.back().bytes, (Bytes{'>', 1, 2, '&'}));
}

TEST(KeyboardScan, EmptyReportsPaintAndSoundNothing) {
    Scan s("");
    s.run(1 << 30, 20);
    ASSERT_EQ(s.reports.size(), 20u);
    for (const auto& r : s.reports) EXPECT_EQ(r.bytes, Bytes{'&'});
    EXPECT_EQ(s.cellPaints(), 0);
    EXPECT_EQ(s.sent('I'), 0);
    EXPECT_EQ(s.sent('U'), 20);
}

TEST(KeyboardScan, ReversedPairNamesNoCell) {
    Scan s("keys=5-3@0-100000");
    s.run(3);
    EXPECT_EQ(s.reports.back().pairs, (Pairs{{5, 3}}));
    EXPECT_FALSE(s.reports.back().keyFound);
    EXPECT_EQ(s.cellPaints(), 0);
    EXPECT_EQ(s.sent('I'), 0);
    EXPECT_EQ(s.core.cellColor(131), kAqua);
}

TEST(KeyboardScan, HiddenKeysTurnBlackThenStaySilentWhileOthersPaint) {
    // 3-7 held from the start; 1-2 tapped later. Hide is checked after the first report.
    Scan s("keys=3-7@0-100000;1-2@420");
    int twelve = 0;
    s.hook = [&](const KeyboardCore::Report& r) {
        if (s.withKeys == 1) s.core.CheckBox_HIDEClick(true);
        for (auto p : r.pairs) twelve += (p == std::pair<int, int>{1, 2});
        if (twelve == 2) s.core.START_SCANClick();
    };
    s.run(1 << 30);
    EXPECT_EQ(s.paints("Shape71"), (std::vector<uint32_t>{kRed, kBlack}));
    EXPECT_EQ(s.paints("Shape2"), (std::vector<uint32_t>{kRed, kYellow}));
    int silent = 0, sounded = 0;
    for (size_t k = 2; k < s.reports.size(); ++k) {
        const auto& r = s.reports[k];
        if (r.pairs == Pairs{{3, 7}}) silent += !r.keyFound;
        else sounded += r.keyFound;
    }
    EXPECT_GT(silent, 10);
    EXPECT_EQ(sounded, 2);
    EXPECT_EQ(s.sent('I'), 2 + 2);  // the first 3-7 report, the hiding report, two 1-2 reports
    // The stop leaves hiding off; the list stays for inspection.
    EXPECT_EQ(s.core.hiddenList(), std::vector<int>{71});
    EXPECT_EQ(s.core.hideState(), KeyboardCore::Hide::None);
}

TEST(KeyboardScan, BuzzerOffSendsNoSignalAndPausesInstead) {
    for (bool off : {false, true}) {
        SCOPED_TRACE(off);
        Scan s(kHeld12);
        s.core.Buzzer_boxClick(off);
        s.run(2);
        EXPECT_EQ(s.sent('I'), off ? 0 : 2);
        const int64_t gap = s.times[1] - s.times[0];
        if (off) {
            EXPECT_GE(gap, KeyboardCore::kBuzzerOffPauseMs);
            EXPECT_LT(gap, KeyboardCore::kBuzzerOffPauseMs + 20);
        } else {
            EXPECT_LT(gap, 20);
        }
        EXPECT_TRUE(s.view.hasEvent("check Buzzer_box 0"));  // the stop unchecks it
    }
}

TEST(KeyboardScan, StopEndsAfterTheReportInProgress) {
    Scan s(kHeld12);
    s.core.Buzzer_boxClick(true);
    s.core.CheckBox_HIDEClick(false);
    s.hook = [&](const KeyboardCore::Report&) {
        if (s.withKeys == 2) {
            s.core.START_SCANClick();  // STOP
            EXPECT_EQ(s.core.busyState(), "Keyboard");
            s.core.EXIT_KB_TESTClick();  // disabled while scanning: nothing
        }
    };
    s.run(1 << 30);
    EXPECT_EQ(s.withKeys, 2);
    EXPECT_EQ(s.sent('U'), 2);  // no scan left unanswered
    EXPECT_EQ(s.status(), "Press start scan");
    EXPECT_EQ(s.core.busyState(), "NONE");
    auto ev = s.view.events();
    const std::vector<std::string> tail = {"check Buzzer_box 0",         "check CheckBox_HIDE 0",
                                           "enable CheckBox_HIDE 0",     "enable EXIT_KB_TEST 1",
                                           "text START_SCAN START SCAN", "text Label_keyb_con Press start scan",
                                           "colour Label_keyb_con 255"};
    ASSERT_GE(ev.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(ev.end() - static_cast<long>(tail.size()), ev.end()), tail);
    EXPECT_FALSE(s.view.hasEvent("show Form1 1"));
    EXPECT_EQ(s.sim->openHandles(), 0u);
    s.core.EXIT_KB_TESTClick();
    EXPECT_TRUE(s.view.hasEvent("show Form1 1"));
    EXPECT_TRUE(s.view.hasEvent("show Keyboard_testing 0"));
}

// A jig that misses the 500 ms watchdog, goes away or babbles: the error stop.
TEST(KeyboardScan, LostJigStopsWithDeviceNotFound) {
    struct Case {
        std::string spec;
        bool overflow;
    } cases[] = {{"keyboard-delay=600", false},
                 {kHeld12 + ",unplug-at=400", false},
                 {"keyboard-flood=2000", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spec);
        Scan s(c.spec);
        const int64_t t0 = s.sim->clock().nowMs();
        s.run(1 << 30);
        EXPECT_EQ(s.status(), "Device not found");
        EXPECT_EQ(s.core.busyState(), "NONE");
        EXPECT_EQ(s.core.overflowed(), c.overflow);
        EXPECT_EQ(s.view.events().back(), "colour Label_keyb_con 255");
        EXPECT_TRUE(s.view.hasEvent("enable EXIT_KB_TEST 1"));
        EXPECT_TRUE(s.view.hasEvent("text START_SCAN START SCAN"));
        EXPECT_EQ(s.sim->openHandles(), 0u);
        EXPECT_LT(s.sim->clock().nowMs() - t0, 300 + 600 + 100);
    }
}

TEST(KeyboardScan, SlowJigWithinTheWatchdogKeepsScanning) {
    Scan s(kHeld12 + ",keyboard-delay=450");
    s.run(3);
    EXPECT_EQ(s.status(), "Press start scan");
    EXPECT_GE(s.times[2] - s.times[1], 450);
}

TEST(KeyboardScan, OpenFailuresOnlyChangeTheStatus) {
    struct Case {
        std::string spec, status;
    } cases[] = {{"jig=none", "Device not found"}, {"jig=V42", "Please update FW"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spec);
        Scan s(c.spec);
        s.core.START_SCANClick();
        EXPECT_EQ(s.status(), c.status);
        EXPECT_EQ(s.core.busyState(), "NONE");
        EXPECT_FALSE(s.view.hasEvent("enable EXIT_KB_TEST 0"));
        EXPECT_EQ(s.sim->openHandles(), 0u);
    }
}

TEST(KeyboardScan, ClearWhileIdleRepaintsAllCellsAtTheNextScan) {
    Scan s(kHeld12);
    s.run(1);
    EXPECT_EQ(s.core.cellColor(2), kRed);
    s.core.ClearClick();
    const auto before = static_cast<long>(s.view.events().size());
    s.withKeys = 0;
    s.run(1);
    auto ev = s.view.events();
    std::vector<std::string> later(ev.begin() + before, ev.end());
    EXPECT_EQ(std::count_if(later.begin(), later.end(),
                            [](const std::string& e) {
                                return e.rfind("colour Shape", 0) == 0 && e.substr(e.rfind(' ') + 1) == "16776960";
                            }),
              496);
    EXPECT_EQ(std::count(later.begin(), later.end(), "colour Shape992 16776960"), 1);
    // Cleared first, then painted by the report: red again, not yellow.
    EXPECT_EQ(s.paints("Shape2").back(), kRed);
    EXPECT_EQ(s.core.cellColor(2), kRed);
    EXPECT_EQ(s.core.cellColor(3), kAqua);
}
