#pragma once
// The NPCE window: the NPCE288N/388N's SPI flash read to a file, or erased,
// written from a file and verified, with or without the KESTRA adapter.
// Every handler forwards to the core.
#include "modes/npce/NpceCore.h"
#include "ui/CoreWindow.h"

class TNPCE_FORM : public CoreWindow<qj::npce::NpceCore> {
    Q_OBJECT
public:
    explicit TNPCE_FORM(const AppContext& ctx);

    void CheckBox_EXTBOARDClick(bool checked);
    void NPCE_READClick();
    void NPCE_WRITEClick();
    void EXIT_NPCEClick();
};
