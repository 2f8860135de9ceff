#pragma once
#include "ui/ModeWindow.h"

// The window of this mode; its own controls and operations come with the mode.
class TNPCE_FORM : public BasicModeWindow {
    Q_OBJECT
public:
    explicit TNPCE_FORM(const AppContext& ctx)
        : BasicModeWindow(ctx, "NPCE_FORM", QString::fromUtf8("NPCE288N/388N external board KESTRA 01_07_2017"), "NPCE_Memo", "CGauge_NPCE", 512, "EXIT_NPCE") {
        setSaveDialog(QString::fromUtf8("Save file"), QString::fromUtf8("BIN file NPCE (*.bin)|*.bin"), "NPCE_", ".bin");
        setOpenDialog(QString::fromUtf8("Read file"), QString::fromUtf8("BIN file NPCE (*.bin)|*.bin|other|*.*"));
    }
};
