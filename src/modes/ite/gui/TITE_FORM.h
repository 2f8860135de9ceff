#pragma once
#include "ui/ModeWindow.h"

// The window of this mode; its own controls and operations come with the mode.
class TITE_FORM : public BasicModeWindow {
    Q_OBJECT
public:
    explicit TITE_FORM(const AppContext& ctx)
        : BasicModeWindow(ctx, "ITE_FORM", QString::fromUtf8("ITE 02_02_2018"), "ITE_Memo1", "SPEED_ITE_CGauge", 256, "ITE_EXIT_BitBtn") {
        setSaveDialog(QString::fromUtf8("Save data to a file"), QString::fromUtf8("BIN file (*.bin)|*.bin"), "ITE_", ".bin");
        setOpenDialog(QString::fromUtf8("Read data from a file"), QString::fromUtf8("BIN file  (*.bin)|*.bin|Другие|*.*"));
    }
};
