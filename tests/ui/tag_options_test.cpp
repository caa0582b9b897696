// The tag options on the files page and the preview's lines with titles and times from
// the tags, used with the mouse and keyboard.
#include <fileref.h>
#include <tag.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <fstream>

#include "support/mp3_frames.h"
#include "support/temp_tree.h"
#include "ui/tag_options_dialog.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

// A click on a check box's square, where a person clicks.
const QPoint kOnTheBox(8, 9);

class TagOptionsTest : public WizardTest {
  protected:
    // Opens "Tags …" and lets `inside` work in the shown dialog; the dialog's answer is
    // what the user's clicks made it.
    void InTagDialog(const std::function<void(TagOptionsDialog&)>& inside) {
        prompter.onDialog = [&](QDialog& dialog) {
            dialog.show();
            dialog.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            inside(*form->tagOptionsDialog);
            const int result = dialog.result();
            dialog.hide();
            return result;
        };
        UserClick(form->ButtonTags);
        prompter.onDialog = nullptr;
    }
};

// Every text of the page and of the dialog fits its control.
TEST_F(TagOptionsTest, TextsFitAndThePageKeepsItsSize) {
    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    const QSize pageSize = form->Sheet_Files->size();
    EXPECT_EQ(form->ButtonTags->text(), QStringLiteral("Tags …"));
    EXPECT_LE(form->ButtonTags->sizeHint().width(), form->ButtonTags->width());
    const QRect box = form->ButtonTags->parentWidget()->contentsRect();
    EXPECT_TRUE(box.contains(form->ButtonTags->geometry())) << "inside its group box";
    TagOptionsDialog& dialog = *form->tagOptionsDialog;
    for (QAbstractButton* button : {static_cast<QAbstractButton*>(dialog.TitlesFromTags),
                                    static_cast<QAbstractButton*>(dialog.ShowPlayingTimes),
                                    static_cast<QAbstractButton*>(dialog.ButtonOk),
                                    static_cast<QAbstractButton*>(dialog.ButtonCancel)}) {
        EXPECT_LE(button->sizeHint().width(), button->width()) << button->text().toStdString();
        EXPECT_TRUE(dialog.rect().contains(button->geometry())) << button->text().toStdString();
    }
    EXPECT_EQ(dialog.TitlesFromTags->text(), QStringLiteral("Titel aus den Tags lesen"));
    EXPECT_EQ(dialog.ShowPlayingTimes->text(), QStringLiteral("Spieldauer anzeigen"));
    EXPECT_EQ(dialog.TagTitleTemplate->text(), QStringLiteral("%INTERPRET% - %TITEL%"));
    EXPECT_EQ(form->Sheet_Files->size(), pageSize);
}

// The options off by default; OK keeps what the user set, "Abbrechen" what was before;
// the template can be edited only with titles from the tags.
TEST_F(TagOptionsTest, DialogKeepsOrDropsTheChanges) {
    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    EXPECT_FALSE(form->TitlesFromTags->isChecked());
    EXPECT_FALSE(form->ShowPlayingTimes->isChecked());
    EXPECT_FALSE(form->TagTitleTemplate->isEnabled());
    InTagDialog([](TagOptionsDialog& dialog) {
        UserClick(dialog.TitlesFromTags, kOnTheBox);
        EXPECT_TRUE(dialog.TagTitleTemplate->isEnabled());
        UserClick(dialog.TagTitleTemplate);
        EXPECT_TRUE(dialog.TagTitleTemplate->hasFocus());
        UserPaste(QStringLiteral("%TITEL% (%JAHR%)"));
        UserClick(dialog.ShowPlayingTimes, kOnTheBox);
        UserClick(dialog.ButtonOk);
    });
    EXPECT_TRUE(form->TitlesFromTags->isChecked());
    EXPECT_TRUE(form->ShowPlayingTimes->isChecked());
    EXPECT_EQ(form->TagTitleTemplate->text(), QStringLiteral("%TITEL% (%JAHR%)"));

    InTagDialog([](TagOptionsDialog& dialog) {
        UserClick(dialog.TitlesFromTags, kOnTheBox);
        UserClick(dialog.ShowPlayingTimes, kOnTheBox);
        UserClick(dialog.ButtonCancel);
    });
    EXPECT_TRUE(form->TitlesFromTags->isChecked());
    EXPECT_TRUE(form->ShowPlayingTimes->isChecked());
    EXPECT_TRUE(form->TagTitleTemplate->isEnabled());
}

TEST_F(TagOptionsTest, TemplateHelp) {
    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    InTagDialog([](TagOptionsDialog& dialog) {
        UserClick(dialog.TitlesFromTags, kOnTheBox);
        UserClick(dialog.ButtonTagTmplHelp);
        UserClick(dialog.ButtonCancel);
    });
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::Plain);
    EXPECT_TRUE(prompter.messages[0].text.startsWith(
        QStringLiteral("Folgende Platzhalter sind möglich:\r\n\r\n%INTERPRET% = Interpret\r\n"
                       "%TITEL% = Titel\r\n%ALBUM% = Album\r\n%JAHR% = Jahr\r\n%TITELNR% = ")));
}

// A folder of songs read, the options set in the dialog, and the preview shows the
// titles from the tags and the times; a song without a title tag keeps its file name.
TEST_F(TagOptionsTest, PreviewWithTitlesAndTimes) {
    spurfix::test::TempTree tree;
    tree.folder("CD");
    tree.file("CD/Track01.mp3", spurfix::test::Mp3Audio(spurfix::test::VariableRates(2500),
                                                        spurfix::test::VbrHeader::None));
    {
        TagLib::FileRef file(tree.path("CD/Track01.mp3").c_str());
        ASSERT_FALSE(file.isNull());
        file.tag()->setArtist(TagLib::String("Die Ärzte", TagLib::String::UTF8));
        file.tag()->setTitle("Sommerregen");
        ASSERT_TRUE(file.save());
    }
    tree.file("CD/Track02.mp3", spurfix::test::Mp3Audio(spurfix::test::ConstantRates(3000),
                                                        spurfix::test::VbrHeader::None));
    ReadFolder(tree.path("CD"));
    UserClick(form->ForwardToFiles);
    ASSERT_EQ(page(), form->Sheet_Files);
    InTagDialog([](TagOptionsDialog& dialog) {
        UserClick(dialog.TitlesFromTags, kOnTheBox);
        UserClick(dialog.ShowPlayingTimes, kOnTheBox);
        UserClick(dialog.ButtonOk);
    });
    UserClick(form->ForwardToDirs);
    UserClick(form->ForwardToPreview);
    ASSERT_EQ(page(), form->Sheet_Preview);
    // 2500 frames of 24 ms are 60 s; 3000 are 72 s.
    EXPECT_EQ(previewLines(), (QStringList{QStringLiteral("001 - Die Ärzte - Sommerregen (1:00)"),
                                           QStringLiteral("002 - Track02 (1:12)")}));

    // Times off again: the same titles, no times.
    UserClick(form->BackToDirs);
    UserClick(form->BackToFiles);
    InTagDialog([](TagOptionsDialog& dialog) {
        UserClick(dialog.ShowPlayingTimes, kOnTheBox);
        UserClick(dialog.ButtonOk);
    });
    UserClick(form->ForwardToDirs);
    UserClick(form->ForwardToPreview);
    EXPECT_EQ(previewLines(), (QStringList{QStringLiteral("001 - Die Ärzte - Sommerregen"),
                                           QStringLiteral("002 - Track02")}));
}

}  // namespace
}  // namespace spurfix::ui::test
