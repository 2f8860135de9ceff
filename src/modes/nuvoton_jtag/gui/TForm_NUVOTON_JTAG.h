#pragma once
#include "ui/ModeWindow.h"

// The window of this mode; its own controls and operations come with the mode.
class TForm_NUVOTON_JTAG : public BasicModeWindow {
    Q_OBJECT
public:
    explicit TForm_NUVOTON_JTAG(const AppContext& ctx)
        : BasicModeWindow(ctx, "Form_NUVOTON_JTAG", QString::fromUtf8("NUVOTON JTAG 1_07_2017"), "Memo_NUV_JTAG", "CGauge_progrss", 512, "BitBtn_EXIT_NUV") {
        setSaveDialog(QString::fromUtf8(""), QString::fromUtf8("BIN file NPCE (*.bin)|*.bin"), "NPCE_", ".bin");
        setOpenDialog(QString::fromUtf8(""), QString::fromUtf8("BIN file NPCE (*.bin)|*.bin|other|*.*"));
    }
};
