#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

class OptionsTest : public WizardTest {
  protected:
    QStringList entries() const {
        QStringList texts;
        for (int i = 0; i < form->AllowFiles->count(); ++i) {
            texts << form->AllowFiles->item(i)->text();
        }
        return texts;
    }
    QColor baseOf(const QWidget* widget) const { return widget->palette().color(QPalette::Base); }
    const QColor button = QApplication::palette().color(QPalette::Button);
    const QColor base = QApplication::palette().color(QPalette::Base);
};

TEST_F(OptionsTest, ChosenFilesUnlockTheExtensionList) {
    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    Click(form->UseSpecificFiles);
    EXPECT_TRUE(form->AllowFiles->isEnabled());
    EXPECT_EQ(baseOf(form->AllowFiles), base);
    EXPECT_TRUE(form->AllowFilesAdd->isEnabled());
    EXPECT_FALSE(form->AllowFilesRemove->isEnabled());

    form->AllowFiles->setCurrentRow(2);  // jpg
    EXPECT_TRUE(form->AllowFilesRemove->isEnabled());
    Click(form->AllowFilesRemove);
    EXPECT_EQ(entries(), (QStringList{"mp3", "wav", "jpeg", "mpg", "avi"}));
    EXPECT_FALSE(form->AllowFilesRemove->isEnabled());

    form->AllowFiles->setCurrentRow(0);
    Click(form->UseAllFiles);
    EXPECT_FALSE(form->AllowFiles->isEnabled());
    EXPECT_EQ(baseOf(form->AllowFiles), button);
    EXPECT_FALSE(form->AllowFilesAdd->isEnabled());
    EXPECT_FALSE(form->AllowFilesRemove->isEnabled());

    // Back to the chosen files with an entry still selected: "Entfernen" comes back.
    Click(form->UseSpecificFiles);
    EXPECT_TRUE(form->AllowFilesRemove->isEnabled());
}

// A click on an entry's check box selects that entry too, so that "Entfernen" takes the
// entry the user just touched.
TEST_F(OptionsTest, TouchingACheckBoxSelectsItsEntry) {
    UserClick(form->ForwardToChooseDir);
    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    UserClick(form->UseSpecificFiles);
    QListWidget* list = form->AllowFiles;
    UserClick(list->viewport(), list->visualItemRect(list->item(1)).center());  // wav
    ASSERT_EQ(list->currentItem()->text(), QStringLiteral("wav"));
    const QRect jpg = list->visualItemRect(list->item(2));
    UserClick(list->viewport(), QPoint(jpg.left() + 9, jpg.center().y()));  // its check box
    ASSERT_EQ(list->item(2)->checkState(), Qt::Unchecked) << "the click hit the check box";
    EXPECT_EQ(list->currentItem()->text(), QStringLiteral("jpg"));
    UserClick(form->AllowFilesRemove);
    EXPECT_EQ(entries(), (QStringList{"mp3", "wav", "jpeg", "mpg", "avi"}));
}

TEST_F(OptionsTest, AddingExtensions) {
    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    Click(form->UseSpecificFiles);
    prompter.texts = {QStringLiteral("MP3"), QStringLiteral("ogg"), std::nullopt,
                      QStringLiteral(""), QStringLiteral(" Flac ")};
    for (int i = 0; i < 5; ++i) {
        Click(form->AllowFilesAdd);
    }
    EXPECT_EQ(prompter.textCaptions.front(),
              QStringLiteral("Erweiterung hinfügen|Bitte gebe die Datei-Erweiterung (Endung) an:"));
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::Plain);
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral("Die Endung  \"MP3\"  ist schon vorhanden!"));
    EXPECT_EQ(entries(),
              (QStringList{"mp3", "wav", "jpg", "jpeg", "mpg", "avi", "ogg", "", " Flac "}));
    for (int row : {6, 7, 8}) {
        EXPECT_EQ(form->AllowFiles->item(row)->checkState(), Qt::Checked) << row;
    }
    // An empty entry exists now: a second empty one is refused.
    prompter.texts = {QStringLiteral("")};
    Click(form->AllowFilesAdd);
    EXPECT_EQ(prompter.messages.back().text,
              QStringLiteral("Die Endung  \"\"  ist schon vorhanden!"));
    EXPECT_EQ(entries().size(), 9);
}

// An extension typed with its dot means the extension: one leading dot goes, and the
// files with that extension are in the list.
TEST_F(OptionsTest, AnExtensionTypedWithItsDot) {
    spurfix::test::TempTree tree;
    tree.folder("src");
    tree.file("src/Eins.flac");
    tree.file("src/Zwei.ogg");
    tree.file("src/Drei.mp3");
    ReadFolder(tree.path("src/"));
    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    UserClick(form->UseSpecificFiles);
    prompter.texts = {QStringLiteral(".flac"), QStringLiteral(".mp3"), QStringLiteral("..ogg")};
    for (int i = 0; i < 3; ++i) {
        UserClick(form->AllowFilesAdd);
    }
    EXPECT_EQ(entries(), (QStringList{"mp3", "wav", "jpg", "jpeg", "mpg", "avi", "flac", ".ogg"}));
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral("Die Endung  \"mp3\"  ist schon vorhanden!"));
    UserClick(form->ForwardToDirs);
    UserClick(form->ForwardToPreview);
    QStringList lines;
    for (int row = 0; row < form->Preview->model()->rowCount(); ++row) {
        lines << form->Preview->model()->index(row, 0).data().toString();
    }
    EXPECT_EQ(lines, (QStringList{"001 - Drei", "002 - Eins"}));
}

TEST_F(OptionsTest, JustTitleChecksTheOtherNameOptions) {
    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    Click(form->FilesWithoutExtension);
    Click(form->FilesWithoutTrackNr);
    ASSERT_FALSE(form->FilesWithoutExtension->isChecked());
    Click(form->FilesWithJustTitle);
    EXPECT_TRUE(form->FilesWithoutExtension->isChecked());
    EXPECT_TRUE(form->FilesWithoutTrackNr->isChecked());
    Click(form->FilesWithJustTitle);
    EXPECT_FALSE(form->FilesWithJustTitle->isChecked());
    EXPECT_TRUE(form->FilesWithoutExtension->isChecked());
    EXPECT_TRUE(form->FilesWithoutTrackNr->isChecked());
    EXPECT_TRUE(form->FilesWithoutExtension->isEnabled());
}

TEST_F(OptionsTest, FolderLabelsAndNumbering) {
    form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
    Click(form->UseDirLabels);
    EXPECT_FALSE(form->DirLabelTemplate->isEnabled());
    EXPECT_EQ(baseOf(form->DirLabelTemplate), button);
    EXPECT_EQ(form->DirLabelTemplate->text(), QStringLiteral("[%NAME%]"));
    Click(form->UseDirLabels);
    EXPECT_TRUE(form->DirLabelTemplate->isEnabled());
    EXPECT_EQ(baseOf(form->DirLabelTemplate), base);

    Click(form->CountPerDir);
    Click(form->CountFiles);
    EXPECT_FALSE(form->CountPerVolume->isEnabled());
    EXPECT_FALSE(form->CountPerDir->isEnabled());
    EXPECT_TRUE(form->CountPerDir->isChecked());
    Click(form->CountFiles);
    EXPECT_TRUE(form->CountPerVolume->isEnabled());
    EXPECT_TRUE(form->CountPerDir->isChecked());
}

TEST_F(OptionsTest, TemplateHelp) {
    form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
    Click(form->ButtonDirTmplHelp);
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::Plain);
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral(
                  "Folgende Platzhalter sind möglich:\r\n\r\n%NAME% = Name des Verzeichnisses\r\n"
                  "%PFAD% = Pfad des Verzeichnisses\r\n%NR% = Nummer des Verzeichnisses\r\n"
                  "%DAUER% = Spieldauer der Lieder darunter\r\n\r\n"
                  "Alle anderen Zeichen werden direkt in "
                  "die Ausgabe übernommen."));
}

}  // namespace
}  // namespace spurfix::ui::test
