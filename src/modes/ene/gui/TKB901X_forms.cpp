#include "modes/ene/gui/TKB901X_forms.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "modes/ene/EneWiring.h"
#include "modes/ene/EneCore.h"
#include "modes/Modes.h"
#include "ui/TCGauge.h"


TKB901X_forms::TKB901X_forms(const AppContext& ctx)
    : CoreWindow(qj::mode(qj::ModeId::Ene).form.c_str(),
                 QString::fromUtf8("KB9010/9012/9016/9022  and KESTRA 01/07/2017"), 640, 520),
      ctx_(ctx) {
    setFont(courier(13));

    QGroupBox* group = makeGroup("GroupBox_KB901X", " Help for FFC cable connection  ", 16, 8, 608, 136);
    board_ = makeCombo(qj::ene::kBoardCombo, 12, 24, 300, 28, group);
    board_->setMaxVisibleItems(20);
    board_->setEnabled(false);
    cable_ = makeCombo(qj::ene::kCableCombo, 324, 24, 272, 28, group);
    for (const char* item : qj::ene::kCableItems) cable_->addItem(item);
    cable_->setCurrentIndex(-1);
    cable_->setEnabled(false);
    pin1_ = makeCheck(qj::ene::kPin1Box, "Pin 1 connected  to pin 1 on the MB keyboard connector", 12, 62, 584, 24,
                      group);
    pin1_->setChecked(true);
    pin1_->setEnabled(false);
    result_ = makeLabel(qj::ene::kResultLabel, "*************", 12, 96, 584, 28, group);
    result_->setFont(courier(15, true));

    setMemo(makeMemo("KB901X_Memo", 16, 154, 608, 250));
    setGauge(makeGauge("CGauge_KB901X", 16, 412, 608, 20, qj::ene::kGaugeMax));

    auto* read = makeButton(qj::ene::kReadButton, "KB90XX_READ", 16, 452, 200, 49);
    auto* write = makeButton(qj::ene::kWriteButton, "KB90XX_WRITE", 232, 452, 200, 49);
    auto* exit = makeButton(qj::ene::kExitButton, "EXIT", 464, 452, 160, 49);
    setExitButton(exit);
    for (QPushButton* b : {read, write}) b->setFont(courier(19, true));
    exit->setFont(courier(27, true));

    setSaveDialog("Save file", "BIN file KB90XX (*.bin)|*.bin", "Noname", ".bin");
    setOpenDialog("Read file", "BIN file KB90XX (*.bin)|*.bin|other|*.*");

    core_ = std::make_unique<qj::ene::EneCore>(ctx_.api, view());

    connect(board_, &QComboBox::activated, this, &TKB901X_forms::ComboBox_KB901XSelect);
    connect(cable_, &QComboBox::activated, this, &TKB901X_forms::ComboBox_KB901X_FFCSelect);
    connect(pin1_, &QCheckBox::clicked, this, &TKB901X_forms::CheckBox_KB901XClick);
    onClicks(this, {{read, &TKB901X_forms::KB901X_READClick}, {write, &TKB901X_forms::KB901X_WRITEClick},
                    {exit, &TKB901X_forms::EXIT_KB901XClick}});

    FormCreate();
}

void TKB901X_forms::FormCreate() {
    core_->FormCreate();
    board_->clear();
    for (const std::string& item : core_->boardItems()) board_->addItem(QString::fromLocal8Bit(item.c_str()));
    board_->setCurrentIndex(-1);
}

void TKB901X_forms::ComboBox_KB901XSelect(int index) { core_->ComboBox_KB901XSelect(index); }
void TKB901X_forms::ComboBox_KB901X_FFCSelect(int index) { core_->ComboBox_KB901X_FFCSelect(index); }
void TKB901X_forms::CheckBox_KB901XClick(bool checked) { core_->CheckBox_KB901XClick(checked); }
void TKB901X_forms::KB901X_READClick() { core_->KB901X_READClick(); }
void TKB901X_forms::KB901X_WRITEClick() { core_->KB901X_WRITEClick(); }

void TKB901X_forms::EXIT_KB901XClick() {
    core_->EXIT_KB901XClick();
    // The prompts show again only with no item chosen.
    if (core_->boardIndex() < 0) board_->setCurrentIndex(-1);
    if (core_->cableIndex() < 0) cable_->setCurrentIndex(-1);
}
