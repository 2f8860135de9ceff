#pragma once
#include "ui/ModeWindow.h"

// The window of this mode; its own controls and operations come with the mode.
class TEDID_form : public BasicModeWindow {
    Q_OBJECT
public:
    explicit TEDID_form(const AppContext& ctx)
        : BasicModeWindow(ctx, "EDID_form", QString::fromUtf8("EEPROM LCD read/write 01/07/2017"), "EDID_Memo", "", 0, "EXIT_EDID") {}
};
