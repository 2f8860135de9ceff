#pragma once
// The ITE window: board wiring and pin settings, the connection check, the
// flash read and the erase-write-verify, with its log in two memos (Russian
// and English) of which one is shown. Every handler forwards to the core.
#include "modes/ite/IteCore.h"
#include "ui/CoreWindow.h"

class QCheckBox;
class QComboBox;
class QPushButton;

class TITE_FORM : public CoreWindow<qj::ite::IteCore> {
    Q_OBJECT
public:
    explicit TITE_FORM(const AppContext& ctx);

    void FormCreate();
    void ITE_ComboBox_MB_SWITCHSelect(int index);
    void ITE_CheckBoxClick(bool checked);
    void CheckBox_RUS_ENGClick(bool checked);
    void ITE_SETUP_BitBtnClick();
    void ITE_CHECK_CON_BitBtnClick();
    void ITE_READ_BitBtnClick();
    void ITE_WRITE_BitBtnClick();
    void ITE_EXIT_BitBtnClick();

protected:
    void showEvent(QShowEvent* e) override;  // FormActivate

private:
    AppContext ctx_;
    QComboBox* board_;
    QCheckBox* mirror_;
    QPushButton* setup_;
    QPushButton* exit_;
};
