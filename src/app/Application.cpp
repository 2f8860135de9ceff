#include "app/Application.h"

#include <QMessageBox>
#include <QScreen>
#include <exception>

#include "app/TForm1.h"
#include "app/TUPDATE_FORM.h"
#include "control/JigControl.h"
#include "modes/edid/gui/TEDID_form.h"
#include "modes/ene/gui/TKB901X_forms.h"
#include "modes/ite/gui/TITE_FORM.h"
#include "modes/keyboard/gui/TKeyboard_testing.h"
#include "modes/mec/gui/TMEC16_Form.h"
#include "modes/npce/gui/TNPCE_FORM.h"
#include "modes/nuv/gui/TForm_NUVOTON_JTAG.h"

JigApplication::JigApplication(int& argc, char** argv) : QApplication(argc, argv) { setApplicationTitle(); }

// No display name: on X11 the toolkit appends it to every window's title, and
// the captions must stand exactly as they are.
void JigApplication::setApplicationTitle() { QCoreApplication::setApplicationName("Quillmore_JIG"); }

void showExceptionBox(const QString& what) { QMessageBox::critical(nullptr, "Quillmore_JIG", what); }

bool JigApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showExceptionBox(QString::fromStdString(e.what()));
    } catch (...) {
        showExceptionBox("Unknown exception");
    }
    exit(1);
    return false;
}

namespace {
void centre(QWidget* w) {
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect g = s->availableGeometry();
        w->move(g.center() - QPoint(w->width() / 2, w->height() / 2));
    }
}
}  // namespace

Windows::Windows(const AppContext& ctx) {
    main_ = new TForm1(ctx);
    all_.push_back(main_);
    all_.push_back(new TEDID_form(ctx));
    all_.push_back(new TKB901X_forms(ctx));
    all_.push_back(new TKeyboard_testing(ctx));
    all_.push_back(new TMEC16_Form(ctx));
    all_.push_back(new TITE_FORM(ctx));
    all_.push_back(new TNPCE_FORM(ctx));
    update_ = new TUPDATE_FORM(ctx);
    all_.push_back(update_);
    all_.push_back(new TForm_NUVOTON_JTAG(ctx));
    main_->attachUpdateWindow(update_);
    for (QWidget* w : all_) centre(w);
}

Windows::~Windows() {
    // The main window's jig control joins the upgrade thread, which still
    // reports to the update window: the main window goes first.
    delete main_;
    for (QWidget* w : all_)
        if (w != main_) delete w;
}
