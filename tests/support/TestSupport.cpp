#include "support/TestSupport.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "sim/SimBackend.h"

namespace qjt {

// The test programs are front ends too: `--sim` and `--backend sim` reach the virtual jig.
namespace {
const bool kSimRegistered = (qj::sim::registerSimBackend(), true);
}

std::unique_ptr<qj::sim::SimFtdi> makeSim(const std::string& spec) {
    return std::make_unique<qj::sim::SimFtdi>(spec.empty() ? std::string("mode=instant") : spec + ",mode=instant");
}

void RecordingView::log(const std::string& line) {
    std::lock_guard<std::mutex> g(mu_);
    lines_.push_back(line);
}
void RecordingView::logLang(qj::Lang lang, const std::string& line) {
    std::lock_guard<std::mutex> g(mu_);
    (lang == qj::Lang::Ru ? lines_ : linesEn_).push_back(line);
}
void RecordingView::clearLog() {
    std::lock_guard<std::mutex> g(mu_);
    lines_.clear();
    linesEn_.clear();
    events_.push_back("clear log");
}
void RecordingView::gaugeColor(uint32_t bgr) {
    std::lock_guard<std::mutex> g(mu_);
    colour_ = bgr;
    events_.push_back("gauge colour " + std::to_string(bgr));
}
void RecordingView::gaugeMax(int max) {
    std::lock_guard<std::mutex> g(mu_);
    max_ = max;
    events_.push_back("gauge max " + std::to_string(max));
}
void RecordingView::gaugePos(int pos) {
    std::lock_guard<std::mutex> g(mu_);
    pos_ = pos;
    events_.push_back("gauge pos " + std::to_string(pos));
}
void RecordingView::setEnabled(const std::string& c, bool on) {
    std::lock_guard<std::mutex> g(mu_);
    events_.push_back("enable " + c + " " + (on ? "1" : "0"));
}
void RecordingView::setText(const std::string& c, const std::string& t) {
    std::lock_guard<std::mutex> g(mu_);
    events_.push_back("text " + c + " " + t);
}
void RecordingView::setColor(const std::string& c, uint32_t bgr) {
    std::lock_guard<std::mutex> g(mu_);
    events_.push_back("colour " + c + " " + std::to_string(bgr));
}
void RecordingView::setChecked(const std::string& c, bool on) {
    std::lock_guard<std::mutex> g(mu_);
    events_.push_back("check " + c + " " + (on ? "1" : "0"));
}
void RecordingView::setVisible(const std::string& c, bool on) {
    std::lock_guard<std::mutex> g(mu_);
    events_.push_back("visible " + c + " " + (on ? "1" : "0"));
}
void RecordingView::messageBox(qj::BoxKind kind, const std::string& text) {
    std::lock_guard<std::mutex> g(mu_);
    boxes_.push_back({kind, text});
    events_.push_back("box " + text);
}
std::optional<std::string> RecordingView::askSavePath() {
    std::lock_guard<std::mutex> g(mu_);
    ++saveAsked;
    events_.push_back("save dialog");
    if (saveAnswers.empty()) return std::nullopt;
    auto a = saveAnswers.front();
    saveAnswers.pop_front();
    return a;
}
std::optional<std::string> RecordingView::askOpenPath() {
    std::lock_guard<std::mutex> g(mu_);
    ++openAsked;
    events_.push_back("open dialog");
    if (openAnswers.empty()) return std::nullopt;
    auto a = openAnswers.front();
    openAnswers.pop_front();
    return a;
}
void RecordingView::showWindow(const std::string& f, bool v) {
    std::lock_guard<std::mutex> g(mu_);
    events_.push_back("show " + f + " " + (v ? "1" : "0"));
}
void RecordingView::armTimer(const std::string& t) {
    std::lock_guard<std::mutex> g(mu_);
    events_.push_back("timer " + t);
}
std::vector<std::string> RecordingView::lines() const {
    std::lock_guard<std::mutex> g(mu_);
    return lines_;
}
std::vector<std::string> RecordingView::linesEn() const {
    std::lock_guard<std::mutex> g(mu_);
    return linesEn_;
}
std::vector<RecordingView::Box> RecordingView::boxes() const {
    std::lock_guard<std::mutex> g(mu_);
    return boxes_;
}
std::vector<std::string> RecordingView::events() const {
    std::lock_guard<std::mutex> g(mu_);
    return events_;
}
bool RecordingView::hasEvent(const std::string& e) const {
    auto ev = events();
    return std::find(ev.begin(), ev.end(), e) != ev.end();
}
bool RecordingView::hasLine(const std::string& l) const {
    auto ls = lines();
    return std::find(ls.begin(), ls.end(), l) != ls.end();
}
int RecordingView::gaugePosition() const {
    std::lock_guard<std::mutex> g(mu_);
    return pos_;
}
int RecordingView::gaugeMaximum() const {
    std::lock_guard<std::mutex> g(mu_);
    return max_;
}
uint32_t RecordingView::gaugeColour() const {
    std::lock_guard<std::mutex> g(mu_);
    return colour_;
}

ScratchDir::ScratchDir() {
    static std::mt19937_64 rng{std::random_device{}()};
    old_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() / ("qjig-test-" + std::to_string(rng()));
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    dataHome_.emplace("XDG_DATA_HOME", file("data"));
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
    std::filesystem::remove_all(dir_, ec);
}

std::vector<uint8_t> randomImage(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return v;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::string s = readFile(path);
    return {s.begin(), s.end()};
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary);
    f << content;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& content) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

std::pair<int, int> opensAndCloses(const std::string& tracePath) {
    std::ifstream f(tracePath);
    int opens = 0, closes = 0;
    for (std::string line; std::getline(f, line);) {
        opens += line.rfind("# open ", 0) == 0;
        closes += line == "# close";
    }
    return {opens, closes};
}

std::string binDir() { return QJ_BIN_DIR; }
std::string sourceDir() { return QJ_SOURCE_DIR; }

FullDisk::FullDisk(uint64_t bytes) {
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    soft_ = r.rlim_cur;
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
    r.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &r);
}

FullDisk::~FullDisk() {
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = soft_;
    setrlimit(RLIMIT_FSIZE, &r);
    std::signal(SIGXFSZ, oldHandler_);
}

ProcessRun runQjigProcess(const std::vector<std::string>& args, unsigned boundSeconds, uint64_t fileSizeLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr bool kLimitMemory = false;  // the sanitizers' shadow memory needs the address space
    boundSeconds *= 10;                   // and their pace
#else
    constexpr bool kLimitMemory = true;
#endif
    const std::string exe = binDir() + "qjig";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Pipes, not files: a file size limit does not cut what the run prints.
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        if (kLimitMemory) {
            const rlimit as{4ull << 30, 4ull << 30};
            ::setrlimit(RLIMIT_AS, &as);
        }
        if (fileSizeLimit) {
            ::signal(SIGXFSZ, SIG_IGN);  // kept across exec: a write past the limit fails instead
            rlimit fsize{};
            ::getrlimit(RLIMIT_FSIZE, &fsize);
            fsize.rlim_cur = fileSizeLimit;
            ::setrlimit(RLIMIT_FSIZE, &fsize);
        }
        ::alarm(boundSeconds);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ProcessRun r;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sink[2] = {&r.out, &r.err};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sink[i]->append(buf, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int ws = 0;
    ::waitpid(pid, &ws, 0);
    if (WIFEXITED(ws)) r.status = WEXITSTATUS(ws);
    if (WIFSIGNALED(ws)) r.signal = WTERMSIG(ws);
    return r;
}

Env::Env(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
}

Env::~Env() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
}

}  // namespace qjt
