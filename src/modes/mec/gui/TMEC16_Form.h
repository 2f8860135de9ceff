#pragma once
// The MEC16xx window: the check with its two protection shapes, the flash read
// (MAIN, optionally INFO), erase and write, the wiring help. Every handler
// forwards to the core.
#include <memory>

#include "ui/ModeWindow.h"

namespace qj::mec {
class Mec16Core;
}

class TMEC16_Form : public ModeWindow {
    Q_OBJECT
public:
    explicit TMEC16_Form(const AppContext& ctx);
    ~TMEC16_Form() override;

    qj::mec::Mec16Core& core() { return *core_; }

    void BitBtn_MEC16Click();
    void BitBtn_RD_MEC16Click();
    void BitBtn_MEC16_ERASEClick();
    void BitBtn_MEC16_WRITEClick();
    void BitBtn_MEC16_HELPClick();
    void EXIT_MEC16Click();

protected:
    // "STOP and EXIT" stays enabled during a transfer (it raises the stop
    // request): the close box must wait for the operation instead.
    bool operationRunning() const override;

private:
    std::unique_ptr<qj::mec::Mec16Core> core_;
};
