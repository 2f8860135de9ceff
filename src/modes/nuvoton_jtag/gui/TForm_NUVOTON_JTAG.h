#pragma once
// The Nuvoton JTAG window: the three step buttons (settings, connect and
// script, read or write), Timer_MSG_ER for the end of a transfer, and EXIT.
// Every handler forwards to the core.
#include <memory>

#include "ui/ModeWindow.h"

namespace qj::nuv {
class NuvotonJtagCore;
}

class TForm_NUVOTON_JTAG : public ModeWindow {
    Q_OBJECT
public:
    explicit TForm_NUVOTON_JTAG(const AppContext& ctx);
    ~TForm_NUVOTON_JTAG() override;

    qj::nuv::NuvotonJtagCore& core() { return *core_; }

    void CheckBox1Click(bool checked);
    void BitBtn_SETTINGSClick();
    void BitBtn_CONNECTClick();
    void BitBtn_NUV_JTAG_RDClick();
    void BitBtn_NUV_JTAG_WRClick();
    void BitBtn_EXIT_NUVClick();
    void Timer_MSG_ERTimer();

protected:
    bool operationRunning() const override;

private:
    std::unique_ptr<qj::nuv::NuvotonJtagCore> core_;
};
