#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStackedWidget>

#include "support/temp_tree.h"
#include "ui/preview_model.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

const QString kConfirmation = QStringLiteral(
    "Die Daten wurden erfolgreich exportiert!\r\n\r\nKlicken sie [OK] um zurück zum Anfang zu "
    "kommen oder "
    "[Abbrechen] um Spurfix zu beenden.");

class OutputPageTest : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        tree.folder("src/Pop/Live");
        tree.folder("src/Rock");
        tree.folder("src/Leer");
        tree.file("src/Pop/Live/03_Hit.mp3");
        tree.file("src/Rock/01 - Intro.mp3");
        tree.file("src/Rock/02 - Song.MP3");
        tree.file("src/Rock/cover.jpg");
        ReadFolder(tree.path("src/"));
        form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
    }

    // Each line of the preview with its kind (label, song) as the model gives it.
    QStringList linesWithKinds() const {
        QStringList lines;
        const QAbstractItemModel* model = form->Preview->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            lines << model->index(row, 0).data().toString() + QLatin1Char('|') +
                         QString::number(model->index(row, 0).data(Qt::UserRole).toInt());
        }
        return lines;
    }

    TempTree tree;
    const QStringList example = {"[Live]|1", "001 - Hit|2", "[Rock]|1", "002 - Intro|2",
                                 "003 - Song|2"};
};

TEST_F(OutputPageTest, PreviewReadsTheOptionsWhenBuilt) {
    Click(form->ForwardToPreview);
    EXPECT_EQ(page(), form->Sheet_Preview);
    EXPECT_EQ(linesWithKinds(), example);
    Click(form->BackToDirs);
    Click(form->ForwardToPreview);  // built anew, not doubled
    EXPECT_EQ(linesWithKinds(), example);

    form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
    Click(form->CountPerDir);
    Click(form->UseDirLabels);
    Click(form->ForwardToPreview);
    EXPECT_EQ(linesWithKinds(), (QStringList{"001 - Hit|2", "001 - Intro|2", "002 - Song|2"}));

    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    Click(form->UseSpecificFiles);
    const QRect mp3 = form->AllowFiles->visualItemRect(form->AllowFiles->item(0));
    UserClick(form->AllowFiles->viewport(), QPoint(mp3.left() + 9, mp3.center().y()));
    ASSERT_EQ(form->AllowFiles->item(0)->checkState(), Qt::Unchecked);
    Click(form->ForwardToDirs);
    Click(form->ForwardToPreview);
    EXPECT_EQ(linesWithKinds(), (QStringList{"001 - cover|2"}));
}

TEST_F(OutputPageTest, ExportAndConfirm) {
    Click(form->ForwardToPreview);
    Click(form->ForwardToOutput);
    prompter.fileNames = {QString::fromStdString(tree.path("liste.txt")),
                          QString::fromStdString(tree.path("zweite.txt"))};
    Click(form->SaveButton);
    EXPECT_EQ(tree.read("liste.txt"),
              "[Live]\r\n001 - Hit\r\n[Rock]\r\n002 - Intro\r\n003 - Song\r\n");
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::Confirmation);
    EXPECT_EQ(prompter.messages[0].text, kConfirmation);
    EXPECT_EQ(page(), form->Sheet_About);
    EXPECT_EQ(linesWithKinds(), example) << "OK resets nothing";

    form->PageControl1->setCurrentWidget(form->Sheet_Output);
    Click(form->SaveButton);
    ASSERT_EQ(prompter.saveRequests.size(), 2U);
    for (const SaveRequest& request : prompter.saveRequests) {
        EXPECT_EQ(request.fileName, QStringLiteral("spurfix.txt"));
        EXPECT_EQ(request.defaultSuffix, QStringLiteral("txt"));
        EXPECT_EQ(request.filter, QStringLiteral("Textdatei (*.txt)"));
    }
    EXPECT_EQ(tree.read("zweite.txt").size(), 52U);
}

// The playlist and the CD insert, chosen with the mouse: their own save dialog, the
// same question at the end, and a second export offers the text file's name again
// once the text file is chosen again.
TEST_F(OutputPageTest, PlaylistAndCdInsert) {
    Click(form->ForwardToPreview);
    Click(form->ForwardToOutput);
    EXPECT_TRUE(form->OutputAsText->isChecked()) << "the text file stays the default";
    Click(form->OutputAsPlaylist);
    prompter.fileNames = {QString::fromStdString(tree.path("src/spurfix.m3u"))};
    Click(form->SaveButton);
    ASSERT_EQ(prompter.saveRequests.size(), 1U);
    EXPECT_EQ(prompter.saveRequests[0].fileName, QStringLiteral("spurfix.m3u"));
    EXPECT_EQ(prompter.saveRequests[0].defaultSuffix, QStringLiteral("m3u"));
    EXPECT_EQ(prompter.saveRequests[0].filter, QStringLiteral("Wiedergabeliste (*.m3u)"));
    // Saved in the folder that was read: the paths are relative to it.
    EXPECT_EQ(tree.read("src/spurfix.m3u"),
              "#EXTM3U\r\n# [Live]\r\n#EXTINF:-1,001 - Hit\r\nPop/Live/03_Hit.mp3\r\n"
              "# [Rock]\r\n#EXTINF:-1,002 - Intro\r\nRock/01 - Intro.mp3\r\n"
              "#EXTINF:-1,003 - Song\r\nRock/02 - Song.MP3\r\n");
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::Confirmation);
    EXPECT_EQ(prompter.messages[0].text, kConfirmation);

    form->PageControl1->setCurrentWidget(form->Sheet_Output);
    Click(form->OutputAsInsert);

    prompter.fileNames = {QString::fromStdString(tree.path("einleger.pdf"))};
    Click(form->SaveButton);
    ASSERT_EQ(prompter.saveRequests.size(), 2U);
    EXPECT_EQ(prompter.saveRequests[1].fileName, QStringLiteral("spurfix.pdf"));
    EXPECT_EQ(prompter.saveRequests[1].defaultSuffix, QStringLiteral("pdf"));
    EXPECT_EQ(prompter.saveRequests[1].filter, QStringLiteral("PDF-Dokument (*.pdf)"));
    EXPECT_EQ(tree.read("einleger.pdf").rfind("%PDF-", 0), 0U);
    EXPECT_EQ(prompter.messages.back().kind, BoxKind::Confirmation);

    form->PageControl1->setCurrentWidget(form->Sheet_Output);
    Click(form->OutputAsText);
    Click(form->SaveButton);
    EXPECT_EQ(prompter.saveRequests.back().fileName, QStringLiteral("spurfix.txt"));
}

TEST_F(OutputPageTest, CancelledSaveDoesNothing) {
    Click(form->ForwardToPreview);
    Click(form->ForwardToOutput);
    Click(form->SaveButton);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(page(), form->Sheet_Output);
    EXPECT_EQ(spurfix::test::KernelOrder(tree.root()), std::vector<std::string>{"src"});
}

TEST_F(OutputPageTest, AbbrechenEndsTheProgram) {
    QSignalSpy termination(form.get(), &TForm1::terminationRequested);
    Click(form->ForwardToPreview);
    Click(form->ForwardToOutput);
    prompter.fileNames = {QString::fromStdString(tree.path("liste.txt"))};
    prompter.answers = {Answer::Cancel};
    Click(form->SaveButton);
    EXPECT_EQ(termination.count(), 1);
    EXPECT_FALSE(form->ScanList.empty()) << "the close handlers do not run";
    EXPECT_EQ(tree.read("liste.txt").size(), 52U);
}

TEST_F(OutputPageTest, FailedExportShowsTheErrorAndKeepsEverything) {
    tree.file("belegt.txt", "frueher");
    Click(form->ForwardToPreview);
    Click(form->ForwardToOutput);
    prompter.fileNames = {QString::fromStdString(tree.path("src")),
                          QString::fromStdString(tree.path("fehlt/liste.txt")),
                          QString::fromStdString(tree.path("belegt.txt"))};
    Click(form->SaveButton);
    Click(form->SaveButton);
    ASSERT_EQ(prompter.messages.size(), 2U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::DefaultError);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("Dateizugriff verweigert."));
    EXPECT_EQ(prompter.messages[1].text, QStringLiteral("Ungültiger Dateiname."));
    EXPECT_EQ(page(), form->Sheet_Output);
    EXPECT_EQ(linesWithKinds(), example);
    Click(form->SaveButton);
    EXPECT_EQ(prompter.messages.back().kind, BoxKind::Confirmation);
    EXPECT_EQ(tree.read("belegt.txt").size(), 52U);
}

TEST_F(OutputPageTest, EmptyPreviewGivesAnEmptyFile) {
    form->PageControl1->setCurrentWidget(form->Sheet_Input);
    Click(form->BackToChooseDir);
    form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
    Click(form->ForwardToPreview);
    EXPECT_TRUE(linesWithKinds().isEmpty());
    Click(form->ForwardToOutput);
    prompter.fileNames = {QString::fromStdString(tree.path("leer.txt"))};
    Click(form->SaveButton);
    EXPECT_EQ(tree.read("leer.txt"), "");
    EXPECT_EQ(prompter.messages.back().kind, BoxKind::Confirmation);
}

TEST_F(OutputPageTest, NamesThatAreNotUtf8AreShownReplacedAndWrittenAsBytes) {
    tree.folder("bytes");
    tree.file("bytes/01 Gr\xFC\xDF.mp3");
    ReadFolder(tree.path("bytes/"));
    form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
    Click(form->ForwardToPreview);
    EXPECT_EQ(linesWithKinds(), (QStringList{QStringLiteral("001 - Gr\uFFFD\uFFFD|2")}));
    Click(form->ForwardToOutput);
    prompter.fileNames = {QString::fromStdString(tree.path("bytes.txt"))};
    Click(form->SaveButton);
    EXPECT_EQ(tree.read("bytes.txt"), "001 - Gr\xFC\xDF\r\n");
}

// A template longer than the line store's smallest block, pasted into the field as a
// person would, labels every folder in the preview and in the file.
TEST_F(OutputPageTest, LongLabelTemplateReachesPreviewAndFile) {
    QString longTemplate = QStringLiteral("[%NAME%] ");
    while (longTemplate.size() < 20000) {
        longTemplate += QString::number(longTemplate.size() % 10);
    }
    UserClick(form->DirLabelTemplate);
    UserPaste(longTemplate);
    ASSERT_EQ(form->DirLabelTemplate->text(), longTemplate);
    // A heading is cut at 4,096 bytes, with "…" as its last character.
    const QString tail = longTemplate.mid(8, 4093 - 6) + QStringLiteral("…");
    UserClick(form->ForwardToPreview);
    EXPECT_EQ(linesWithKinds(),
              (QStringList{"[Live]" + tail + "|1", "001 - Hit|2", "[Rock]" + tail + "|1",
                           "002 - Intro|2", "003 - Song|2"}));
    UserClick(form->ForwardToOutput);
    prompter.fileNames = {QString::fromStdString(tree.path("lang.txt"))};
    UserClick(form->SaveButton);
    const std::string label = tail.toStdString();
    EXPECT_EQ(tree.read("lang.txt"), "[Live]" + label + "\r\n001 - Hit\r\n[Rock]" + label +
                                         "\r\n002 - Intro\r\n003 - Song\r\n");
}

// The numbered copy, chosen with the mouse: the folder dialog, its layout beneath it, the
// songs copied in the list's order and the same question at the end; a folder with content
// is refused and keeps it.
TEST_F(OutputPageTest, NumberedCopyIntoAFolder) {
    tree.file("src/Pop/Live/03_Hit.mp3", "hit");
    tree.file("src/Rock/01 - Intro.mp3", "intro");
    tree.file("src/Rock/02 - Song.MP3", "song");
    Click(form->ForwardToPreview);
    Click(form->ForwardToOutput);
    EXPECT_FALSE(form->CopyWithFolders->isEnabled()) << "the layout belongs to the copy";
    Click(form->OutputAsCopy);
    EXPECT_TRUE(form->CopyWithFolders->isChecked()) << "folders are the default layout";

    tree.folder("voll");
    tree.file("voll/alt.mp3", "alt");
    prompter.folders = {QString::fromStdString(tree.path("voll")),
                        QString::fromStdString(tree.path("stick"))};
    Click(form->SaveButton);
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_TRUE(prompter.messages[0].text.contains(QStringLiteral("ist nicht leer")))
        << prompter.messages[0].text.toStdString();
    EXPECT_EQ(page(), form->Sheet_Output);
    EXPECT_EQ(tree.read("voll/alt.mp3"), "alt");
    EXPECT_TRUE(prompter.saveRequests.empty()) << "a folder, not a file, is asked for";

    Click(form->SaveButton);
    ASSERT_EQ(prompter.folderCaptions.size(), 2U);
    EXPECT_EQ(prompter.folderCaptions[1],
              QStringLiteral("Leeres oder neues Verzeichnis für die Kopie wählen"));
    EXPECT_EQ(tree.read("stick/01 [Live]/001 Hit.mp3"), "hit");
    EXPECT_EQ(tree.read("stick/02 [Rock]/002 Intro.mp3"), "intro");
    EXPECT_EQ(tree.read("stick/02 [Rock]/003 Song.mp3"), "song");
    ASSERT_EQ(prompter.messages.size(), 2U);
    EXPECT_EQ(prompter.messages[1].text, kConfirmation);

    form->PageControl1->setCurrentWidget(form->Sheet_Output);
    Click(form->CopyInOneFolder);
    prompter.folders = {QString::fromStdString(tree.path("flach"))};
    Click(form->SaveButton);
    EXPECT_EQ(tree.read("flach/001 Hit.mp3"), "hit");
    EXPECT_EQ(tree.read("flach/003 Song.mp3"), "song");
}

}  // namespace
}  // namespace spurfix::ui::test
