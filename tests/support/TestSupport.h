#pragma once
// Shared test scaffolding: a view that records what a core shows the user, a
// scratch directory, and the virtual jig in instant mode.
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jig/ModeView.h"
#include "sim/SimFtdi.h"

namespace qjt {

// The virtual jig in instant mode (no real waiting).
std::unique_ptr<qj::sim::SimFtdi> makeSim(const std::string& spec);

// Records every call, as the user would see it. Thread-safe.
class RecordingView : public qj::ModeView {
public:
    struct Box {
        qj::BoxKind kind;
        std::string text;
    };
    void log(const std::string& line) override;
    void logLang(qj::Lang lang, const std::string& line) override;
    void clearLog() override;
    std::string timeNow() const override { return "<time>"; }
    void gaugeColor(uint32_t bgr) override;
    void gaugeMax(int max) override;
    void gaugePos(int pos) override;
    void setEnabled(const std::string& control, bool on) override;
    void setText(const std::string& control, const std::string& text) override;
    void setColor(const std::string& control, uint32_t bgr) override;
    void setChecked(const std::string& control, bool on) override;
    void setVisible(const std::string& control, bool on) override;
    void messageBox(qj::BoxKind kind, const std::string& text) override;
    std::optional<std::string> askSavePath() override;
    std::optional<std::string> askOpenPath() override;
    void showWindow(const std::string& form, bool visible) override;
    void armTimer(const std::string& timer) override;

    // Scripted dialog answers, consumed in order; nothing queued means "cancel".
    std::deque<std::optional<std::string>> saveAnswers, openAnswers;
    int saveAsked = 0, openAsked = 0;

    std::vector<std::string> lines() const;    // the log memo (Russian in a two-language window)
    std::vector<std::string> linesEn() const;  // the second memo of a two-language window
    std::vector<Box> boxes() const;
    std::vector<std::string> events() const;  // "enable X 1", "show F 0", "timer T", "gauge pos N", ...
    bool hasEvent(const std::string& e) const;
    bool hasLine(const std::string& l) const;
    int gaugePosition() const;
    int gaugeMaximum() const;
    uint32_t gaugeColour() const;

private:
    mutable std::mutex mu_;
    std::vector<std::string> lines_, linesEn_;
    std::vector<Box> boxes_;
    std::vector<std::string> events_;
    int pos_ = 0, max_ = 0;
    uint32_t colour_ = 0;
};

// A disk that fills up: while it lives, no file of this process grows past
// `bytes` (a write beyond fails as on a full disk). Keep it around the
// operation only, so that the test's own reports still reach their log.
class FullDisk {
public:
    explicit FullDisk(uint64_t bytes);
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    uint64_t soft_ = 0;
    void (*oldHandler_)(int) = nullptr;
};

// qjig as a process of its own, in the current folder, so that an abort or a
// hang shows as what it is. An alarm ends a run that outlives `boundSeconds`
// (signal SIGALRM); its address space is capped (outside the sanitizers) so a
// read that never ends stops instead of taking the machine; `fileSizeLimit`
// (when not 0) makes every file it writes stop growing there, as on a full disk.
struct ProcessRun {
    int status = -1;  // the exit status; -1 when a signal ended it
    int signal = 0;
    std::string out, err;
};
ProcessRun runQjigProcess(const std::vector<std::string>& args, unsigned boundSeconds, uint64_t fileSizeLimit = 0);

// Sets an environment variable for one test.
class Env {
public:
    Env(const char* name, const std::string& value);
    ~Env();

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A fresh directory made current for the test's life (Start_log.txt and wiring
// lists are opened from the current directory). The user's data folder
// (XDG_DATA_HOME) points at its "data" folder, so the jig images in the
// account running the tests are never found.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path& path() const { return dir_; }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    // The folder the tool looks up the jig's images in after the program's.
    std::string userFirmwareDir() const { return file("data") + "/quillmore-jig/firmware/"; }

private:
    std::filesystem::path dir_, old_;
    std::optional<Env> dataHome_;
};

// A reproducible image that looks like firmware to nobody (an LCG's bytes).
std::vector<uint8_t> randomImage(size_t n, uint32_t seed);

std::string readFile(const std::string& path);
std::vector<uint8_t> readBytes(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
void writeBytes(const std::string& path, const std::vector<uint8_t>& content);
// The "# open" and "# close" lines of a --trace file: a run that closed every handle it opened has as many of each.
std::pair<int, int> opensAndCloses(const std::string& tracePath);
// The folder of the built binaries and firmware images, with trailing separator.
std::string binDir();
std::string sourceDir();

}  // namespace qjt
