#include "modes/mec/gui/TMEC16_Form.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "modes/mec/MecCore.h"
#include "modes/Modes.h"
#include "ui/TCGauge.h"
#include "ui/TShape.h"

TMEC16_Form::TMEC16_Form(const AppContext& ctx)
    : CoreWindow(qj::mode(qj::ModeId::Mec).form.c_str(), QString::fromUtf8("Read and Write MEC   19_03_17"), 720, 516) {
    core_ = std::make_unique<qj::mec::MecCore>(ctx.api, view());
    setFont(courier(13));
    using qj::kBlack;

    auto* check = makeButton("BitBtn_MEC16", "Check connect to MEC", 16, 16, 240, 40);
    new TShape(qj::mec::kShapeBootLock, QRect(16, 66, 30, 30), kBlack, 6, this);
    makeLabel("Label_BootLock_MEC", "If Green - no Boot_Lock", 56, 66, 200, 30);
    new TShape(qj::mec::kShapeFwp, QRect(16, 104, 30, 30), kBlack, 6, this);
    makeLabel("Label_MEC16_FWP", "If Green - Erase/Write allowed", 56, 104, 200, 30)->setWordWrap(true);

    auto* readInfo = makeCheck("CheckBox_MEC16_RD", "Also need read INFO", 16, 148, 240, 24);
    auto* read = makeButton("BitBtn_RD_MEC16", "Read FLASH MEC ", 16, 174, 240, 36);
    auto* eraseInfo = makeCheck("CheckBox_erase_mec16", "Also need erase INFO", 16, 222, 240, 24);
    auto* erase = makeButton("BitBtn_MEC16_ERASE", "Erase FLASH MEC16", 16, 248, 240, 36);
    makeCheck(qj::mec::kWriteInfoBox, "Also need write INFO", 16, 296, 240, 24)->setEnabled(false);
    auto* write = makeButton("BitBtn_MEC16_WRITE", "Write FLASH MEC16", 16, 322, 240, 36);
    auto* help = makeButton("BitBtn_MEC16_HELP", "HELP", 16, 376, 240, 36);
    auto* exit = makeButton("EXIT_MEC16", "STOP and EXIT", 16, 426, 240, 74);
    for (QPushButton* b : {check, read, erase, write}) b->setFont(courier(15, true));
    exit->setFont(courier(21, true));

    setMemo(makeMemo("Memo_MEC16", 272, 16, 432, 450));
    setGauge(makeGauge("CGauge_MEC16", 272, 476, 432, 24, qj::mec::kGaugeMax));

    setSaveDialog(QString::fromUtf8("Укажите имя файла для сохранения."),
                  QString::fromUtf8("BIN файл MEC16 (*.bin)|*.bin"), "Noname", ".bin");
    setOpenDialog(QString::fromUtf8("Укажите файл за заливки."),
                  QString::fromUtf8("BIN файл MEC16 (*.bin)|*.bin|Другие|*.*"));

    onClicks(this, {{check, &TMEC16_Form::BitBtn_MEC16Click}, {read, &TMEC16_Form::BitBtn_RD_MEC16Click},
                    {erase, &TMEC16_Form::BitBtn_MEC16_ERASEClick}, {write, &TMEC16_Form::BitBtn_MEC16_WRITEClick},
                    {help, &TMEC16_Form::BitBtn_MEC16_HELPClick}, {exit, &TMEC16_Form::EXIT_MEC16Click}});
    connect(readInfo, &QCheckBox::toggled, this, [this](bool on) { core_->CheckBox_MEC16_RDClick(on); });
    connect(eraseInfo, &QCheckBox::toggled, this, [this](bool on) { core_->CheckBox_erase_mec16Click(on); });

    core_->FormCreate();
}

void TMEC16_Form::BitBtn_MEC16Click() { core_->BitBtn_MEC16Click(); }
void TMEC16_Form::BitBtn_RD_MEC16Click() { core_->BitBtn_RD_MEC16Click(); }
void TMEC16_Form::BitBtn_MEC16_ERASEClick() { core_->BitBtn_MEC16_ERASEClick(); }
void TMEC16_Form::BitBtn_MEC16_WRITEClick() { core_->BitBtn_MEC16_WRITEClick(); }
void TMEC16_Form::BitBtn_MEC16_HELPClick() { core_->BitBtn_MEC16_HELPClick(); }
void TMEC16_Form::EXIT_MEC16Click() { core_->EXIT_MEC16Click(); }
