#include "BenchTable.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#include "BenchSupport.h"
#include "jig/ftdi/D2xxFtdi.h"
#include "sim/SimFtdi.h"

namespace qjb {

namespace {

std::vector<Entry>& entries() {
    static std::vector<Entry> all;
    return all;
}

struct Timing {
    const char* name;
    const char* keys;
    const char* meaning;
};
const Timing kTimings[] = {
    {"line", "", "bytes at the line rate (921600 baud, 10 bits a byte), nothing else"},
    {"usb", "usb=ft232r,usb-chars=off",
     "USB bridge: 62-byte packets, latency timer as the host sets it (2 ms), 1 ms frames, no event character"},
    {"usb-ev", "usb=ft232r",
     "the same with the event character the tool sets (libftdi1, D2XX): the tool's settings there"},
    {"usb16", "usb=ft232r,usb-latency-ms=16,usb-chars=off",
     "as usb, the timer stuck at the kernel's 16 ms (tty, no udev rule)"},
    {"tty1", "usb=ft232r,usb-latency-ms=1,usb-chars=off",
     "as usb, the timer at the udev rule's 1 ms, no event character (the tty backend)"},
};

struct Mark {
    double t = 0, cpu = 0;
    uint64_t toJig = 0, fromJig = 0;
};

class RunProbe final : public Probe {
public:
    // `now`: the clock of the run (s).
    RunProbe(CountingFtdi& api, std::function<double()> now, const std::string& dir)
        : api_(api), now_(std::move(now)), dir_(dir) {}
    qj::FtdiApi& api() override { return api_; }
    void begin() override {
        std::lock_guard<std::mutex> g(mu_);
        begin_ = mark();
    }
    void end() override {
        std::lock_guard<std::mutex> g(mu_);
        end_ = mark();
    }
    void perUnit(uint64_t n) override { units_ = std::max<uint64_t>(n, 1); }
    const std::string& dir() const override { return dir_; }

    bool run(const Entry& e) {
        begin();
        const bool ok = e.run(*this);
        std::lock_guard<std::mutex> g(mu_);
        if (!end_) end_ = mark();
        return ok;
    }
    Mark from() const { return *begin_; }
    Mark to() const { return *end_; }
    uint64_t units() const { return units_; }

private:
    Mark mark() { return {now_(), cpuNow(), api_.written, api_.read}; }

    CountingFtdi& api_;
    std::function<double()> now_;
    std::string dir_;
    std::mutex mu_;
    std::optional<Mark> begin_, end_;
    uint64_t units_ = 1;
};

// What a child sends back: one row.
struct Row {
    bool ok = false;
    double bound = 0, wall = 0, cpu = 0;
    uint64_t toJig = 0, fromJig = 0, units = 1;
    long rssKiB = 0;
    char why[160] = {};
};

struct Options {
    std::vector<const Timing*> timings;
    std::vector<std::string> only;
    std::string d2xx;  // the vendor library to run the real-time pass through
    std::string keys;  // virtual-jig keys added to every entry's (--keys)
};

Row measure(const Entry& e, const Timing& t, const Options& o) {
    Row r;
    const std::string base = e.keys + (*t.keys ? std::string(",") + t.keys : std::string()) +
                             (o.keys.empty() ? std::string() : "," + o.keys);
    char tmpl[] = "/tmp/qjb-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        std::snprintf(r.why, sizeof r.why, "no scratch folder");
        return r;
    }
    const std::string dir = tmpl;
    struct Scratch {
        std::string dir;
        ~Scratch() {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    } scratch{dir};
    auto fail = [&](const char* pass) {
        std::snprintf(r.why, sizeof r.why, "the operation failed (%s run)", pass);
        return r;
    };
    {
        qj::sim::SimFtdi jig(base + ",mode=ideal");
        CountingFtdi api(jig);
        RunProbe p(api, [&jig] { return double(jig.simClock().nowUs()) * 1e-6; }, dir);
        // Failing there (a host that costs nothing can meet a race no real
        // one does) leaves the row without a bound, not without figures.
        if (p.run(e)) r.bound = (p.to().t - p.from().t) / double(p.units());
    }
    std::unique_ptr<qj::FtdiApi> backend;
    if (o.d2xx.empty()) {
        backend = std::make_unique<qj::sim::SimFtdi>(base + ",mode=paced");
    } else {
        ::setenv("QJ_FAKE_D2XX_SIM", (base + ",mode=paced").c_str(), 1);
        auto lib = std::make_unique<qj::D2xxFtdi>(std::vector<std::string>{o.d2xx});
        if (!lib->available()) {
            std::snprintf(r.why, sizeof r.why, "%s", lib->whyUnavailable().c_str());
            return r;
        }
        backend = std::move(lib);
    }
    CountingFtdi api(*backend);
    RunProbe p(api, wallNow, dir);
    const bool ok = p.run(e);
    backend.reset();
    if (!ok) return fail("real-time");
    const double u = double(p.units());
    r.wall = (p.to().t - p.from().t) / u;
    r.cpu = (p.to().cpu - p.from().cpu) / u;
    r.toJig = uint64_t(double(p.to().toJig - p.from().toJig) / u + 0.5);
    r.fromJig = uint64_t(double(p.to().fromJig - p.from().fromJig) / u + 0.5);
    r.units = p.units();
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    r.rssKiB = ru.ru_maxrss;
    r.ok = true;
    return r;
}

// Runs one measurement in a child process: its memory is its own, and a crash
// is one failed row.
Row inChild(const Entry& e, const Timing& t, const Options& o) {
    Row r;
    int fd[2];
    if (::pipe(fd) != 0) {
        std::snprintf(r.why, sizeof r.why, "no pipe");
        return r;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fd[0]);
        const Row mine = measure(e, t, o);
        const ssize_t n = ::write(fd[1], &mine, sizeof mine);
        std::fflush(nullptr);
        ::_exit(n == ssize_t(sizeof mine) ? 0 : 1);
    }
    ::close(fd[1]);
    if (pid < 0) {
        ::close(fd[0]);
        std::snprintf(r.why, sizeof r.why, "cannot fork");
        return r;
    }
    size_t got = 0;
    while (got < sizeof r) {
        const ssize_t n = ::read(fd[0], reinterpret_cast<char*>(&r) + got, sizeof r - got);
        if (n <= 0) break;
        got += size_t(n);
    }
    ::close(fd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (got != sizeof r) {
        r = Row{};
        std::snprintf(r.why, sizeof r.why, "the run ended without a result (status %d)", status);
    }
    return r;
}

std::string firstLine(const char* path, const char* prefix) {
    std::ifstream f(path);
    for (std::string l; std::getline(f, l);)
        if (l.rfind(prefix, 0) == 0) {
            const size_t c = l.find(':');
            return c == std::string::npos ? l : l.substr(l.find_first_not_of(" \t", c + 1));
        }
    return "?";
}

void usage() {
    std::printf(
        "usage: bench_table [--timing line,usb,usb-ev,usb16,tty1] [--only TEXT]... [--keys K=V,...] [--d2xx LIBRARY]\n"
        "                   [--list]\n"
        "  Runs every operation under each timing (default: line,usb,usb-ev) and prints one table.\n"
        "  --keys K=V,...  virtual-jig keys added to every operation's (a chip's own times, say)\n"
        "  --d2xx LIBRARY  the real-time runs go through the vendor-library backend loaded from\n"
        "                  LIBRARY (the tests' stand-in answers with the same virtual jig).\n");
    for (const Timing& t : kTimings) std::printf("  %-7s%s\n", t.name, t.meaning);
}

}  // namespace

bool addEntry(Entry e) {
    entries().push_back(std::move(e));
    return true;
}

std::string Probe::programDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("./") : exe.parent_path().string() + "/";
}

MarkingView::MarkingView(Probe& p, std::vector<std::string> beginLines, std::string savePath, std::string openPath)
    : p_(p), begin_(std::move(beginLines)), save_(std::move(savePath)), open_(std::move(openPath)) {}

void MarkingView::log(const std::string& line) {
    std::lock_guard<std::mutex> g(mu_);
    auto starts = [&](const std::string& b) { return line.rfind(b, 0) == 0; };
    if (!begun_ && std::any_of(begin_.begin(), begin_.end(), starts)) {
        begun_ = true;
        p_.begin();
    }
    lines_.push_back(line);
}

bool MarkingView::saw(const std::string& line) const {
    std::lock_guard<std::mutex> g(mu_);
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

bool writePattern(const std::string& path, size_t n, uint32_t seed) {
    std::vector<uint8_t> b(n);
    uint32_t x = seed ? seed : 1;
    for (auto& v : b) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        v = uint8_t(x);
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, n, f) == n;
    return std::fclose(f) == 0 && ok;
}

int runTable(int argc, char** argv) {
    Options o;
    std::string timings = "line,usb,usb-ev";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--timing" && i + 1 < argc) timings = argv[++i];
        else if (a == "--only" && i + 1 < argc) o.only.emplace_back(argv[++i]);
        else if (a == "--d2xx" && i + 1 < argc) o.d2xx = argv[++i];
        else if (a == "--keys" && i + 1 < argc) o.keys = argv[++i];
        else if (a == "--list") {
            for (const Entry& e : entries()) std::printf("%s  (%s)\n", e.name.c_str(), e.keys.c_str());
            return 0;
        } else {
            usage();
            return a == "--help" || a == "-h" ? 0 : 2;
        }
    }
    for (size_t at = 0; at <= timings.size();) {
        const size_t c = std::min(timings.find(',', at), timings.size());
        const std::string name = timings.substr(at, c - at);
        const Timing* t = nullptr;
        for (const Timing& k : kTimings)
            if (name == k.name) t = &k;
        if (!t) {
            std::fprintf(stderr, "bench_table: unknown timing \"%s\"\n", name.c_str());
            return 2;
        }
        o.timings.push_back(t);
        at = c + 1;
    }
    std::vector<Entry> run = entries();
    std::stable_sort(run.begin(), run.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    if (!o.only.empty())
        std::erase_if(run, [&](const Entry& e) {
            return std::none_of(o.only.begin(), o.only.end(),
                                [&](const std::string& s) { return e.name.find(s) != std::string::npos; });
        });

    double load[3] = {};
    ::getloadavg(load, 3);
    std::printf("machine: %s, %ld cores, load average %.2f %.2f %.2f at start\n",
                firstLine("/proc/cpuinfo", "model name").c_str(), ::sysconf(_SC_NPROCESSORS_ONLN), load[0], load[1],
                load[2]);
    std::printf("real-time runs through %s; bound: the same operation on the ideal clock\n\n",
                o.d2xx.empty() ? "the virtual jig in process" : ("the D2XX library " + o.d2xx).c_str());
    std::printf("%-30s %-6s %7s %9s %10s %10s %6s %6s %9s\n", "operation", "timing", "to jig", "from jig",
                "bound ms", "wall ms", "ratio", "CPU %", "peak RSS");
    bool allOk = true;
    for (const Entry& e : run) {
        for (const Timing* t : o.timings) {
            const Row r = inChild(e, *t, o);
            if (!r.ok) {
                allOk = false;
                std::printf("%-30s %-6s FAILED: %s\n", e.name.c_str(), t->name, r.why);
                continue;
            }
            if (r.bound <= 0) {
                std::printf("%-30s %-6s %7llu %9llu %10s %10.2f %6s %6.1f %5.1f MiB  (failed on the ideal clock)\n",
                            e.name.c_str(), t->name, static_cast<unsigned long long>(r.toJig),
                            static_cast<unsigned long long>(r.fromJig), "-", r.wall * 1e3, "-",
                            100.0 * r.cpu / r.wall, double(r.rssKiB) / 1024.0);
                continue;
            }
            std::printf("%-30s %-6s %7llu %9llu %10.2f %10.2f %6.3f %6.1f %5.1f MiB\n", e.name.c_str(), t->name,
                        static_cast<unsigned long long>(r.toJig), static_cast<unsigned long long>(r.fromJig),
                        r.bound * 1e3, r.wall * 1e3, r.wall / r.bound, 100.0 * r.cpu / r.wall,
                        double(r.rssKiB) / 1024.0);
            std::fflush(stdout);
        }
    }
    return allOk ? 0 : 1;
}

}  // namespace qjb
