#pragma once
// The EDID EEPROM window: read the panel's EEPROM to a file, write it from a file.
#include <memory>

#include "ui/ModeWindow.h"

namespace qj::edid {
class EdidCore;
}

class TEDID_form : public ModeWindow {
    Q_OBJECT
public:
    explicit TEDID_form(const AppContext& ctx);
    ~TEDID_form() override;

    void EDID_READClick();
    void EDID_WRITEClick();
    void EXIT_EDIDClick();
    qj::edid::EdidCore& core() { return *core_; }

private:
    std::unique_ptr<qj::edid::EdidCore> core_;
};
