#include "modes/nuv/gui/TForm_NUVOTON_JTAG.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "modes/nuv/NuvCore.h"
#include "modes/Modes.h"
#include "ui/TCGauge.h"

TForm_NUVOTON_JTAG::TForm_NUVOTON_JTAG(const AppContext& ctx)
    : CoreWindow(qj::mode(qj::ModeId::Nuv).form.c_str(), QString::fromUtf8("NUVOTON JTAG 1_07_2017"), 640, 500) {
    core_ = std::make_unique<qj::nuv::NuvCore>(ctx.api, view(), ctx.programDir);
    setFont(courier(13));

    auto* memo = makeMemo("Memo_NUV_JTAG", 16, 16, 608, 250);
    for (const std::string& line : qj::nuv::initialMemo()) memo->appendPlainText(QString::fromStdString(line));
    setMemo(memo);
    auto* pin1 = makeCheck("CheckBox1", "Pin 1 connected  to pin 1 on the MB keyboard connector (30 pin FFC)", 16, 276,
                           608, 24);
    pin1->setChecked(true);
    setGauge(makeGauge("CGauge_progrss", 16, 308, 608, 20, qj::nuv::kGaugeMax));

    auto* settings = makeButton(qj::nuv::kSettingsButton, "Send settings", 16, 342, 220, 44);
    settings->setDefault(true);
    auto* connectBtn = makeButton(qj::nuv::kConnectButton, "Check connect to Nuvoton", 252, 342, 300, 44);
    connectBtn->setEnabled(false);
    // A script chooser that was never finished: it stays disabled.
    auto* fileOpen = makeButton("BitBtnFILE_OPEN", "###", 568, 342, 56, 44);
    fileOpen->setEnabled(false);
    auto* read = makeButton(qj::nuv::kReadButton, "READ", 16, 404, 200, 49);
    auto* write = makeButton(qj::nuv::kWriteButton, "WRITE", 232, 404, 200, 49);
    read->setEnabled(false);
    write->setEnabled(false);
    auto* exit = makeButton("BitBtn_EXIT_NUV", "EXIT", 464, 404, 160, 49);
    setExitButton(exit);
    for (QPushButton* b : {settings, connectBtn}) b->setFont(courier(15, true));
    for (QPushButton* b : {read, write}) b->setFont(courier(19, true));
    exit->setFont(courier(27, true));
    auto* counter = makeLabel(qj::nuv::kCounterText, "", 16, 462, 200, 20);
    counter->setVisible(false);
    auto* timer = makeTimer(qj::nuv::kMessageTimer, 100);

    setSaveDialog(QString(), "BIN file NPCE (*.bin)|*.bin", "NPCE_", ".bin");
    setOpenDialog(QString(), "BIN file NPCE (*.bin)|*.bin|other|*.*");

    connect(pin1, &QCheckBox::clicked, this, &TForm_NUVOTON_JTAG::CheckBox1Click);
    onClicks(this, {{settings, &TForm_NUVOTON_JTAG::BitBtn_SETTINGSClick}, {connectBtn, &TForm_NUVOTON_JTAG::BitBtn_CONNECTClick},
                    {read, &TForm_NUVOTON_JTAG::BitBtn_NUV_JTAG_RDClick}, {write, &TForm_NUVOTON_JTAG::BitBtn_NUV_JTAG_WRClick},
                    {exit, &TForm_NUVOTON_JTAG::BitBtn_EXIT_NUVClick}});
    connect(timer, &QTimer::timeout, this, &TForm_NUVOTON_JTAG::Timer_MSG_ERTimer);
}

void TForm_NUVOTON_JTAG::CheckBox1Click(bool checked) { core_->CheckBox1Click(checked); }
void TForm_NUVOTON_JTAG::BitBtn_SETTINGSClick() { core_->BitBtn_SETTINGSClick(); }
void TForm_NUVOTON_JTAG::BitBtn_CONNECTClick() { core_->BitBtn_CONNECTClick(); }
void TForm_NUVOTON_JTAG::BitBtn_NUV_JTAG_RDClick() { core_->BitBtn_NUV_JTAG_RDClick(); }
void TForm_NUVOTON_JTAG::BitBtn_NUV_JTAG_WRClick() { core_->BitBtn_NUV_JTAG_WRClick(); }
void TForm_NUVOTON_JTAG::BitBtn_EXIT_NUVClick() { core_->BitBtn_EXIT_NUVClick(); }
void TForm_NUVOTON_JTAG::Timer_MSG_ERTimer() { core_->Timer_MSG_ERTimer(); }
