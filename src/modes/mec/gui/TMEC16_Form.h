#pragma once
#include "ui/ModeWindow.h"

// The window of this mode; its own controls and operations come with the mode.
class TMEC16_Form : public BasicModeWindow {
    Q_OBJECT
public:
    explicit TMEC16_Form(const AppContext& ctx)
        : BasicModeWindow(ctx, "MEC16_Form", QString::fromUtf8("Read and Write MEC   19_03_17"), "Memo_MEC16", "CGauge_MEC16", 768, "EXIT_MEC16") {
        setSaveDialog(QString::fromUtf8("Укажите имя файла для сохранения."), QString::fromUtf8("BIN файл MEC16 (*.bin)|*.bin"), "Noname", ".bin");
        setOpenDialog(QString::fromUtf8("Укажите файл за заливки."), QString::fromUtf8("BIN файл MEC16 (*.bin)|*.bin|Другие|*.*"));
    }
};
