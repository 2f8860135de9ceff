#include "ui/ModeWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include "ui/TCGauge.h"

QFont courier(int pixelSize, bool bold) {
    QFont f("Courier New");
    f.setStyleHint(QFont::TypeWriter);
    f.setFamilies({"Courier New", "Liberation Mono", "DejaVu Sans Mono", "Monospace"});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

void textColour(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
        for (QPalette::ColorRole r : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText}) p.setColor(g, r, c);
    w->setPalette(p);
}

ModeWindow::ModeWindow(const QString& formName, const QString& caption, int clientWidth, int clientHeight,
                       QWidget* parent)
    : QWidget(parent, Qt::Window), view_(new QtModeView(this)) {
    setObjectName(formName);
    setWindowTitle(caption);
    setFixedSize(clientWidth, clientHeight);
}

void ModeWindow::exitToMain() {
    if (QWidget* m = findForm(qj::kMainForm)) m->show();
    hide();
}

QAbstractButton* ModeWindow::exitButton() const {
    if (exit_) return exit_;
    const auto found = findChildren<QAbstractButton*>(QRegularExpression("EXIT"));
    return found.isEmpty() ? nullptr : found.first();
}

void ModeWindow::closeEvent(QCloseEvent* e) {
    if (!isVisible()) return e->accept();  // nothing to leave: the program is ending
    QAbstractButton* exit = exitButton();
    if (operationRunning() || (exit && !exit->isEnabled())) {
        e->ignore();
        // Both memos of a two-language window, as its every message.
        if (view_->hasMemo()) view_->log2(busyCloseNotice().toStdString());
        else view_->messageBox(qj::BoxKind::Information, busyCloseNotice().toStdString());
        return;
    }
    if (exit) exit->click();
    else exitToMain();
    // Done when EXIT has hidden the window (the main window is up again);
    // a window that stays up refuses the close.
    e->setAccepted(!isVisible());
}

QPushButton* ModeWindow::makeButton(const QString& name, const QString& caption, int x, int y, int w, int h,
                                    QWidget* parent) {
    auto* b = new QPushButton(caption, parent ? parent : this);
    b->setObjectName(name);
    b->setGeometry(x, y, w, h);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

QPlainTextEdit* ModeWindow::makeMemo(const QString& name, int x, int y, int w, int h, QWidget* parent) {
    auto* m = new QPlainTextEdit(parent ? parent : this);
    m->setObjectName(name);
    m->setGeometry(x, y, w, h);
    m->setReadOnly(true);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    return m;
}

QLabel* ModeWindow::makeLabel(const QString& name, const QString& text, int x, int y, int w, int h, QWidget* parent) {
    auto* l = new QLabel(text, parent ? parent : this);
    l->setObjectName(name);
    l->setGeometry(x, y, w, h);
    return l;
}

QComboBox* ModeWindow::makeCombo(const QString& name, int x, int y, int w, int h, QWidget* parent) {
    auto* c = new QComboBox(parent ? parent : this);
    c->setObjectName(name);
    c->setGeometry(x, y, w, h);
    return c;
}

QCheckBox* ModeWindow::makeCheck(const QString& name, const QString& caption, int x, int y, int w, int h,
                                 QWidget* parent) {
    auto* c = new QCheckBox(caption, parent ? parent : this);
    c->setObjectName(name);
    c->setGeometry(x, y, w, h);
    return c;
}

TCGauge* ModeWindow::makeGauge(const QString& name, int x, int y, int w, int h, int maxValue, QWidget* parent) {
    auto* g = new TCGauge(parent ? parent : this);
    g->setObjectName(name);
    g->setGeometry(x, y, w, h);
    g->setMaxValue(maxValue);
    return g;
}

QGroupBox* ModeWindow::makeGroup(const QString& name, const QString& caption, int x, int y, int w, int h) {
    auto* g = new QGroupBox(caption, this);
    g->setObjectName(name);
    g->setGeometry(x, y, w, h);
    return g;
}

QTimer* ModeWindow::makeTimer(const QString& name, int intervalMs) {
    auto* t = new QTimer(this);
    t->setObjectName(name);
    t->setInterval(intervalMs);
    t->setSingleShot(true);
    return t;
}
