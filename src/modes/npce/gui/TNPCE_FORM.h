#pragma once
// The NPCE window: the NPCE288N/388N's SPI flash read to a file, or erased,
// written from a file and verified, with or without the KESTRA adapter.
// Every handler forwards to the core.
#include <memory>

#include "ui/ModeWindow.h"

namespace qj::npce {
class NpceCore;
}

class TNPCE_FORM : public ModeWindow {
    Q_OBJECT
public:
    explicit TNPCE_FORM(const AppContext& ctx);
    ~TNPCE_FORM() override;

    qj::npce::NpceCore& core() { return *core_; }

    void CheckBox_EXTBOARDClick(bool checked);
    void NPCE_READClick();
    void NPCE_WRITEClick();
    void EXIT_NPCEClick();

protected:
    bool operationRunning() const override;

private:
    std::unique_ptr<qj::npce::NpceCore> core_;
};
