#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "cli/Cli.h"
#include "modes/keyboard/KeyboardCore.h"

namespace qj::cli {

namespace {
std::atomic<bool> gInterrupted{false};
extern "C" void onInterrupt(int) { gInterrupted.store(true); }

// The tester's status label as lines; the cells are drawn once at the end.
class KeyboardCliView : public CliView {
public:
    void setText(const std::string& control, const std::string& text) override {
        if (control == keyboard::KeyboardCore::kStatusLabel && texts[control] != text) log("status: " + text);
        CliView::setText(control, text);
    }
};

const char* kUsage =
    "usage: qjig keyboard scan [--reports N] [--hide-after N] [--no-buzzer] [--time MS]\n"
    "  --reports N     stop after N reports that hold a key\n"
    "  --hide-after N  after N such reports, hide the keys held at the next one\n"
    "  --no-buzzer     do not sound the jig's buzzer (pause 100 ms instead)\n"
    "  --time MS       stop after MS ms of scanning\n"
    "Without --reports or --time the scan runs until Ctrl-C.\n";
}  // namespace

// The triangle of cells: rows are the first contact, columns the second, in
// blocks of five as on the window. X hit, H hidden, . never reported.
std::string keyboardPicture(const keyboard::KeyboardCore& core) {
    auto col = [](int j) { return 4 + (j - 2) + (j - 1) / 5; };
    std::string head(static_cast<size_t>(col(32) + 1), ' ');
    for (int j : {2, 6, 11, 16, 21, 26, 31}) {
        const std::string n = std::to_string(j);
        head.replace(static_cast<size_t>(col(j)), n.size(), n);
    }
    std::string out = head + "\n";
    for (int i = 1; i <= 31; ++i) {
        std::string row(static_cast<size_t>(col(32) + 1), ' ');
        const std::string n = std::to_string(i);
        row.replace(2 - (n.size() - 1), n.size(), n);
        for (int j = i + 1; j <= 32; ++j) {
            const uint32_t c = core.cellColor((i - 1) * 32 + j);
            row[static_cast<size_t>(col(j))] = c == qj::kAqua ? '.' : c == qj::kBlack ? 'H' : 'X';
        }
        while (!row.empty() && row.back() == ' ') row.pop_back();
        out += row + "\n";
        if (i % 5 == 0) out += "\n";
    }
    return out;
}

static int cmdKeyboard(CliContext& c) {
    if (c.args.empty() || c.args[0] != "scan") {
        std::fputs(kUsage, stderr);
        return kMisuse;
    }
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t reports = -1, hideAfter = -1, timeMs = -1;
    bool noBuzzer = false;
    for (size_t k = 1; k < c.args.size(); ++k) {
        const std::string& a = c.args[k];
        int64_t* target = a == "--reports" ? &reports : a == "--hide-after" ? &hideAfter : a == "--time" ? &timeMs : nullptr;
        if (a == "--no-buzzer") {
            noBuzzer = true;
            continue;
        }
        if (!target) {
            std::fprintf(stderr, "qjig keyboard: unexpected argument \"%s\"\n", a.c_str());
        } else if (k + 1 >= c.args.size()) {
            std::fprintf(stderr, "qjig keyboard: %s needs a value\n", a.c_str());
        } else if (parseCount(c.args[k + 1], kMax, *target)) {
            ++k;
            continue;
        } else {
            std::fprintf(stderr, "qjig keyboard: %s takes a whole number from 0 to %lld, not \"%s\"\n", a.c_str(),
                         static_cast<long long>(kMax), c.args[k + 1].c_str());
        }
        std::fputs(kUsage, stderr);
        return kMisuse;
    }

    KeyboardCliView view;
    keyboard::KeyboardCore core(c.api, view);
    core.FormCreate();
    core.Buzzer_boxClick(noBuzzer);
    int64_t withKeys = 0;
    int64_t startMs = 0;
    core.setObserver([&](const keyboard::KeyboardCore::Report& r) {
        if (!r.pairs.empty()) {
            ++withKeys;
            std::string line = "report " + std::to_string(withKeys) + ":";
            for (const auto& [a, b] : r.pairs) line += " " + std::to_string(a) + "-" + std::to_string(b);
            if (!r.keyFound) line += "   (hidden)";
            view.log(line);
            if (withKeys == hideAfter) core.CheckBox_HIDEClick(true);
        }
        const bool timeUp = timeMs >= 0 && c.api.clock().nowMs() - startMs >= timeMs;
        if ((reports >= 0 && withKeys >= reports) || timeUp || gInterrupted.load()) core.START_SCANClick();
    });
    gInterrupted.store(false);
    auto old = std::signal(SIGINT, onInterrupt);
    startMs = c.api.clock().nowMs();
    core.START_SCANClick();
    core.waitIdle();
    std::signal(SIGINT, old);
    std::fputs(keyboardPicture(core).c_str(), stdout);
    return view.texts[keyboard::KeyboardCore::kStatusLabel] == "Press start scan" ? kOk : kFailed;
}

const ModeCommand kCommand{"keyboard", cmdKeyboard, {
    {"scan", false, {"--reports=", "--hide-after=", "--no-buzzer", "--time="}},
}};

}  // namespace qj::cli
