#include "modes/edid/gui/TEDID_form.h"

#include <QPushButton>

#include "modes/edid/EdidCore.h"
#include "modes/Modes.h"

TEDID_form::TEDID_form(const AppContext& ctx)
    : ModeWindow(qj::mode(qj::ModeId::Edid).form.c_str(),
                 QString::fromUtf8("EEPROM LCD read/write 01/07/2017"), 640, 480),
      core_(std::make_unique<qj::edid::EdidCore>(ctx.api, view())) {
    setFont(courier(13));
    // The dump's columns line up only in a fixed-pitch face.
    setMemo(makeMemo("EDID_Memo", 16, 16, 608, 362));
    setSaveDialog(QString::fromUtf8("Укажите имя файла для сохранения."),
                  QString::fromUtf8("BIN файлы EEPROM (*.bin)|*.bin"), "Noname", ".bin");
    setOpenDialog(QString::fromUtf8("Укажите файл за заливки."),
                  QString::fromUtf8("BIN файлы EEPROM (*.bin)|*.bin|Другие|*.*"));

    auto* read = makeButton("EDID_READ", "EDID_READ", 16, 400, 180, 49);
    auto* write = makeButton("EDID_WRITE", "EDID_WRITE", 212, 400, 180, 49);
    auto* exit = makeButton("EXIT_EDID", "EXIT", 464, 400, 160, 49);
    setExitButton(exit);
    for (QPushButton* b : {read, write, exit}) b->setFont(courier(20, true));
    connect(read, &QPushButton::clicked, this, [this] { EDID_READClick(); });
    connect(write, &QPushButton::clicked, this, [this] { EDID_WRITEClick(); });
    connect(exit, &QPushButton::clicked, this, [this] { EXIT_EDIDClick(); });
}

TEDID_form::~TEDID_form() = default;

// Short exchanges on the UI thread, as the window has no worker; each wait on
// the jig is bounded by the core.
void TEDID_form::EDID_READClick() { core_->EDID_READClick(); }
void TEDID_form::EDID_WRITEClick() { core_->EDID_WRITEClick(); }
void TEDID_form::EXIT_EDIDClick() { core_->EXIT_EDIDClick(); }
