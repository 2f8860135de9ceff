#include "modes/ite/gui/TITE_FORM.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "modes/ite/IteCore.h"
#include "modes/Modes.h"
#include "ui/TCGauge.h"

TITE_FORM::TITE_FORM(const AppContext& ctx)
    : CoreWindow(qj::mode(qj::ModeId::Ite).form.c_str(), QString::fromUtf8("ITE 02_02_2018"), 760, 584), ctx_(ctx) {
    setFont(courier(13));
    using namespace qj;
    using namespace qj::ite;

    board_ = makeCombo(kBoardCombo, 16, 12, 728, 26);
    board_->setMaxVisibleItems(30);
    mirror_ = makeCheck(kMirrorBox,
                        "First contact the programmer is connected to the first contact MB (forward or reverse cable, "
                        "etc.)",
                        16, 44, 728, 22);
    mirror_->setFont(courier(11));
    mirror_->setChecked(true);

    setup_ = makeButton(kSetupButton, "Apply settings", 16, 74, 170, 40);
    auto* check = makeButton(kCheckButton, "Check connection", 196, 74, 170, 40);
    auto* read = makeButton(kReadButton, "READ", 376, 74, 170, 40);
    auto* write = makeButton(kWriteButton, "WRITE", 556, 74, 188, 40);
    for (QPushButton* b : {read, write}) b->setFont(courier(19, true));
    textColour(read, QColor(0x00, 0x80, 0x00));
    textColour(write, QColor(0xFF, 0x00, 0x00));

    auto* blockErase = makeCheck("CheckBox_BL_SEC", "if set->block_erase  else->chip_erase ", 16, 122, 420, 22);
    blockErase->setChecked(true);
    auto* lang = makeCheck("CheckBox_RUS_ENG", "RUS/ENG text", 560, 122, 184, 22);
    lang->setChecked(true);

    // The two memos share one place; the language box shows one of them.
    auto* memoRu = makeMemo(kMemoRu, 16, 150, 728, 330);
    auto* memoEn = makeMemo(kMemoEn, 16, 150, 728, 330);
    memoEn->hide();
    for (const std::string& l : helpRu()) memoRu->appendPlainText(QString::fromStdString(l));
    for (const std::string& l : helpEn()) memoEn->appendPlainText(QString::fromStdString(l));
    setMemo(memoRu);
    setSecondMemo(memoEn);
    TCGauge* gauge = makeGauge("SPEED_ITE_CGauge", 16, 488, 728, 20, kGaugeMax);
    gauge->setForeColor(kRed);
    setGauge(gauge);
    exit_ = makeButton(kExitButton, "EXIT", 584, 520, 160, 49);
    exit_->setFont(courier(27, true));

    setSaveDialog("Save data to a file", "BIN file (*.bin)|*.bin", "ITE_", ".bin");
    setOpenDialog("Read data from a file", QString::fromUtf8("BIN file  (*.bin)|*.bin|Другие|*.*"));

    core_ = std::make_unique<IteCore>(ctx_.api, view());

    connect(board_, &QComboBox::activated, this, &TITE_FORM::ITE_ComboBox_MB_SWITCHSelect);
    connect(mirror_, &QCheckBox::clicked, this, &TITE_FORM::ITE_CheckBoxClick);
    connect(lang, &QCheckBox::clicked, this, &TITE_FORM::CheckBox_RUS_ENGClick);
    connect(blockErase, &QCheckBox::toggled, this, [this](bool on) { core_->CheckBox_BL_SECClick(on); });
    onClicks(this, {{setup_, &TITE_FORM::ITE_SETUP_BitBtnClick}, {check, &TITE_FORM::ITE_CHECK_CON_BitBtnClick},
                    {read, &TITE_FORM::ITE_READ_BitBtnClick}, {write, &TITE_FORM::ITE_WRITE_BitBtnClick},
                    {exit_, &TITE_FORM::ITE_EXIT_BitBtnClick}});

    FormCreate();
}

void TITE_FORM::FormCreate() {
    core_->FormCreate();
    board_->clear();
    for (const std::string& item : core_->boardItems()) board_->addItem(QString::fromLocal8Bit(item.c_str()));
    board_->setCurrentIndex(0);
    board_->setFocus();
    if (!core_->wiringLoaded()) textColour(board_, QColor(0xFF, 0x00, 0x00));
}

void TITE_FORM::showEvent(QShowEvent* e) {
    ModeWindow::showEvent(e);
    exit_->setFocus();
}

void TITE_FORM::ITE_ComboBox_MB_SWITCHSelect(int index) {
    core_->ITE_ComboBox_MB_SWITCHSelect(index);
    // A refused or invalid choice puts the list back on the item the core holds.
    board_->setCurrentIndex(core_->boardIndex());
    if (core_->boardIndex() > 0 && setup_->isEnabled()) setup_->setFocus();
}

void TITE_FORM::ITE_CheckBoxClick(bool checked) { core_->ITE_CheckBoxClick(checked); }
void TITE_FORM::CheckBox_RUS_ENGClick(bool checked) { core_->CheckBox_RUS_ENGClick(checked); }
void TITE_FORM::ITE_SETUP_BitBtnClick() { core_->ITE_SETUP_BitBtnClick(); }
void TITE_FORM::ITE_CHECK_CON_BitBtnClick() { core_->ITE_CHECK_CON_BitBtnClick(); }
void TITE_FORM::ITE_READ_BitBtnClick() { core_->ITE_READ_BitBtnClick(); }
void TITE_FORM::ITE_WRITE_BitBtnClick() { core_->ITE_WRITE_BitBtnClick(); }
void TITE_FORM::ITE_EXIT_BitBtnClick() { core_->ITE_EXIT_BitBtnClick(); }
