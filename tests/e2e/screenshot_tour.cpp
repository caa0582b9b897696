// The real windows on a real X server: every page, the dialogs, and a whole run from
// reading a folder to the exported list, with a screenshot of each step.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

void Save(QWidget* window, const QString& name) {
    QDir().mkpath(QStringLiteral(SPURFIX_SCREENSHOT_DIR));
    QTest::qWait(50);
    const QPixmap shot = window->screen()->grabWindow(window->winId());
    ASSERT_FALSE(shot.isNull()) << name.toStdString();
    ASSERT_TRUE(
        shot.save(QStringLiteral(SPURFIX_SCREENSHOT_DIR "/") + name + QStringLiteral(".png")));
}

class ScreenshotTour : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        QTest::qWait(100);
    }
};

TEST_F(ScreenshotTour, EveryPageAndAWholeRun) {
    TempTree tree;
    tree.folder("CD/Pop/Live");
    tree.folder("CD/Rock");
    tree.file("CD/Pop/Live/03_Hit.mp3");
    tree.file("CD/Rock/01 - Intro.mp3");
    tree.file("CD/Rock/02 - Song.MP3");
    tree.file("CD/Rock/cover.jpg");

    EXPECT_EQ(form->size(), QSize(335, 248));
    Save(form.get(), QStringLiteral("01_welcome"));

    const auto picture = [](QDialog& dialog) {
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        Save(&dialog, dialog.objectName() == QStringLiteral("Form2")
                          ? QStringLiteral("02_about")
                          : QStringLiteral("04_choose_dir"));
        dialog.hide();
        return int(QDialog::Accepted);
    };
    prompter.onDialog = picture;
    Click(form->AboutButton);
    Click(form->ForwardToChooseDir);
    Save(form.get(), QStringLiteral("03_source"));
    ASSERT_NO_FATAL_FAILURE(ChooseFolder(tree.path("CD")));
    prompter.onDialog = picture;
    Click(form->ChooseDirButton);  // once more, for its picture
    EXPECT_EQ(form->ChooseDirEdit->text(), QString::fromStdString(tree.path("CD")));

    Click(form->ForwardToInput);
    Save(form.get(), QStringLiteral("05_reading_start"));
    DuringUpdate(1, [this] { Save(form.get(), QStringLiteral("06_reading_running")); });
    Click(form->StartInput);
    EXPECT_EQ(form->InputText->text(), QStringLiteral("Einlesen erfolgreich beendet!"));
    EXPECT_EQ(form->InputFilesFound->text(), QStringLiteral("4"));
    Save(form.get(), QStringLiteral("07_reading_done"));

    Click(form->ForwardToFiles);
    Click(form->UseSpecificFiles);
    Save(form.get(), QStringLiteral("08_files"));
    Click(form->UseMP3sOnly);
    Click(form->ForwardToDirs);
    Save(form.get(), QStringLiteral("09_folders"));
    Click(form->ForwardToPreview);
    EXPECT_EQ(form->Preview->model()->rowCount(), 5);
    Save(form.get(), QStringLiteral("10_preview"));
    Click(form->ForwardToOutput);
    Save(form.get(), QStringLiteral("11_output"));

    // The CD image: the page with its choice, and the progress while a large image is
    // written (songs of 1 GiB without blocks), stopped with "Abbrechen" once pictured.
    Click(form->OutputAsImage);
    Save(form.get(), QStringLiteral("11a_output_image"));
    for (const char* song : {"CD/Pop/Live/03_Hit.mp3", "CD/Rock/01 - Intro.mp3"}) {
        ASSERT_EQ(truncate(tree.path(song).c_str(), off_t{1} << 30), 0);
    }
    prompter.fileNames = {QString::fromStdString(tree.path("spurfix.iso"))};
    bool pictured = false;
    auto* poll = new QTimer(form.get());
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, form.get(), [&] {
        auto* stop = form->findChild<QPushButton*>(QStringLiteral("CancelWork"));
        auto* files = form->findChild<QWidget*>(QStringLiteral("WorkDetail"));
        if (stop != nullptr && stop->isVisible() && files != nullptr && files->isVisible()) {
            poll->stop();
            Save(form.get(), QStringLiteral("11b_image_progress"));
            pictured = true;
            UserClick(stop);
        }
    });
    poll->start();
    Click(form->SaveButton);
    EXPECT_TRUE(pictured);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(access(tree.path("spurfix.iso").c_str(), F_OK), -1);
    Click(form->OutputAsText);

    prompter.fileNames = {QString::fromStdString(tree.path("spurfix.txt"))};
    Click(form->SaveButton);
    EXPECT_EQ(tree.read("spurfix.txt"),
              "[Live]\r\n001 - Hit\r\n[Rock]\r\n002 - Intro\r\n003 - Song\r\n");
    EXPECT_EQ(page(), form->Sheet_About);

    // The real boxes, as they would be shown.
    const auto confirmation = BuildMessageBox(
        BoxKind::Confirmation,
        QStringLiteral(
            "Die Daten wurden erfolgreich exportiert!\r\n\r\nKlicken sie [OK] um zurück zum "
            "Anfang zu kommen oder [Abbrechen] um Spurfix zu beenden."));
    confirmation->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(confirmation.get()));
    Save(confirmation.get(), QStringLiteral("12_confirmation"));
    confirmation->hide();
    const auto error = BuildMessageBox(
        BoxKind::Error,
        QStringLiteral("Dieses Laufwerk konnte nicht gelesen werden!\r\n\r\nMöglicherweise ist "
                       "kein Medium eingelegt oder es ist nicht formatiert."));
    error->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(error.get()));
    Save(error.get(), QStringLiteral("13_error"));
    error->hide();
}

}  // namespace
}  // namespace spurfix::ui::test
