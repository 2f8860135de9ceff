#include "app/TForm1.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/TUPDATE_FORM.h"
#include "control/JigControl.h"
#include "jig/StartLog.h"

TForm1::TForm1(const AppContext& ctx) : QWidget(nullptr, Qt::Window), ctx_(ctx) {
    setObjectName(qj::kMainForm);
    setWindowTitle(QString::fromUtf8("Quillmore_JIG  VER 4.\u0421   2/02/2018   for PCB2 only"));
    // Single fixed border, minimise button only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint);
    setFixedSize(711, 78);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(200, 200, 200));  // the scroll-bar grey
    setPalette(pal);
    setAutoFillBackground(true);
    QFont f = courier(13);
    setFont(f);

    auto* exit = new QPushButton("Exit", this);
    exit->setObjectName("Exit");
    exit->setFont(courier(27, true));
    exit->setCursor(Qt::PointingHandCursor);
    exit->setGeometry(560, 16, 129, 49);

    selector_ = new QComboBox(this);
    selector_->setObjectName("MAIN_SELECTOR");
    selector_->setEditable(false);
    selector_->setFont(courier(32, true));
    selector_->setGeometry(16, 16, 345, 46);
    selector_->setMaxVisibleItems(10);
    selector_->setStyleSheet("QComboBox { background: #FFFF00; color: black; }"
                             "QComboBox QAbstractItemView::item { min-height: 36px; }");
    for (const std::string& m : qj::selectorItems()) selector_->addItem(QString::fromStdString(m));
    selector_->setCurrentIndex(0);

    start_ = new QPushButton("Start", this);
    start_->setObjectName("MAIN_CONNECT");
    start_->setFont(courier(27, true));
    start_->setStyleSheet("QPushButton { color: red; }");
    start_->setCursor(Qt::PointingHandCursor);
    start_->setGeometry(392, 16, 145, 49);

    // Tab order as listed: Exit, selector, Start.
    setTabOrder(exit, selector_);
    setTabOrder(selector_, start_);

    timer5_ = new QTimer(this);
    timer5_->setObjectName(qj::kFiveSecondTimer);
    timer5_->setInterval(5000);
    timer5_->setSingleShot(true);
    timerRun_ = new QTimer(this);
    timerRun_->setObjectName(qj::kRunTimer);
    timerRun_->setInterval(300);
    timerRun_->setSingleShot(true);

    connect(exit, &QPushButton::clicked, this, &TForm1::ExitClick);
    connect(start_, &QPushButton::clicked, this, &TForm1::MAIN_CONNECTClick);
    connect(timer5_, &QTimer::timeout, this, &TForm1::Timer_5SECTimer);
    connect(timerRun_, &QTimer::timeout, this, &TForm1::Timer_RUNTimer);
}

TForm1::~TForm1() = default;

void TForm1::attachUpdateWindow(TUPDATE_FORM* update) {
    update_ = update;
    control_ = std::make_unique<qj::JigControl>(ctx_.api, update->view(), qj::StartLog("Start_log.txt"),
                                                ctx_.programDir);
    update->setControl(control_.get());
}

void TForm1::ExitClick() { close(); }

void TForm1::closeEvent(QCloseEvent* e) {
    QWidget::closeEvent(e);
    // Qt ends the program only when the last visible window closes; the update
    // window left up by a failed upgrade would keep it alive without a main window.
    // exit(), not quit(): a quit asks every window to close, and the update
    // window refuses while it offers no EXIT.
    if (e->isAccepted()) QCoreApplication::exit(0);
}

void TForm1::MAIN_CONNECTClick() {
    if (selector_->currentIndex() == 0) return;
    if (control_->upgradeRunning()) return;  // the running upgrade owns the link
    // The upgrade has ended and its mode window is about to open: a new run now
    // would be overtaken by that window (and its dispatch would name the new mode).
    if (timerRun_->isActive()) return;
    update_->memo()->clear();
    control_->start(selector_->currentText().toStdString());
}

void TForm1::Timer_5SECTimer() {
    timer5_->stop();
    control_->Timer_5SECTimer();
}

void TForm1::Timer_RUNTimer() {
    timerRun_->stop();
    const std::string form = control_->Timer_RUNTimer();
    if (form.empty()) return;
    if (QWidget* w = findForm(QString::fromStdString(form))) {
        w->show();
        hide();
    }
}
