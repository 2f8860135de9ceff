#include "modes/npce/gui/TNPCE_FORM.h"

#include <QCheckBox>
#include <QPushButton>

#include "modes/npce/NpceCore.h"
#include "modes/Modes.h"
#include "ui/TCGauge.h"

TNPCE_FORM::TNPCE_FORM(const AppContext& ctx)
    : CoreWindow(qj::mode(qj::ModeId::Npce).form.c_str(),
                 QString::fromUtf8("NPCE288N/388N external board KESTRA 01_07_2017"), 640, 480) {
    setFont(courier(13));

    auto* board = makeCheck("CheckBox_EXTBOARD", "Set if use KESTRA", 16, 12, 400, 24);
    board->setFont(courier(15, true));
    setMemo(makeMemo("NPCE_Memo", 16, 44, 608, 302));
    setGauge(makeGauge("CGauge_NPCE", 16, 356, 608, 20, qj::npce::kGaugeMax));

    auto* read = makeButton(qj::npce::kReadButton, "Nuvoton_READ", 16, 400, 200, 49);
    auto* write = makeButton(qj::npce::kWriteButton, "Nuvoton_WRITE", 232, 400, 200, 49);
    auto* exit = makeButton(qj::npce::kExitButton, "EXIT", 464, 400, 160, 49);
    setExitButton(exit);
    textColour(read, QColor(0x00, 0x80, 0x00));
    textColour(write, QColor(0xFF, 0x00, 0x00));
    for (QPushButton* b : {read, write}) b->setFont(courier(19, true));
    exit->setFont(courier(27, true));

    setSaveDialog("Save file", "BIN file NPCE (*.bin)|*.bin", "NPCE_", ".bin");
    setOpenDialog("Read file", "BIN file NPCE (*.bin)|*.bin|other|*.*");

    core_ = std::make_unique<qj::npce::NpceCore>(ctx.api, view());

    connect(board, &QCheckBox::toggled, this, &TNPCE_FORM::CheckBox_EXTBOARDClick);
    onClicks(this, {{read, &TNPCE_FORM::NPCE_READClick}, {write, &TNPCE_FORM::NPCE_WRITEClick},
                    {exit, &TNPCE_FORM::EXIT_NPCEClick}});
}

void TNPCE_FORM::CheckBox_EXTBOARDClick(bool checked) { core_->CheckBox_EXTBOARDClick(checked); }
void TNPCE_FORM::NPCE_READClick() { core_->NPCE_READClick(); }
void TNPCE_FORM::NPCE_WRITEClick() { core_->NPCE_WRITEClick(); }
void TNPCE_FORM::EXIT_NPCEClick() { core_->EXIT_NPCEClick(); }
