#pragma once
// qjig: the mode cores without windows, for scripting and servicing benches.
// Memo lines go to stdout verbatim; a message box is one line "!box KIND: TEXT"
// (line breaks inside written as \n); the progress bar goes to stderr on a terminal.
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/Checks.h"
#include "jig/ModeView.h"
#include "jig/Worker.h"
#include "jig/ftdi/FtdiApi.h"

namespace qj::cli {

// Exit statuses.
enum : int { kOk = 0, kFailed = 1, kMisuse = 2 };

class CliView : public ModeView {
public:
    void log(const std::string& line) override;
    // A two-language window prints one of its memos: English unless --lang ru.
    void logLang(Lang l, const std::string& line) override {
        if (l == lang) log(line);
    }
    void clearLog() override {}
    void gaugeColor(uint32_t) override {}
    void gaugeMax(int max) override { max_ = max; }
    void gaugePos(int pos) override;
    void setEnabled(const std::string&, bool) override {}
    void setText(const std::string& control, const std::string& text) override;
    void setColor(const std::string&, uint32_t) override {}
    void setChecked(const std::string&, bool) override {}
    void messageBox(BoxKind kind, const std::string& text) override;
    std::optional<std::string> askSavePath() override { return savePath; }
    std::optional<std::string> askOpenPath() override { return openPath; }
    void showWindow(const std::string& form, bool visible) override;
    void armTimer(const std::string& timer) override;

    std::optional<std::string> savePath, openPath;
    Lang lang = Lang::En;
    std::vector<std::string> timersArmed;
    std::map<std::string, std::string> texts;  // last text set per control
    int boxes = 0;
    bool progress = false;  // draw the progress bar (stderr is a terminal)

private:
    void endProgress();
    int max_ = 0;
    bool drawn_ = false;
};

struct CliContext {
    FtdiApi& api;
    std::vector<std::string> args;  // after the command word
    std::string programDir;         // the executable's folder, trailing separator included
    std::string backend = "auto";   // the --backend choice (`devices` lists every real backend under auto)
    std::string device;             // --device: the serial of the one device used ("" any)
    Lang lang = Lang::En;           // --lang: the memo a two-language window prints
};

// The words after `qjig MODE SUB`: the flags that sub-command takes, its
// options that take a value, and at most one FILE.
struct Words {
    std::string sub;  // the sub-command (readCommand)
    std::string file;
    std::vector<std::string> flags;
    std::map<std::string, std::string> values;
    bool flag(const std::string& f) const;
    bool has(const std::string& option) const { return values.count(option) != 0; }
    std::string value(const std::string& option) const;
};
// Reads args[from...]; false with `err` naming the first word it cannot take
// (an unknown option, a second FILE, an option without its value).
bool readWords(const std::vector<std::string>& args, size_t from, const std::vector<std::string>& flags,
               const std::vector<std::string>& valued, Words& out, std::string& err);

// A mode command's misuse: "qjig WORD: WHY" (when there is a why), then its
// usage text, on stderr; returns kMisuse.
int misuse(const char* word, const char* usage, const std::string& why);
// The view of a command run: the progress bar when stderr is a terminal.
CliView commandView(const CliContext& c);

// Runs a core's handler, waits for its worker, and gives its outcome as an exit status.
template <class Core>
int runOperation(Core& core, void (Core::*handler)()) {
    (core.*handler)();
    core.waitIdle();
    return core.lastOutcome() == Outcome::Ok ? kOk : kFailed;
}

// `qjig WORD SUB ...`: SUB into `out.sub`, then the words after it as
// readWords takes them; a flag written "SUB:--flag" is taken only after that
// sub-command. Nothing when every word was taken, else why not ("" when there
// is no sub-command at all).
std::optional<std::string> readCommand(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                                       const std::vector<std::string>& valued, Words& out);

// The transfer of a core whose read and write are two of its handlers: the
// window's save and open dialogs are answered with the paths.
template <class Core>
checks::Transfer coreTransfer(Core& core, CliView& view, const std::string& file, size_t image,
                              std::string writeError, bool twice, void (Core::*read)(), void (Core::*write)()) {
    checks::Transfer t;
    t.twice = twice;
    t.target = {image, std::move(writeError), [&core, &view, read](const std::string& path) {
                    view.savePath = path;
                    return runOperation(core, read);
                }};
    t.write = [&core, &view, file, write] { return view.openPath = file, runOperation(core, write); };
    return t;
}

// A whole number option value: decimal digits only, from 0 to `max`. A value
// that does not fit is refused, never clipped.
bool parseCount(const std::string& s, int64_t max, int64_t& v);

int cmdDevices(CliContext& c);
int cmdIdentify(CliContext& c);
int cmdStart(CliContext& c);
int cmdHex(CliContext& c);
int cmdImages(CliContext& c);
int cmdSimKeys(CliContext& c);
int cmdWords(CliContext& c);

using Command = int (*)(CliContext&);
// What the shell's completion offers after a mode's word: a sub-command,
// whether a FILE follows it, and its options: "--info" a flag, "--board=" an
// option with a value, "--cable=18|20" one that offers those values,
// "--script=FILE" one that offers file names.
struct SubWords {
    std::string sub;
    bool file = false;
    std::vector<std::string> options;
};
// A mode's command file registers its command under the mode's qjig word (one
// namespace-scope ModeCommand), so the dispatch and the completion read the
// mode table and need no list of their own.
struct ModeCommand {
    ModeCommand(const char* word, Command fn, std::vector<SubWords> subs);
};
// The command registered under a mode's word; nullptr for none.
Command modeCommand(const std::string& word);
// Its sub-commands as the completion offers them.
const std::vector<SubWords>& modeSubWords(const std::string& word);

// The item of --board ARG in a board list whose file lines start at item
// `firstLine`: ARG is a line number (1 = first line), an exact line, or a part
// of exactly one line. -1 with `err` set when no single board matches.
int findBoardItem(const std::vector<std::string>& items, size_t firstLine, const std::string& arg, std::string& err);

// Entry point shared by main() and the tests.
int run(std::vector<std::string> args);

}  // namespace qj::cli
