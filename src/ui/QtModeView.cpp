#include "ui/QtModeView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "ui/TCGauge.h"

QtModeView::Hooks& QtModeView::hooks() {
    static Hooks h;
    return h;
}

QWidget* findForm(const QString& form) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == form) return w;
    return nullptr;
}

QtModeView::QtModeView(QWidget* window) : QObject(window), window_(window) {}

void QtModeView::setMemo(QPlainTextEdit* memo) { memo_ = memo; }
void QtModeView::setSecondMemo(QPlainTextEdit* memo) { memoEn_ = memo; }
void QtModeView::setGauge(TCGauge* gauge) { gauge_ = gauge; }

void QtModeView::onUi(std::function<void()> fn) {
    if (QThread::currentThread() == thread()) fn();
    else QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

QWidget* QtModeView::control(const std::string& name) const {
    QWidget* w = window_->findChild<QWidget*>(QString::fromStdString(name));
    if (!w) {
        unknown_.push_back(name);
        std::fprintf(stderr, "%s: no control named %s\n", window_->objectName().toUtf8().constData(), name.c_str());
    }
    return w;
}

void QtModeView::log(const std::string& line) {
    onUi([this, s = QString::fromStdString(line)] {
        if (memo_) memo_->appendPlainText(s);
    });
}

void QtModeView::logLang(qj::Lang lang, const std::string& line) {
    if (lang == qj::Lang::Ru) return log(line);
    onUi([this, s = QString::fromStdString(line)] {
        if (memoEn_) memoEn_->appendPlainText(s);
    });
}

void QtModeView::clearLog() {
    onUi([this] {
        if (memo_) memo_->clear();
        if (memoEn_) memoEn_->clear();
    });
}

void QtModeView::gaugeColor(uint32_t bgr) {
    onUi([this, bgr] {
        if (gauge_) gauge_->setForeColor(bgr);
    });
}
void QtModeView::gaugeMax(int max) {
    onUi([this, max] {
        if (gauge_) gauge_->setMaxValue(max);
    });
}
void QtModeView::gaugePos(int pos) {
    onUi([this, pos] {
        if (gauge_) gauge_->setProgress(pos);
    });
}

void QtModeView::setEnabled(const std::string& name, bool on) {
    onUi([this, name, on] {
        if (QWidget* w = control(name)) w->setEnabled(on);
    });
}

void QtModeView::setText(const std::string& name, const std::string& text) {
    onUi([this, name, t = QString::fromStdString(text)] {
        QWidget* w = control(name);
        if (auto* l = qobject_cast<QLabel*>(w)) l->setText(t);
        else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(t);
        else if (auto* c = qobject_cast<QComboBox*>(w)) {
            if (c->isEditable()) c->setEditText(t);
            else c->setPlaceholderText(t);
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(t);
    });
}

void QtModeView::setColor(const std::string& name, uint32_t bgr) {
    onUi([this, name, bgr] {
        QWidget* w = control(name);
        if (!w) return;
        w->setProperty("bgr", QVariant::fromValue<uint>(bgr));
        if (auto* own = dynamic_cast<BgrPaintable*>(w)) {
            own->setBgr(bgr);
            return;
        }
        if (bgr == qj::kButtonFace) {  // back to the style's own colours
            w->setPalette(QApplication::palette(w));
            w->setAutoFillBackground(false);
            w->update();
            return;
        }
        QPalette p = w->palette();
        const QColor c = colorFromBgr(bgr);
        p.setColor(QPalette::Window, c);
        p.setColor(QPalette::Base, c);
        p.setColor(QPalette::Button, c);
        w->setPalette(p);
        w->setAutoFillBackground(true);
        w->update();
    });
}

void QtModeView::setChecked(const std::string& name, bool on) {
    onUi([this, name, on] {
        if (auto* b = qobject_cast<QAbstractButton*>(control(name))) b->setChecked(on);
    });
}

void QtModeView::setVisible(const std::string& name, bool on) {
    onUi([this, name, on] {
        if (QWidget* w = control(name)) w->setVisible(on);
    });
}

void QtModeView::messageBox(qj::BoxKind kind, const std::string& text) {
    onUi([this, kind, text] {
        if (hooks().box) {
            hooks().box(kind, text);
            return;
        }
        const QString t = QString::fromStdString(text);
        const QString title = QApplication::applicationName();
        if (kind == qj::BoxKind::Error) QMessageBox::critical(window_, title, t);
        else if (kind == qj::BoxKind::Warning) QMessageBox::warning(window_, title, t);
        else QMessageBox::information(window_, title, t);
    });
}

QStringList QtModeView::qtFilters(const QString& filter) {
    QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString desc = parts[i], pat = parts[i + 1];
        out << (desc.contains("(" + pat + ")") ? desc : desc + " (" + pat + ")");
    }
    return out;
}

std::optional<std::string> QtModeView::runDialog(bool save) {
    accepted_ = false;
    if (hooks().dialog) {
        auto r = hooks().dialog(save, window_->objectName());
        accepted_ = r.has_value();
        return r;
    }
    const DialogSpec& d = save ? save_ : open_;
    QFileDialog dlg(window_, d.title);
    dlg.setNameFilters(qtFilters(d.filter));
    dlg.setOption(QFileDialog::ReadOnly, false);
    if (save) {
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        dlg.setDefaultSuffix(d.defaultExt.startsWith('.') ? d.defaultExt.mid(1) : d.defaultExt);
        dlg.selectFile(d.defaultName);
    } else {
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFile);
    }
    // The close query of an accepted dialog sets the flag; a cancel leaves it clear.
    QObject::connect(&dlg, &QDialog::accepted, [this] { accepted_ = true; });
    dlg.exec();
    if (!accepted_ || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return dlg.selectedFiles().first().toStdString();
}

std::optional<std::string> QtModeView::askSavePath() {
    if (QThread::currentThread() == thread()) return runDialog(true);
    std::optional<std::string> r;
    QMetaObject::invokeMethod(this, [&] { r = runDialog(true); }, Qt::BlockingQueuedConnection);
    return r;
}

std::optional<std::string> QtModeView::askOpenPath() {
    if (QThread::currentThread() == thread()) return runDialog(false);
    std::optional<std::string> r;
    QMetaObject::invokeMethod(this, [&] { r = runDialog(false); }, Qt::BlockingQueuedConnection);
    return r;
}

void QtModeView::showWindow(const std::string& form, bool visible) {
    onUi([form, visible] {
        if (QWidget* w = findForm(QString::fromStdString(form))) w->setVisible(visible);
    });
}

void QtModeView::armTimer(const std::string& timer) {
    onUi([timer] {
        const QString n = QString::fromStdString(timer);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* t = w->findChild<QTimer*>(n)) {
                t->start();
                return;
            }
    });
}
