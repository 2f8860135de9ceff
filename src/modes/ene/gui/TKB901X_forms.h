#pragma once
// The ENE KB90xx window: wiring help for the FFC cable or the KESTRA adapter,
// and the flash read, write and verify. Every handler forwards to the core.
#include "modes/ene/EneCore.h"
#include "ui/CoreWindow.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class TKB901X_forms : public CoreWindow<qj::ene::EneCore> {
    Q_OBJECT
public:
    explicit TKB901X_forms(const AppContext& ctx);

    void FormCreate();
    void ComboBox_KB901XSelect(int index);
    void ComboBox_KB901X_FFCSelect(int index);
    void CheckBox_KB901XClick(bool checked);
    void KB901X_READClick();
    void KB901X_WRITEClick();
    void EXIT_KB901XClick();

private:
    AppContext ctx_;
    QComboBox* board_;
    QComboBox* cable_;
    QCheckBox* pin1_;
    QLabel* result_;
};
