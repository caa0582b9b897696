#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <optional>

#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

QString TextOf(const QWidget* widget) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    if (const auto* memo = qobject_cast<const QPlainTextEdit*>(widget)) {
        return memo->toPlainText();
    }
    return {};
}

struct ControlState {
    const char* name;
    QString text;
    std::optional<bool> checked;
    bool enabled;
    bool visible;
};

using StartStateTest = WizardTest;

TEST_F(StartStateTest, EveryControlOfTheSevenPages) {
    const std::optional<bool> none;
    const ControlState table[] = {
        // Welcome page.
        {"StaticText3", " Spurfix", none, true, true},
        {"Memo2",
         "Herzlich Willkommen bei Spurfix !\n\nMit diesem Programm kannst du die \nLieder auf "
         "deinen "
         "MP3-CDs einlesen und \nmit einer dreistelligen Ziffer versehen, \num sie direkt durch "
         "einen "
         "MP3-Player \nanwählen zu können.",
         none, true, true},
        {"AboutButton", "Über", none, true, true},
        {"ForwardToChooseDir", "Starten >>", none, true, true},
        // Source page.
        {"StaticText5", " Quelle wählen", none, true, true},
        {"StaticText4", "Wähle hier das einzulesende Laufwerk:", none, true, true},
        {"UseMainDir", "gesamtes Laufwerk einlesen", true, true, true},
        {"ChooseDir", "nur innerhalb dieses Verzeichnisses einlesen:", false, true, true},
        {"ChooseDirEdit", "/media/cd/", none, false, true},
        {"ChooseDirButton", "...", none, false, true},
        {"BackToAbout", "<< Zurück", none, true, true},
        {"ForwardToInput", "Weiter >>", none, true, true},
        // Reading page.
        {"StaticText6", " Einlesen", none, true, true},
        {"InputDirsFound", "0", none, true, true},
        {"StaticText8", "Verzeichnisse", none, true, true},
        {"InputFilesFound", "0", none, true, true},
        {"StaticText7", "Dateien", none, true, true},
        {"StopInput", "Abbrechen", none, true, false},
        {"ReInput", "Neu Einlesen", none, true, false},
        {"StartInputPanel", "", none, true, true},
        {"StaticText2", "Klicke hier um das Einlesen zu starten:", none, true, true},
        {"StartInput", "Einlesen", none, true, true},
        {"InputPreview", "", none, true, true},
        {"BackToChooseDir", "<< Zurück", none, true, true},
        {"ForwardToFiles", "Weiter >>", none, false, true},
        // Files page.
        {"StaticText10", " Dateien", none, true, true},
        {"FilesWithoutExtension", "Erweiterung entfernen", true, true, true},
        {"FilesWithoutTrackNr", "Tracknummern entfernen", true, true, true},
        {"FilesWithJustTitle", "nur Titel listen", false, true, true},
        {"UseMP3sOnly", "nur MP3 Dateien listen", true, true, true},
        {"UseAllFiles", "alle Dateien listen", false, true, true},
        {"UseSpecificFiles", "nur gewählte Dateien listen", false, true, true},
        {"AllowFiles", "", none, false, true},
        {"AllowFilesAdd", "Zufügen", none, false, true},
        {"AllowFilesRemove", "Entfernen", none, false, true},
        {"BackToInput", "<< Zurück", none, true, true},
        {"ForwardToDirs", "Weiter >>", none, true, true},
        // Folders page.
        {"StaticText11", " Verzeichnisse", none, true, true},
        {"UseDirLabels", "Verzeichnisse nach diesem Schema einfügen", true, true, true},
        {"DirLabelTemplate", "[%NAME%]", none, true, true},
        {"ButtonDirTmplHelp", "?", none, true, true},
        {"CountFiles", "Dateien in den Verzeichnissen nummerieren", true, true, true},
        {"CountPerVolume", "globale Nummerierung der Dateien", true, true, true},
        {"CountPerDir", "Nummerierung der Dateien pro Verzeichnis", false, true, true},
        {"CheckSortData", "Verzeichnisse und Dateien sortieren", true, true, true},
        {"BackToFiles", "<< Zurück", none, true, true},
        {"ForwardToPreview", "Weiter >>", none, true, true},
        // Preview page.
        {"StaticText12", " Vorschau", none, true, true},
        {"Preview", "", none, true, true},
        {"BackToDirs", "<< Zurück", none, true, true},
        {"ForwardToOutput", "Weiter >>", none, true, true},
        // Output page.
        {"StaticText9", " Ausgeben", none, true, true},
        {"StaticText1", "Daten exportieren:", none, true, true},
        // The text file stays the default; with two more formats to choose from, the
        // choice is open.
        {"OutputAsText", "als Textdatei", true, true, true},
        {"OutputAsPlaylist", "als Wiedergabeliste (M3U)", false, true, true},
        {"OutputAsInsert", "als CD-Einleger (PDF)", false, true, true},
        {"BackToPreview", "<< Zurück", none, true, true},
        {"SaveButton", "Fertig!", none, true, true},
    };
    for (const ControlState& row : table) {
        const auto* control = form->findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(control, nullptr) << row.name;
        QWidget* sheet = control->parentWidget();
        while (sheet->parentWidget() != form->PageControl1) {
            sheet = sheet->parentWidget();
        }
        EXPECT_EQ(TextOf(control), row.text) << row.name;
        if (row.checked) {
            const auto* button = qobject_cast<const QAbstractButton*>(control);
            ASSERT_NE(button, nullptr) << row.name;
            EXPECT_EQ(button->isChecked(), *row.checked) << row.name;
        }
        EXPECT_EQ(control->isEnabled(), row.enabled) << row.name;
        EXPECT_EQ(control->isVisibleTo(sheet), row.visible) << row.name;
    }
}

TEST_F(StartStateTest, ExtensionListAllCheckedAfterActivation) {
    QStringList entries;
    for (int i = 0; i < form->AllowFiles->count(); ++i) {
        entries << form->AllowFiles->item(i)->text();
        EXPECT_EQ(form->AllowFiles->item(i)->checkState(), Qt::Checked) << i;
    }
    EXPECT_EQ(entries, (QStringList{"mp3", "wav", "jpg", "jpeg", "mpg", "avi"}));
}

TEST_F(StartStateTest, FramesAndFonts) {
    for (QPushButton* forward :
         {form->ForwardToChooseDir, form->ForwardToInput, form->ForwardToFiles, form->ForwardToDirs,
          form->ForwardToPreview, form->ForwardToOutput, form->SaveButton}) {
        EXPECT_TRUE(forward->isDefault()) << forward->objectName().toStdString();
        EXPECT_TRUE(forward->font().bold()) << forward->objectName().toStdString();
    }
    for (QPushButton* back : {form->BackToChooseDir, form->BackToInput, form->BackToFiles,
                              form->BackToDirs, form->BackToPreview}) {
        EXPECT_TRUE(back->font().bold()) << back->objectName().toStdString();
    }
    EXPECT_FALSE(form->BackToAbout->font().bold());
    EXPECT_FALSE(form->AboutButton->font().bold());
    const auto* title = form->findChild<QLabel*>(QStringLiteral("StaticText6"));
    EXPECT_EQ(title->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::ToolTipBase));
    EXPECT_EQ(title->height(), 36);
    EXPECT_TRUE(title->font().bold() && title->font().italic());
    EXPECT_EQ(title->font().pixelSize(), 29);
    EXPECT_EQ(form->ChooseDirComboBox->font().family(), QStringLiteral("Courier New"));
    // The disabled fields take the button colour, the enabled one the base colour.
    const QColor button = QApplication::palette().color(QPalette::Button);
    const QColor base = QApplication::palette().color(QPalette::Base);
    EXPECT_EQ(form->ChooseDirEdit->palette().color(QPalette::Base), button);
    EXPECT_EQ(form->AllowFiles->palette().color(QPalette::Base), button);
    EXPECT_EQ(form->DirLabelTemplate->palette().color(QPalette::Base), base);
}

}  // namespace
}  // namespace spurfix::ui::test
