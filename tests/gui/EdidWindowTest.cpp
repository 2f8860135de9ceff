#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>

#include "gui/GuiSupport.h"
#include "modes/edid/gui/TEDID_form.h"

using namespace qjt;

TEST(EdidWindow, ReadSavesTheDumpAndExitClearsTheLog) {
    ScratchDir dir;
    GuiRig rig("");
    auto* form = static_cast<TEDID_form*>(rig.form("EDID_form"));
    EXPECT_EQ(form->windowTitle(), "EEPROM LCD read/write 01/07/2017");
    EXPECT_EQ(form->view().saveDialog().title, QString::fromUtf8("Укажите имя файла для сохранения."));
    EXPECT_EQ(form->view().saveDialog().filter, QString::fromUtf8("BIN файлы EEPROM (*.bin)|*.bin"));
    EXPECT_EQ(form->view().saveDialog().defaultName, "Noname");
    EXPECT_EQ(form->view().saveDialog().defaultExt, ".bin");
    EXPECT_EQ(form->view().openDialog().title, QString::fromUtf8("Укажите файл за заливки."));
    EXPECT_EQ(form->view().openDialog().filter, QString::fromUtf8("BIN файлы EEPROM (*.bin)|*.bin|Другие|*.*"));
    EXPECT_EQ(rig.find<QPushButton>("EDID_READ")->text(), "EDID_READ");
    EXPECT_EQ(rig.find<QPushButton>("EDID_WRITE")->text(), "EDID_WRITE");
    EXPECT_EQ(rig.find<QPushButton>("EXIT_EDID")->text(), "EXIT");

    rig.form("Form1")->hide();
    form->show();
    rig.saveAnswers.push_back(dir.file("panel.bin"));
    rig.find<QPushButton>("EDID_READ")->click();
    auto* memo = rig.find<QPlainTextEdit>("EDID_Memo");
    const QStringList lines = memo->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 25);
    EXPECT_EQ(lines[4], "Reading from the EEPROM is completed successfully.");
    EXPECT_EQ(lines[6], ": 00 FF FF FF FF FF FF 00 45 8D 6A 15 00 00 00 00 ........E.j.....");
    EXPECT_EQ(lines.last(), QString::fromStdString(dir.file("panel.bin")));
    EXPECT_EQ(readBytes(dir.file("panel.bin")).size(), 256u);

    if (const char* shots = std::getenv("QJ_SHOTS")) form->grab().save(QString::fromUtf8(shots) + "/edid.png");

    rig.openAnswers.push_back(dir.file("panel.bin"));
    rig.find<QPushButton>("EDID_WRITE")->click();
    EXPECT_TRUE(memo->toPlainText().endsWith("Writing data to EEPROM is completed successfully."));

    rig.find<QPushButton>("EXIT_EDID")->click();
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(rig.form("Form1")->isVisible());
}
