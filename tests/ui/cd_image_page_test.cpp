// The CD image chosen on the output page with the mouse: the save dialog's offer, the
// layout beneath it, the image in the list's order, and "Abbrechen" while it is written.
#include <sys/stat.h>
#include <unistd.h>

#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

#include "support/command_output.h"
#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::CommandOutput;
using spurfix::test::TempTree;

const QString kConfirmation = QStringLiteral(
    "Die Daten wurden erfolgreich exportiert!\r\n\r\nKlicken sie [OK] um zurück zum Anfang zu "
    "kommen oder [Abbrechen] um Spurfix zu beenden.");

class CdImagePageTest : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        tree.folder("src/Pop/Live");
        tree.folder("src/Rock");
        tree.file("src/Pop/Live/03_Hit.mp3", "hit");
        tree.file("src/Rock/01 - Intro.mp3", "intro");
        tree.file("src/Rock/02 - Song.MP3", "song");
    }

    void ToOutputPage() {
        ReadFolder(tree.path("src/"));
        form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
        Click(form->ForwardToPreview);
        Click(form->ForwardToOutput);
    }

    // The image's files by Joliet name, in the order their data lies.
    std::string JolietFiles(const std::string& image) const {
        const std::string report = CommandOutput("xorriso -read_fs norock -indev '" + image +
                                                 "' -find / -type f -exec report_lba 2>/dev/null"
                                                 " | grep '^File data' | sort -t, -k2 -n"
                                                 " | sed \"s/.*, '//; s/'$//\"");
        return report;
    }

    TempTree tree;
};

TEST_F(CdImagePageTest, TheImageIsOfferedBelowTheCopyAndWrittenInTheListsOrder) {
    ToOutputPage();
    EXPECT_EQ(form->OutputAsImage->text(), QStringLiteral("als CD-Abbild (ISO)"));
    EXPECT_GT(form->OutputAsImage->y(), form->OutputAsCopy->y());
    EXPECT_FALSE(form->CopyInOneFolder->isEnabled());
    Click(form->OutputAsImage);
    EXPECT_TRUE(form->CopyWithFolders->isChecked()) << "folders are the default layout";

    tree.file("cd.iso", "das alte Abbild");
    prompter.fileNames = {QString::fromStdString(tree.path("cd.iso"))};
    Click(form->SaveButton);
    ASSERT_EQ(prompter.saveRequests.size(), 1U);
    EXPECT_EQ(prompter.saveRequests[0].fileName, QStringLiteral("spurfix.iso"));
    EXPECT_EQ(prompter.saveRequests[0].filter, QStringLiteral("CD-Abbild (*.iso)"));
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].text, kConfirmation);
    EXPECT_EQ(JolietFiles(tree.path("cd.iso")),
              "/01 [Live]/001 Hit.mp3\n/02 [Rock]/002 Intro.mp3\n/02 [Rock]/003 Song.mp3\n");

    form->PageControl1->setCurrentWidget(form->Sheet_Output);
    Click(form->CopyInOneFolder);
    prompter.fileNames = {QString::fromStdString(tree.path("flach.iso"))};
    Click(form->SaveButton);
    EXPECT_EQ(JolietFiles(tree.path("flach.iso")), "/001 Hit.mp3\n/002 Intro.mp3\n/003 Song.mp3\n");
}

// "Abbrechen" while a large image is written: no message, the old file whole, the page
// as before. The songs are sparse files of 1 GiB each, so the image takes long to write.
TEST_F(CdImagePageTest, AbbrechenWhileTheImageIsWrittenKeepsTheOldFile) {
    for (const char* song : {"src/Rock/01 - Intro.mp3", "src/Rock/02 - Song.MP3"}) {
        ASSERT_EQ(truncate(tree.path(song).c_str(), off_t{1} << 30), 0);
    }
    ToOutputPage();
    Click(form->OutputAsImage);
    tree.file("cd.iso", "das alte Abbild");
    prompter.fileNames = {QString::fromStdString(tree.path("cd.iso"))};
    auto* poll = new QTimer(form.get());
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, form.get(), [&] {
        auto* stop = form->findChild<QPushButton*>(QStringLiteral("CancelWork"));
        auto* files = form->findChild<QWidget*>(QStringLiteral("WorkDetail"));
        if (stop != nullptr && stop->isVisible() && files != nullptr && files->isVisible()) {
            poll->stop();
            UserClick(stop);
        }
    });
    poll->start();
    Click(form->SaveButton);
    EXPECT_FALSE(form->isWorkingInBackground());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(tree.read("cd.iso"), "das alte Abbild");
    EXPECT_EQ(spurfix::test::KernelOrder(tree.root()).size(), 2U) << "src and the old image alone";
    EXPECT_EQ(page(), form->Sheet_Output);
    EXPECT_TRUE(form->SaveButton->isEnabled());
}

}  // namespace
}  // namespace spurfix::ui::test
