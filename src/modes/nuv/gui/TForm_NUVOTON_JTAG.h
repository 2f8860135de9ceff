#pragma once
// The Nuvoton JTAG window: the three step buttons (settings, connect and
// script, read or write), Timer_MSG_ER for the end of a transfer, and EXIT.
// Every handler forwards to the core.
#include "modes/nuv/NuvCore.h"
#include "ui/CoreWindow.h"

class TForm_NUVOTON_JTAG : public CoreWindow<qj::nuv::NuvCore> {
    Q_OBJECT
public:
    explicit TForm_NUVOTON_JTAG(const AppContext& ctx);

    void CheckBox1Click(bool checked);
    void BitBtn_SETTINGSClick();
    void BitBtn_CONNECTClick();
    void BitBtn_NUV_JTAG_RDClick();
    void BitBtn_NUV_JTAG_WRClick();
    void BitBtn_EXIT_NUVClick();
    void Timer_MSG_ERTimer();
};
