#pragma once
// The keyboard tester window: one cell per contact pair of the keyboard's
// 32-contact cable, painted as the jig reports the pair connected.
#include "modes/keyboard/KeyboardCore.h"
#include "ui/CoreWindow.h"

class TKeyboard_testing : public CoreWindow<qj::keyboard::KeyboardCore> {
    Q_OBJECT
public:
    explicit TKeyboard_testing(const AppContext& ctx);

    // A cell's place: column j (second contact), row i (first contact).
    static QRect cellRect(int i, int j);

    void FormCreate();
    void START_SCANClick();
    void EXIT_KB_TESTClick();
    void ClearClick();
    void CheckBox_HIDEClick(bool checked);
    void Timer_KEYBTimer();

protected:
    QString busyCloseNotice() const override { return "Press STOP to end the scan first."; }
};
