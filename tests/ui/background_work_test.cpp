// Long work runs beside the window: the bottom bar shows its progress and "Abbrechen",
// the pages take no input meanwhile, and a click on "Abbrechen" stops the work.
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

// Calls `action` once the work's panel is on the screen, from the window's event loop.
void WhenWorkPanelShows(TForm1& form, std::function<void(QProgressBar&, QPushButton&)> action) {
    auto* poll = new QTimer(&form);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, action] {
        auto* bar = form.findChild<QProgressBar*>(QStringLiteral("WorkProgressBar"));
        auto* stop = form.findChild<QPushButton*>(QStringLiteral("CancelWork"));
        if (bar != nullptr && stop != nullptr && stop->isVisible()) {
            poll->stop();
            poll->deleteLater();
            action(*bar, *stop);
        }
    });
    poll->start();
}

class BackgroundWorkTest : public WizardTest {};

TEST_F(BackgroundWorkTest, ProgressIsShownAndAbbrechenStopsTheWork) {
    std::mutex mutex;
    std::condition_variable halfway;
    bool reported = false;
    QString shown;
    bool pagesTookInput = true;
    WhenWorkPanelShows(*form, [&](QProgressBar& bar, QPushButton& stop) {
        std::unique_lock lock(mutex);
        halfway.wait(lock, [&] { return reported; });
        lock.unlock();
        // The bar shows what was reported at its next look.
        QTRY_COMPARE_WITH_TIMEOUT(bar.text(), QStringLiteral("Test: 5.000 von 10.000"), 10000);
        shown = bar.text();
        pagesTookInput = form->PageControl1->isEnabled();
        QDir().mkpath(QStringLiteral(SPURFIX_SCREENSHOT_DIR));
        EXPECT_TRUE(form->grab().save(QStringLiteral(SPURFIX_SCREENSHOT_DIR "/work_progress.png")));
        EXPECT_EQ(QApplication::focusWidget(), &stop);
        UserClick(&stop);
    });
    bool sawStop = false;
    const bool completed = form->runInBackground(QStringLiteral("Test"), [&](WorkProgress& work) {
        work.report(5000, 10000);
        {
            const std::lock_guard lock(mutex);
            reported = true;
        }
        halfway.notify_all();
        while (!work.cancelled()) {
            std::this_thread::yield();
        }
        sawStop = true;
    });
    EXPECT_FALSE(completed);
    EXPECT_TRUE(sawStop);
    EXPECT_EQ(shown, QStringLiteral("Test: 5.000 von 10.000"));
    EXPECT_FALSE(pagesTookInput) << "the pages must wait while the work runs";
    EXPECT_TRUE(form->PageControl1->isEnabled());
    EXPECT_FALSE(form->isWorkingInBackground());
}

TEST_F(BackgroundWorkTest, WhatTheWorkThrowsReachesTheCaller) {
    EXPECT_THROW(form->runInBackground(QStringLiteral("Test"),
                                       [](WorkProgress&) { throw std::runtime_error("kaputt"); }),
                 std::runtime_error);
    EXPECT_TRUE(form->PageControl1->isEnabled());
}

// A CD insert of a long list is stopped half way: no file, no message, the page as before.
// When the application ends while work runs (the session ends, say), the window does not
// wait for the work to be through: the work is told to stop.
TEST_F(BackgroundWorkTest, AnEndingApplicationStopsTheWork) {
    std::atomic<bool> sawStop{false};
    WhenWorkPanelShows(*form, [](QProgressBar&, QPushButton&) { QCoreApplication::exit(0); });
    const bool completed = form->runInBackground(QStringLiteral("Test"), [&](WorkProgress& work) {
        // Without the stop this runs for a minute, far beyond the test's limit.
        for (int i = 0; i < 60000 && !work.cancelled(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        sawStop = work.cancelled();
    });
    EXPECT_FALSE(completed);
    EXPECT_TRUE(sawStop);
    // Outside the application's own loop the request to end stays in force for every later
    // loop of this thread until that loop runs once.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

TEST_F(BackgroundWorkTest, AbbrechenStopsAnExportAndWritesNothing) {
    TempTree tree;
    tree.folder("cd");
    const int folder = open(tree.path("cd").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    for (int song = 0; song < 20000; ++song) {
        const std::string name = std::to_string(song) + " - Ein Lied mit Namen.mp3";
        close(openat(folder, name.c_str(), O_WRONLY | O_CREAT, 0644));
    }
    close(folder);
    ReadFolder(tree.path("cd"));
    form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
    Click(form->ForwardToPreview);
    Click(form->ForwardToOutput);
    Click(form->OutputAsInsert);
    prompter.fileNames = {QString::fromStdString(tree.path("einleger.pdf"))};
    WhenWorkPanelShows(*form, [](QProgressBar&, QPushButton& stop) { UserClick(&stop); });
    Click(form->SaveButton);
    EXPECT_FALSE(form->isWorkingInBackground());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(access(tree.path("einleger.pdf").c_str(), F_OK), -1);
    EXPECT_EQ(page(), form->Sheet_Output);
    EXPECT_TRUE(form->SaveButton->isEnabled());
}

}  // namespace
}  // namespace spurfix::ui::test
