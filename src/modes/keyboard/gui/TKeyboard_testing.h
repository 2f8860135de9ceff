#pragma once
#include "ui/ModeWindow.h"

// The window of this mode; its own controls and operations come with the mode.
class TKeyboard_testing : public BasicModeWindow {
    Q_OBJECT
public:
    explicit TKeyboard_testing(const AppContext& ctx)
        : BasicModeWindow(ctx, "Keyboard_testing", QString::fromUtf8("Keyboard_testing 01_07_2017"), "", "", 0, "EXIT_KB_TEST") {}
};
