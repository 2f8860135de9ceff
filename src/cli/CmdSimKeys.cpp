#include <cstdio>

#include "cli/Cli.h"
#include "sim/SimConfig.h"
#include "sim/SimKeys.h"

namespace qj::cli {

// The virtual jig's presets and keys, one a line, for people and for the shell's
// completion: a preset as its bare word, a key as NAME=FORM, FORM one of
// "0|1" (a flag), "N" (a number), the words of a choice joined by "|",
// "TEXT" or "FILE".
int cmdSimKeys(CliContext& c) {
    if (!c.args.empty()) return kMisuse;
    for (const auto& p : sim::presetNames()) std::printf("%s\n", p.c_str());
    for (const auto& [name, k] : sim::allKeys()) {
        std::string form;
        switch (k.kind) {
        case sim::KeySpec::Kind::Flag: form = "0|1"; break;
        case sim::KeySpec::Kind::Number: form = "N"; break;
        case sim::KeySpec::Kind::Choice: form = k.choices; break;
        case sim::KeySpec::Kind::Text: form = "TEXT"; break;
        case sim::KeySpec::Kind::InFile:
        case sim::KeySpec::Kind::OutFile: form = "FILE"; break;
        }
        std::printf("%s=%s\n", name.c_str(), form.c_str());
    }
    return kOk;
}

}  // namespace qj::cli
