// A long list is built beside the window's thread: "Weiter" to the preview and a change
// of the player's order show the progress and "Abbrechen", the window goes on taking
// events, and a stop leaves the page, the list and the order as they were.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>

#include "support/temp_tree.h"
#include "ui/preview_model.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

// How long a click on "Abbrechen" may take to end the build here, on a machine shared
// with other builds and under the sanitizers; the benchmark measures the real figure.
constexpr qint64 kGenerousStopMs = 2000;

// The lines of a reading of 3,000 artist folders with 11 album folders of 11 songs and
// a cover each, and a single beside them: 435,000 entries, in no order of their names, below
// `root`.
ScanList LargeReading(const std::string& root) {
    ScanList scan;
    for (int artist = 0; artist < 3000; ++artist) {
        const std::string artistFolder =
            root + "/K\xc3\xbcnstler " + std::to_string((artist * 7919) % 3000) + "/";
        scan.append(artistFolder);
        for (int album = 0; album < 11; ++album) {
            const std::string albumFolder =
                artistFolder + "Album " + std::to_string((album * 7) % 11) + "/";
            scan.append(albumFolder);
            for (int track = 0; track < 11; ++track) {
                scan.append(albumFolder, std::to_string((track * 5) % 11 + 10) + " - Titel.mp3");
            }
            scan.append(albumFolder, "cover.jpg");
        }
        scan.append(artistFolder, "Single.mp3");
    }
    return scan;
}

class PreviewBuildTest : public WizardTest {
  protected:
    // A real reading of a small folder, whose scan list then stands in for a large one:
    // the list is built from the scan list alone, its files need not be there.
    void SetUp() override {
        WizardTest::SetUp();
        tree_.folder("cd");
        tree_.folder("cd/Pop");
        tree_.file("cd/Pop/01 - Lied.mp3");
        ASSERT_NO_FATAL_FAILURE(ReadFolder(tree_.path("cd")));
        ASSERT_GE(form->ScanList.size(), 2U);
        form->ScanList = LargeReading(tree_.path("cd"));
        UserClick(form->ForwardToFiles);
        UserClick(form->ForwardToDirs);
        ASSERT_EQ(page(), form->Sheet_Dirs);
    }

    // Runs `trigger`; once the work's panel shows "Liste" under way and a timer of the
    // window has fired three times while the build runs, `stopBy` stops it. Returns
    // whether it stopped the build; `stopMs` receives the time from the stop to the end.
    bool StopWhileBuilding(const std::function<void()>& trigger,
                           const std::function<void(QPushButton&)>& stopBy, qint64& stopMs) {
        int ticks = 0;
        QTimer ticking;
        ticking.setInterval(5);
        QObject::connect(&ticking, &QTimer::timeout,
                         [&] { ticks += form->isWorkingInBackground(); });
        ticking.start();
        bool stopped = false;
        QElapsedTimer sinceStop;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* bar = form->findChild<QProgressBar*>(QStringLiteral("WorkProgressBar"));
            auto* stop = form->findChild<QPushButton*>(QStringLiteral("CancelWork"));
            if (bar == nullptr || stop == nullptr || !stop->isVisible() || ticks < 3 ||
                !(bar->text().startsWith(QStringLiteral("Liste: ")) &&
                  bar->text().endsWith(QStringLiteral(" von 435.000")))) {
                return;
            }
            poll.stop();

            QDir().mkpath(QStringLiteral(SPURFIX_SCREENSHOT_DIR));
            EXPECT_TRUE(
                form->grab().save(QStringLiteral(SPURFIX_SCREENSHOT_DIR "/preview_build.png")));
            stopped = true;
            sinceStop.start();
            stopBy(*stop);
        });
        poll.start();
        trigger();
        stopMs = stopped ? sinceStop.elapsed() : -1;
        EXPECT_FALSE(form->isWorkingInBackground());
        EXPECT_GE(ticks, 3) << "the window took no events while the list was built";
        return stopped;
    }

    [[nodiscard]] QStringList firstLines(int count) const {
        QStringList lines;
        const QAbstractItemModel* model = form->Preview->model();
        for (int row = 0; row < std::min(count, model->rowCount()); ++row) {
            lines << model->index(row, 0).data().toString();
        }
        return lines;
    }

    // Picks an entry of the order's drop-down list with the keyboard, as a person does.
    void ChooseOrder(int wanted) {
        QComboBox* combo = form->PlayOrder;
        UserClick(combo);
        const int steps = wanted - combo->currentIndex();
        for (int i = 0; i < std::abs(steps); ++i) {
            UserKey(steps > 0 ? Qt::Key_Down : Qt::Key_Up);
        }
        UserKey(Qt::Key_Return);
    }

    TempTree tree_;
};

// "Abbrechen" during the build that "Weiter" started: the wizard stays on its page with
// no list; the next "Weiter" builds the whole list and shows it.
TEST_F(PreviewBuildTest, AbbrechenOnTheWayToThePreviewStaysOnThePage) {
    qint64 stopMs = -1;
    ASSERT_TRUE(StopWhileBuilding([&] { UserClick(form->ForwardToPreview); },
                                  [](QPushButton& stop) { UserClick(&stop); }, stopMs));
    std::fprintf(stderr, "stop of the build on the way to the preview: %lld ms\n",
                 static_cast<long long>(stopMs));
    EXPECT_LT(stopMs, kGenerousStopMs);
    EXPECT_EQ(page(), form->Sheet_Dirs);
    EXPECT_EQ(form->previewModel().rowCount(), 0);
    EXPECT_TRUE(form->ForwardToPreview->isEnabled());

    Click(form->ForwardToPreview);
    EXPECT_EQ(page(), form->Sheet_Preview);
    // Each of the 33,000 album folders has a heading and 11 songs, each artist's single
    // one of its own after them.
    EXPECT_EQ(form->previewModel().rowCount(), 33000 * 12 + 3000 * 2);
}

// A change of the order stopped by "Abbrechen" or Esc: the list built before and the
// order it was built in stay, and the order's list sets no other build going.
TEST_F(PreviewBuildTest, AStoppedChangeOfTheOrderKeepsTheListAndTheOrder) {
    Click(form->ForwardToPreview);
    ASSERT_EQ(page(), form->Sheet_Preview);
    ASSERT_EQ(form->PlayOrder->currentIndex(), 0);
    const int rows = form->previewModel().rowCount();
    const QStringList before = firstLines(50);

    const std::function<void(QPushButton&)> stops[] = {
        [](QPushButton& stop) { UserClick(&stop); },
        [](QPushButton&) { UserKey(Qt::Key_Escape); },
    };
    for (const auto& stopBy : stops) {
        qint64 stopMs = -1;
        ASSERT_TRUE(StopWhileBuilding([&] { ChooseOrder(1); }, stopBy, stopMs));
        std::fprintf(stderr, "stop of the build for another order: %lld ms\n",
                     static_cast<long long>(stopMs));
        EXPECT_LT(stopMs, kGenerousStopMs);
        EXPECT_EQ(page(), form->Sheet_Preview);
        EXPECT_EQ(form->PlayOrder->currentIndex(), 0);
        EXPECT_TRUE(form->CheckSortData->isEnabled());
        EXPECT_EQ(form->previewModel().rowCount(), rows);
        EXPECT_EQ(firstLines(50), before);
        // No build went on after the stop.
        QApplication::processEvents();
        EXPECT_FALSE(form->isWorkingInBackground());
    }
    // Unstopped, the order is taken and the list follows it: level by level, the
    // artists' singles before the albums' songs.
    ChooseOrder(2);
    EXPECT_EQ(form->PlayOrder->currentIndex(), 2);
    EXPECT_NE(firstLines(50), before);
    EXPECT_EQ(static_cast<QWidget*>(form->PlayOrder), QApplication::focusWidget())
        << "the order's list keeps the focus";
}

}  // namespace
}  // namespace spurfix::ui::test
