// ENE KB90xx read and write-with-verify through the paced virtual jig: how close
// the transfer comes to the time the bytes need on the wire at 921600 baud, and
// what it costs the host's CPU while it waits.
//
//   ene_bench [EXTRA-SIM-KEYS]      e.g. ene_bench latency-us=2000
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "jig/ftdi/FtdiApi.h"
#include "modes/ene/Kb901xCore.h"
#include "sim/SimFtdi.h"

using namespace qj;

namespace {

// Counts the bytes that cross the link in both directions.
class CountingFtdi final : public FtdiApi {
public:
    explicit CountingFtdi(FtdiApi& inner) : in_(inner) {}
    uint64_t written = 0, read = 0;

    FT_STATUS CreateDeviceInfoList(uint32_t& n) override { return in_.CreateDeviceInfoList(n); }
    FT_STATUS GetDeviceInfo(uint32_t i, FtDeviceInfo& info) override { return in_.GetDeviceInfo(i, info); }
    FT_STATUS Open(uint32_t i, FT_HANDLE& h) override { return in_.Open(i, h); }
    FT_STATUS GetDriverVersion(FT_HANDLE h, uint32_t& v) override { return in_.GetDriverVersion(h, v); }
    FT_STATUS ResetDevice(FT_HANDLE h) override { return in_.ResetDevice(h); }
    FT_STATUS SetBaudRate(FT_HANDLE h, uint32_t b) override { return in_.SetBaudRate(h, b); }
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t p) override {
        return in_.SetDataCharacteristics(h, w, s, p);
    }
    FT_STATUS SetTimeouts(FT_HANDLE h, uint32_t r, uint32_t w) override { return in_.SetTimeouts(h, r, w); }
    FT_STATUS SetLatencyTimer(FT_HANDLE h, uint8_t ms) override { return in_.SetLatencyTimer(h, ms); }
    FT_STATUS Purge(FT_HANDLE h, uint32_t m) override { return in_.Purge(h, m); }
    FT_STATUS GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) override {
        return in_.GetStatus(h, rx, tx, ev);
    }
    FT_STATUS Write(FT_HANDLE h, const uint8_t* b, uint32_t n, uint32_t& w) override {
        FT_STATUS st = in_.Write(h, b, n, w);
        written += w;
        return st;
    }
    FT_STATUS Read(FT_HANDLE h, uint8_t* b, uint32_t n, uint32_t& got) override {
        FT_STATUS st = in_.Read(h, b, n, got);
        read += got;
        return st;
    }
    FT_STATUS Close(FT_HANDLE h) override { return in_.Close(h); }
    FT_STATUS WaitQueues(FT_HANDLE h, uint32_t rx, bool tx, uint32_t ms) override {
        return in_.WaitQueues(h, rx, tx, ms);
    }
    Clock& clock() override { return in_.clock(); }
    std::string backendName() const override { return in_.backendName(); }

private:
    FtdiApi& in_;
};

double wallNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Mark {
    double wall = 0, cpu = 0;
    uint64_t bytes = 0;
};

// Marks the moment the transfer proper starts (its start line in the log).
class BenchView final : public NullView {
public:
    BenchView(CountingFtdi& c, std::string dumpPath, std::string imagePath)
        : c_(c), dump_(std::move(dumpPath)), image_(std::move(imagePath)) {}
    void log(const std::string& line) override {
        if (line == "Reading KB90XX ..." || line == "There is a writing KB90XX...")
            start = {wallNow(), cpuNow(), c_.written + c_.read};
        if (line.rfind("!!!", 0) == 0 || line == "Reading completed successfully.") result = line;
    }
    std::optional<std::string> askSavePath() override { return dump_; }
    std::optional<std::string> askOpenPath() override { return image_; }
    Mark start;
    std::string result;

private:
    CountingFtdi& c_;
    std::string dump_, image_;
};

struct Figures {
    double wall, bound, cpu;
};

void print(const char* what, const Figures& f) {
    std::printf("%-34s wall %7.3f s   wire bound %7.3f s   ratio %5.3f   cpu %6.3f s (%4.1f %% of wall)\n", what,
                f.wall, f.bound, f.wall / f.bound, f.cpu, 100.0 * f.cpu / f.wall);
}

bool runOne(const std::string& spec, bool write, const std::string& dump, const std::string& image) {
    sim::SimFtdi simJig(spec);
    CountingFtdi api(simJig);
    BenchView view(api, dump, image);
    ene::Kb901xCore core(api, view);
    const Mark op{wallNow(), cpuNow(), 0};
    if (write) core.KB901X_WRITEClick();
    else core.KB901X_READClick();
    core.waitIdle();
    const Mark end{wallNow(), cpuNow(), api.written + api.read};
    if (core.lastOutcome() != ene::Kb901xCore::Outcome::Ok) {
        std::fprintf(stderr, "ene_bench: the %s failed: %s\n", write ? "write" : "read", view.result.c_str());
        return false;
    }
    auto bound = [](uint64_t bytes) { return static_cast<double>(bytes) * 10.0 / 921600.0; };
    const std::string name = write ? "write + verify" : "read";
    print((name + " (transfer)").c_str(),
          {end.wall - view.start.wall, bound(end.bytes - view.start.bytes), end.cpu - view.start.cpu});
    print((name + " (whole click, with identify)").c_str(), {end.wall - op.wall, bound(end.bytes), end.cpu - op.cpu});
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string spec = "jig=ENE_EDID_KB,mode=paced,ene-pattern=random";
    for (int i = 1; i < argc; ++i) spec += std::string(",") + argv[i];
    const std::string dir = "/tmp/";
    const std::string dump = dir + "ene_bench_dump.bin";
    std::printf("virtual jig: %s, 921600 baud\n", spec.c_str());
    bool ok = runOne(spec, false, dump, dump);
    ok = ok && runOne(spec, true, dump, dump);
    std::remove(dump.c_str());
    return ok ? 0 : 1;
}
