#pragma once
// The MEC16xx window: the check with its two protection shapes, the flash read
// (MAIN, optionally INFO), erase and write, the wiring help. Every handler
// forwards to the core.
#include "modes/mec/MecCore.h"
#include "ui/CoreWindow.h"

class TMEC16_Form : public CoreWindow<qj::mec::MecCore> {
    Q_OBJECT
public:
    explicit TMEC16_Form(const AppContext& ctx);

    void BitBtn_MEC16Click();
    void BitBtn_RD_MEC16Click();
    void BitBtn_MEC16_ERASEClick();
    void BitBtn_MEC16_WRITEClick();
    void BitBtn_MEC16_HELPClick();
    void EXIT_MEC16Click();
};
