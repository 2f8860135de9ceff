#pragma once
// The tool's modes, one entry each. Everything shared code knows about a mode
// lives here: the selector's item, the window Start opens, the jig firmware
// the mode needs and the image that brings it, qjig's word and usage line, and
// the mode window's open-and-identify. The main window, the upgrade, qjig and
// the tests all read this table; a new mode is one more entry (and its id).
#include <string>
#include <vector>

#include "jig/JigLink.h"
#include "jig/ModeView.h"

namespace qj {

// One per entry, in the selector's order.
enum class ModeId { Keyboard, Npce, Nuv, Ene, Mec, Edid, Ite };

struct Mode {
    ModeId id;
    std::string item;      // the selector's item text, exactly
    std::string form;      // the object name of the window Start opens
    std::string firmware;  // the identification substring of the jig firmware it needs
    std::string image;     // the Intel HEX image (beside the program) that brings that firmware
    std::string word;      // qjig's command word
    std::string synopsis;  // qjig's usage: the command with its arguments ...
    std::string summary;   // ... and what it does
    OpenOptions open;      // the mode window's open-and-identify
};

// The selector's first item: no mode.
inline const std::string kPromptItem = "Please select ";

// Every mode, in the selector's order.
const std::vector<Mode>& modes();
const Mode& mode(ModeId id);
// The mode of a selector item or a qjig word; nullptr for none.
const Mode* modeByItem(const std::string& item);
const Mode* modeByWord(const std::string& word);
// The selector's items: the prompt, then every mode's item.
std::vector<std::string> selectorItems();
// The class of a form ("EDID_form" -> "TEDID_form").
std::string formClass(const std::string& form);
// A mode window's EXIT: the main window shows again, the mode's window hides.
void leaveMode(ModeView& view, ModeId id);

}  // namespace qj
