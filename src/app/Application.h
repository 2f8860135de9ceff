#pragma once
// Start-up: the application title and all nine windows, created once in order.
#include <QApplication>
#include <memory>
#include <vector>

#include "ui/ModeWindow.h"

class TForm1;
class TUPDATE_FORM;

class JigApplication : public QApplication {
    Q_OBJECT
public:
    JigApplication(int& argc, char** argv);
    // The application title "Quillmore_JIG" (also for a test's own application object).
    static void setApplicationTitle();
    // An exception escaping an event handler is shown in a box; then the program ends.
    bool notify(QObject* receiver, QEvent* event) override;
};

class Windows {
public:
    explicit Windows(const AppContext& ctx);
    ~Windows();
    TForm1* main() const { return main_; }
    TUPDATE_FORM* update() const { return update_; }
    // In creation order: TForm1, TEDID_form, TKB901X_forms, TKeyboard_testing,
    // TMEC16_Form, TITE_FORM, TNPCE_FORM, TUPDATE_FORM, TForm_NUVOTON_JTAG.
    const std::vector<QWidget*>& all() const { return all_; }

private:
    std::vector<QWidget*> all_;
    TForm1* main_ = nullptr;
    TUPDATE_FORM* update_ = nullptr;
};

void showExceptionBox(const QString& what);
