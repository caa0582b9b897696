// Playing times through the window: a folder of songs read with "Spieldauer anzeigen",
// exported as a playlist and as a CD insert; and "Abbrechen" while the tags are read.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QListView>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "support/command_output.h"
#include "support/mp3_frames.h"
#include "support/slow_medium.h"
#include "support/temp_tree.h"
#include "ui/tag_options_dialog.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

// A click on a check box's square, where a person clicks.
const QPoint kOnTheBox(8, 9);

QString ScreenshotPath(const char* name) {
    QDir().mkpath(QStringLiteral(SPURFIX_SCREENSHOT_DIR));
    return QStringLiteral(SPURFIX_SCREENSHOT_DIR "/") + QLatin1String(name);
}

class PlayingTimesTest : public WizardTest {
  protected:
    // On the files page: "Tags …", a click on "Spieldauer anzeigen", OK.
    void ShowTimes(const char* screenshot = nullptr) {
        ASSERT_EQ(page(), form->Sheet_Files);
        prompter.onDialog = [&](QDialog& dialog) {
            dialog.show();
            dialog.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            UserClick(form->tagOptionsDialog->ShowPlayingTimes, kOnTheBox);
            EXPECT_TRUE(form->ShowPlayingTimes->isChecked());
            if (screenshot != nullptr) {
                // The files page with the dialog over it, where the window system puts it.
                QPixmap shot = form->grab();
                QPainter painter(&shot);
                const QPoint at =
                    dialog.mapToGlobal(QPoint(0, 0)) - form->mapToGlobal(QPoint(0, 0));
                painter.drawPixmap(at, dialog.grab());
                painter.end();
                EXPECT_TRUE(shot.save(ScreenshotPath(screenshot)));
            }
            UserClick(form->tagOptionsDialog->ButtonOk);
            const int result = dialog.result();
            dialog.hide();
            return result;
        };
        UserClick(form->ButtonTags);
        prompter.onDialog = nullptr;
    }
    // From the files page through the preview to "Fertig!" with `format` chosen, saving
    // to `target`.
    void ExportFromFilesPage(QRadioButton* format, const std::string& target) {
        UserClick(form->ForwardToDirs);
        UserClick(form->ForwardToPreview);
        ASSERT_EQ(page(), form->Sheet_Preview);
        UserClick(form->ForwardToOutput);
        ASSERT_EQ(page(), form->Sheet_Output);
        UserClick(format, kOnTheBox);
        ASSERT_TRUE(format->isChecked());
        prompter.fileNames = {QString::fromStdString(target)};
        UserClick(form->SaveButton);
    }
};

// Songs whose times are known exactly: a constant bit rate without a VBR header (the
// frames counted), a variable one with a Xing header, and one of over an hour.
TEST_F(PlayingTimesTest, PlaylistAndInsertWithTimes) {
    TempTree tree;
    tree.folder("CD/Sommer");
    // Frames of 24 ms: 2500 are 1:00, 9375 are 3:45, 155125 are 1:02:03.
    tree.file("CD/Sommer/01 - Regen.mp3",
              spurfix::test::Mp3Audio(spurfix::test::ConstantRates(2500, 32),
                                      spurfix::test::VbrHeader::None));
    tree.file("CD/Sommer/02 - Gewitter über der Stadt am Abend, wenn alle schlafen.mp3",
              spurfix::test::Mp3Audio(spurfix::test::VariableRates(9375),
                                      spurfix::test::VbrHeader::Xing));
    tree.file("CD/Sommer/03 - Die lange Nacht.mp3",
              spurfix::test::Mp3Audio(spurfix::test::ConstantRates(155125, 32),
                                      spurfix::test::VbrHeader::Info));
    ReadFolder(tree.path("CD"));
    UserClick(form->ForwardToFiles);
    ShowTimes("files_page_tag_options.png");
    const QStringList lines = {
        QStringLiteral("[Sommer]"),
        QStringLiteral("001 - Regen (1:00)"),
        QStringLiteral("002 - Gewitter über der Stadt am Abend, wenn alle schlafen (3:45)"),
        QStringLiteral("003 - Die lange Nacht (1:02:03)"),
    };

    ExportFromFilesPage(form->OutputAsPlaylist, tree.path("CD/spurfix.m3u"));
    EXPECT_EQ(previewLines(), lines);
    EXPECT_EQ(tree.read("CD/spurfix.m3u"),
              "#EXTM3U\r\n# [Sommer]\r\n#EXTINF:60,001 - Regen\r\nSommer/01 - Regen.mp3\r\n"
              "#EXTINF:225,002 - Gewitter \xC3\xBC"
              "ber der Stadt am Abend, wenn alle schlafen\r\n"
              "Sommer/02 - Gewitter \xC3\xBC"
              "ber der Stadt am Abend, wenn alle schlafen.mp3\r\n"
              "#EXTINF:3723,003 - Die lange Nacht\r\nSommer/03 - Die lange Nacht.mp3\r\n");
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_TRUE(prompter.messages[0].text.startsWith(
        QStringLiteral("Die Daten wurden erfolgreich exportiert!")));
    ASSERT_EQ(page(), form->Sheet_About);

    // Once more from the start, for the insert: the option is still set.
    ReadFolder(tree.path("CD"));
    UserClick(form->ForwardToFiles);
    EXPECT_TRUE(form->ShowPlayingTimes->isChecked());
    ExportFromFilesPage(form->OutputAsInsert, tree.path("einleger.pdf"));
    EXPECT_EQ(previewLines(), lines);
    ASSERT_EQ(prompter.messages.size(), 2U);
    const std::string pdf = "'" + tree.path("einleger.pdf") + "'";
    const QString text =
        QString::fromStdString(spurfix::test::CommandOutput("pdftotext -enc UTF-8 " + pdf + " -"))
            .simplified();
    EXPECT_TRUE(text.startsWith(QStringLiteral("CD Gesamtdauer 1:06:48 [Sommer]")))
        << text.toStdString();
    for (const char* time : {"1:00", "3:45", "1:02:03"}) {
        EXPECT_TRUE(text.contains(QLatin1String(time))) << time;
    }
    EXPECT_FALSE(text.contains(QLatin1Char('('))) << "no time in brackets after a title";
    // The insert as a picture, to look at.
    const std::string png = ScreenshotPath("cd_insert_with_times").toStdString();
    spurfix::test::CommandOutput("pdftoppm -png -r 100 -f 1 -l 1 -singlefile " + pdf + " '" + png +
                                 "'");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(png + ".png")));
}

// The tests' FUSE medium (in the suite's private mount namespace) whose files open only
// once the test lets them: the reading of their tags waits until then.
class TagReadingStopTest : public PlayingTimesTest {
  protected:
    void SetUp() override {
        tree.folder("medium");
        tree.file("gate");
        setenv("SLOW_FUSE_GATE", tree.path("gate").c_str(), 1);
        medium = std::make_unique<spurfix::test::MountedMedium>(mountPoint, 0, tree.path("marker"),
                                                                false, true);
        unsetenv("SLOW_FUSE_GATE");
        if (!medium->mounted()) {
            GTEST_SKIP() << "needs FUSE and the suite's private mount namespace";
        }
        drives.push_back({mountPoint, platform::DriveType::Removable});
        WizardTest::SetUp();
    }
    void TearDown() override {
        openGate();
        WizardTest::TearDown();
    }
    void openGate() { std::remove(tree.path("gate").c_str()); }

    TempTree tree;
    const std::string mountPoint = tree.path("medium");
    std::unique_ptr<spurfix::test::MountedMedium> medium;
};

// "Abbrechen" while the tags are read stops the reading: the preview is not shown and
// nothing half-read is kept; the next try reads every song.
TEST_F(TagReadingStopTest, AbbrechenStopsTheTagReading) {
    UserClick(form->ForwardToChooseDir);
    ChooseDrive(mountPoint);
    UserClick(form->ForwardToInput);
    UserClick(form->StartInput);
    ASSERT_FALSE(form->isReading());
    UserClick(form->ForwardToFiles);
    ShowTimes();
    UserClick(form->ForwardToDirs);

    // Once the bar counts the songs, none of which can be opened yet, a click on
    // "Abbrechen"; then the files open.
    QString shownAtTheStop;
    auto* poll = new QTimer(form.get());
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, form.get(), [&, poll] {
        auto* bar = form->findChild<QProgressBar*>(QStringLiteral("WorkProgressBar"));
        auto* stop = form->findChild<QPushButton*>(QStringLiteral("CancelWork"));
        if (bar == nullptr || stop == nullptr || !stop->isVisible() ||
            bar->text() != QStringLiteral("Tags: 0 von 3")) {
            return;
        }
        poll->stop();
        shownAtTheStop = bar->text();
        UserClick(stop);
        openGate();
    });
    poll->start();
    UserClick(form->ForwardToPreview);
    delete poll;
    EXPECT_EQ(shownAtTheStop, QStringLiteral("Tags: 0 von 3"));
    EXPECT_FALSE(form->isWorkingInBackground());
    EXPECT_EQ(page(), form->Sheet_Dirs) << "the stopped reading went on to the preview";

    // The next try reads them all.
    UserClick(form->ForwardToPreview);
    ASSERT_EQ(page(), form->Sheet_Preview);
    int songs = 0;
    for (const QString& line : previewLines()) {
        songs += line.startsWith(QStringLiteral("00")) ? 1 : 0;
    }
    EXPECT_EQ(songs, 3);
}

}  // namespace
}  // namespace spurfix::ui::test
