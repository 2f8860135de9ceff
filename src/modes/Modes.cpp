#include "modes/Modes.h"

#include <stdexcept>

namespace qj {

namespace {
OpenOptions accepting(std::vector<std::string> accepted) { return OpenOptions::modeWindow(std::move(accepted)); }

// The windows differ in what they log, what they accept and when they set the latency timer.
OpenOptions keyboardOpen() {
    OpenOptions o = accepting({"ENE_EDID_KB"});
    o.latency = OpenOptions::Latency::BeforeTimeouts;
    o.logLines = false;
    o.eventChar = '&';  // a report's end mark
    return o;
}

OpenOptions npceOpen() {
    OpenOptions o = accepting({"NPCE"});
    o.timeoutMs = 500;
    o.countLine = true;
    return o;
}

OpenOptions nuvOpen() {
    OpenOptions o = accepting({"EPM240", "NPCE"});
    o.versionPrefix.clear();
    o.installedLine.clear();
    return o;
}

OpenOptions eneOpen() {
    OpenOptions o = accepting({"ENE_EDID_KB"});
    o.countLine = true;
    return o;
}

// Any answer is a jig; the latency timer is set after any answer.
OpenOptions mecOpen() {
    OpenOptions o;
    o.latency = OpenOptions::Latency::AfterAnyAnswer;
    return o;
}

OpenOptions edidOpen() {
    OpenOptions o = eneOpen();
    o.noAnswerLine = "-->  The programmer is not found or does not respond";
    o.eventChar = 'K';  // the end of the status "OK"
    return o;
}

// Both memos, the ITE or the EPM240 firmware, the count line.
OpenOptions iteOpen() {
    OpenOptions o = accepting({"ITE", "EPM240"});
    o.countLine = true;
    o.bothMemos = true;
    o.versionPrefixRu = "Версия FW программатора -> ";
    o.versionPrefix = "Programmer FW version -> ";
    return o;
}
}  // namespace

const std::vector<Mode>& modes() {
    static const std::vector<Mode> table = {
        {ModeId::Keyboard, "Keyboard testing", "Keyboard_testing", "ENE_EDID_KB", "ENE_EDID_KB.hex", "keyboard",
         "keyboard scan ...", "keyboard matrix tester", keyboardOpen()},
        {ModeId::Npce, "NUVOTON spi", "NPCE_FORM", "NPCE", "Q37_NPCE288.hex", "npce", "npce ...",
         "Nuvoton NPCE over SPI: read, write, verify", npceOpen()},
        {ModeId::Nuv, "NUVOTON jtag", "Form_NUVOTON_JTAG", "NPCE", "Q37_NPCE288.hex", "nuv", "nuv ...",
         "Nuvoton EC over JTAG: read, write, verify", nuvOpen()},
        {ModeId::Ene, "ENE KB90XX", "KB901X_forms", "ENE_EDID_KB", "ENE_EDID_KB.hex", "ene", "ene ...",
         "ENE KB90xx: wiring, read, write, verify", eneOpen()},
        {ModeId::Mec, "MEC jtag", "MEC16_Form", "V42", "Q37_jtag.hex", "mec", "mec ...",
         "MEC16xx over JTAG: check, read, verify, erase, write", mecOpen()},
        {ModeId::Edid, "EDID lcd", "EDID_form", "ENE_EDID_KB", "ENE_EDID_KB.hex", "edid", "edid ...",
         "display EDID EEPROM: read, write, verify, decode", edidOpen()},
        {ModeId::Ite, "ITE", "ITE_FORM", "ITE2", "ITE2_PROJ_Q37.hex", "ite", "ite ...", "ITE EC: boards, read, write, verify",
         iteOpen()},
    };
    return table;
}

const Mode& mode(ModeId id) {
    for (const Mode& m : modes())
        if (m.id == id) return m;
    throw std::logic_error("a mode id without its entry");
}

const Mode* modeByItem(const std::string& item) {
    for (const Mode& m : modes())
        if (m.item == item) return &m;
    return nullptr;
}

const Mode* modeByWord(const std::string& word) {
    for (const Mode& m : modes())
        if (m.word == word) return &m;
    return nullptr;
}

std::vector<std::string> selectorItems() {
    std::vector<std::string> items{kPromptItem};
    for (const Mode& m : modes()) items.push_back(m.item);
    return items;
}

std::string formClass(const std::string& form) { return form.empty() ? "" : "T" + form; }

void leaveMode(ModeView& view, ModeId id) {
    view.showWindow(kMainForm, true);
    view.showWindow(mode(id).form, false);
}

}  // namespace qj
