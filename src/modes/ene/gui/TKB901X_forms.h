#pragma once
#include "ui/ModeWindow.h"

// The window of this mode; its own controls and operations come with the mode.
class TKB901X_forms : public BasicModeWindow {
    Q_OBJECT
public:
    explicit TKB901X_forms(const AppContext& ctx)
        : BasicModeWindow(ctx, "KB901X_forms", QString::fromUtf8("KB9010/9012/9016/9022  and KESTRA 01/07/2017"), "KB901X_Memo", "CGauge_KB901X", 32768, "EXIT_KB901X") {}
};
