#include <charconv>
#include <unistd.h>

#include "cli/Cli.h"

namespace qj::cli {

void CliView::log(const std::string& line) {
    endProgress();
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void CliView::gaugePos(int pos) {
    if (!progress || max_ <= 0) return;
    const int width = 40;
    const int fill = static_cast<int>(static_cast<long long>(std::min(pos, max_)) * width / max_);
    std::string bar(static_cast<size_t>(fill), '#');
    bar.resize(width, '.');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), static_cast<int>(static_cast<long long>(pos) * 100 / max_));
    std::fflush(stderr);
    drawn_ = true;
}

void CliView::endProgress() {
    if (drawn_) {
        std::fputc('\n', stderr);
        drawn_ = false;
    }
}

void CliView::setText(const std::string& control, const std::string& text) { texts[control] = text; }

void CliView::messageBox(BoxKind kind, const std::string& text) {
    endProgress();
    ++boxes;
    std::string t;
    for (char ch : text) t += (ch == '\n') ? std::string("\\n") : std::string(1, ch);
    const char* k = kind == BoxKind::Error ? "error" : kind == BoxKind::Warning ? "warning" : "information";
    std::printf("!box %s: %s\n", k, t.c_str());
    std::fflush(stdout);
}

void CliView::showWindow(const std::string&, bool) {}

// Timers are only noted: nothing fires them here. The reset prompt of the
// version 3 update is printed at once instead of 200 ms later.
void CliView::armTimer(const std::string& timer) {
    timersArmed.push_back(timer);
    if (timer == kResetPromptTimer) messageBox(BoxKind::Information, " Please press the reset button on the JIG!");
}

bool parseCount(const std::string& s, int64_t max, int64_t& v) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) return false;
    int64_t n = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc{} || end != s.data() + s.size() || n > max) return false;
    v = n;
    return true;
}

}  // namespace qj::cli
