#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <QTextBlock>
#include <QToolTip>

#include "support/temp_tree.h"
#include "ui/folder_trace.h"
#include "ui/search_animation.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

// What the page shows, as one comparable row.
struct PageState {
    int inputState;
    bool startPanel;
    bool stop;
    bool reInput;
    bool playing;
    QString status;
    bool forward;
    bool back;
    bool operator==(const PageState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PageState& s) {
    return out << "{state " << s.inputState << " panel " << s.startPanel << " stop " << s.stop
               << " re " << s.reInput << " playing " << s.playing << " status '"
               << s.status.toStdString() << "' forward " << s.forward << " back " << s.back << "}";
}

class ReadingPageTest : public WizardTest {
  protected:
    void SetUp() override {
        // The music is on a drive of its own; "/media/cd" holds no medium.
        drives.push_back({root, platform::DriveType::Removable});
        WizardTest::SetUp();
        for (const char* folder : {"Pop", "Rock", "Jazz"}) {
            tree.folder(folder);
            for (int i = 0; i < 30; ++i) {
                tree.file(std::string(folder) + "/" + std::to_string(i) + " - Lied.mp3");
            }
        }
        UserClick(form->ForwardToChooseDir);
        ChooseDrive(root);
        UserClick(form->ForwardToInput);
    }

    PageState state() const {
        return {form->InputState,
                form->StartInputPanel->isVisibleTo(form->Sheet_Input),
                form->StopInput->isVisibleTo(form->Sheet_Input),
                form->ReInput->isVisibleTo(form->Sheet_Input),
                form->Animate1->isPlaying(),
                form->InputText->text(),
                form->ForwardToFiles->isEnabled(),
                form->BackToChooseDir->isEnabled()};
    }

    QStringList trace() const { return form->InputPreview->lines(); }

    TempTree tree;
    const std::string root = tree.root().substr(0, tree.root().size() - 1);
    static constexpr size_t kLines = 93;  // 3 folders of 30 files
};

TEST_F(ReadingPageTest, CompleteRun) {
    EXPECT_EQ(state(), (PageState{0, true, false, false, false, "", false, true}));
    EXPECT_EQ(form->Animate1->currentFrame(), 29);
    PageState during{};
    DuringUpdate(2, [&] { during = state(); });
    Click(form->StartInput);
    EXPECT_EQ(during, (PageState{2, false, true, false, true, "lese ein ..", false, false}));
    EXPECT_EQ(state(), (PageState{1, false, false, false, false, "Einlesen erfolgreich beendet!",
                                  true, true}));
    EXPECT_EQ(form->Animate1->currentFrame(), 29);
    EXPECT_EQ(form->ScanList.size(), kLines);
    EXPECT_EQ(form->InputFilesFound->text(), QStringLiteral("90"));
    EXPECT_EQ(form->InputDirsFound->text(), QStringLiteral("3"));
    EXPECT_EQ(trace().size(), 4);
    EXPECT_EQ(trace().front(), QString::fromStdString(tree.root()));
    // The counts are not only set but drawn, at the latest a frame after the reading.
    QTest::qWait(40);
    EXPECT_TRUE(form->InputFilesFound->updatesEnabled());
    EXPECT_TRUE(form->InputDirsFound->updatesEnabled());
}

// A drive's root ends in "/" and is read as it is; a folder from the chooser has no "/"
// at its end, and the reading adds it.
TEST_F(ReadingPageTest, ChosenFolderGetsItsTrailingSlash) {
    EXPECT_EQ(form->sourcePath(), tree.root());
    UserClick(form->StartInput);
    EXPECT_EQ(trace().front(), QString::fromStdString(tree.root()));

    ChooseFolder(tree.path("Rock"));
    EXPECT_EQ(form->sourcePath(), tree.path("Rock"));
    UserClick(form->ForwardToInput);
    UserClick(form->StartInput);
    EXPECT_EQ(trace().front(), QString::fromStdString(tree.path("Rock/")));
    EXPECT_EQ(form->ScanList.size(), 30U);
    EXPECT_TRUE(form->ScanList[0].starts_with(tree.path("Rock/")));
}

TEST_F(ReadingPageTest, StopThenReadAgain) {
    DuringUpdate(5, [&] { Click(form->StopInput); });
    Click(form->StartInput);
    EXPECT_EQ(state(),
              (PageState{1, false, false, true, false, "Einlesen abgebrochen!", false, true}));
    const size_t stoppedAt = form->ScanList.size();
    EXPECT_GT(stoppedAt, 0U);
    EXPECT_LT(stoppedAt, kLines);
    EXPECT_EQ(form->InputFilesFound->text().toInt() + form->InputDirsFound->text().toInt(),
              static_cast<int>(stoppedAt));

    QStringList traceSeenAtStart;
    DuringUpdate(1, [&] {
        traceSeenAtStart = trace();
        EXPECT_EQ(form->InputFilesFound->text(), QStringLiteral("0"));
    });
    Click(form->ReInput);
    EXPECT_EQ(traceSeenAtStart, QStringList{}) << "the trace is emptied first";
    EXPECT_EQ(form->ScanList.size(), kLines);
    EXPECT_EQ(state(), (PageState{1, false, false, false, false, "Einlesen erfolgreich beendet!",
                                  true, true}));
}

// "Neu Einlesen" while the stopped walk still unwinds: the new run waits for it.
TEST_F(ReadingPageTest, RunsNeverNest) {
    int nested = 0;
    DuringUpdate(3, [&] { Click(form->StopInput); });
    DuringUpdate(4, [&] {
        ASSERT_TRUE(form->ReInput->isVisible());
        Click(form->ReInput);
        nested += form->InputState == 2 ? 1 : 0;
    });
    Click(form->StartInput);
    EXPECT_EQ(nested, 0);
    EXPECT_FALSE(form->isReading());
    EXPECT_EQ(form->ScanList.size(), kLines) << "only the new run's lines";
    EXPECT_EQ(state(), (PageState{1, false, false, false, false, "Einlesen erfolgreich beendet!",
                                  true, true}));
}

// A double click on "Neu Einlesen" reads once, and "Abbrechen" stops whatever a click
// asked for: the second click of the double click arrives while the first run's first
// update processes events, as it does from a real mouse.
TEST_F(ReadingPageTest, DoubleClickReadsOnceAndAStopStopsIt) {
    const int oneReading = EventPasses([&] { UserClick(form->StartInput); });
    auto stopEarly = [&] {
        UserClick(form->BackToChooseDir);
        UserClick(form->ForwardToInput);
        DuringUpdate(3, [&] { UserClick(form->StopInput); });
        UserClick(form->StartInput);
        ASSERT_TRUE(form->ReInput->isVisible());
    };
    auto doubleClickReInput = [&] {
        DuringUpdate(1, [&] { UserClickAt(form->ReInput, 100010); });
        UserClickAt(form->ReInput, 100000);
    };

    stopEarly();
    const int doubleClicked = EventPasses(doubleClickReInput);
    EXPECT_EQ(state(), (PageState{1, false, false, false, false, "Einlesen erfolgreich beendet!",
                                  true, true}));
    EXPECT_LE(doubleClicked, oneReading + 2) << "one reading, not two";

    stopEarly();
    DuringUpdate(3, [&] { UserClick(form->StopInput); });
    const int stopped = EventPasses(doubleClickReInput);
    EXPECT_EQ(state(),
              (PageState{1, false, false, true, false, "Einlesen abgebrochen!", false, true}));
    EXPECT_LT(stopped, oneReading) << "no restart after the stop";
    EXPECT_LT(form->ScanList.size(), kLines);
}

TEST_F(ReadingPageTest, BackResetsTheReading) {
    Click(form->StartInput);
    Click(form->BackToChooseDir);
    EXPECT_EQ(page(), form->Sheet_Drive);
    EXPECT_TRUE(form->ScanList.empty());
    EXPECT_EQ(form->InputFilesFound->text(), QStringLiteral("0"));
    EXPECT_EQ(form->InputDirsFound->text(), QStringLiteral("0"));
    EXPECT_EQ(form->InputText->text(), QString());
    EXPECT_FALSE(form->ForwardToFiles->isEnabled());
    Click(form->ForwardToInput);
    EXPECT_TRUE(form->StartInputPanel->isVisibleTo(form->Sheet_Input));
}

TEST_F(ReadingPageTest, AfterTheWholeWayTheReadingStays) {
    Click(form->StartInput);
    form->PageControl1->setCurrentWidget(form->Sheet_Output);
    prompter.fileNames = {QString::fromStdString(tree.path("liste.txt"))};
    Click(form->SaveButton);
    EXPECT_EQ(page(), form->Sheet_About);
    Click(form->ForwardToChooseDir);
    Click(form->ForwardToInput);
    EXPECT_TRUE(form->StartInputPanel->isVisibleTo(form->Sheet_Input));
    EXPECT_TRUE(form->InputPreview->lines().isEmpty());
    EXPECT_TRUE(form->ForwardToFiles->isEnabled());
    EXPECT_EQ(form->ScanList.size(), kLines);
}

// An empty folder is a complete reading of nothing. A source that cannot be opened (a
// drive without a medium, a folder gone since it was chosen) is no reading at all: the
// error box names it, and the way on stays closed.
TEST_F(ReadingPageTest, EmptySourceIsACompleteRunAndAnUnreadableOneNoRun) {
    tree.folder("Leer");
    tree.folder("Weg");
    UserClick(form->BackToChooseDir);
    ChooseFolder(tree.path("Leer"));
    UserClick(form->ForwardToInput);
    UserClick(form->StartInput);
    EXPECT_EQ(form->InputText->text(), QStringLiteral("Einlesen erfolgreich beendet!"));
    EXPECT_EQ(form->InputFilesFound->text(), QStringLiteral("0"));
    EXPECT_TRUE(form->ForwardToFiles->isEnabled());
    EXPECT_TRUE(form->ScanList.empty());
    EXPECT_TRUE(prompter.messages.empty());
    UserClick(form->BackToChooseDir);

    const struct {
        std::string source;
        bool removeFirst;
    } unreadable[] = {{"/media/cd/", false}, {tree.path("Weg"), true}};
    for (const auto& c : unreadable) {
        if (c.removeFirst) {
            ChooseFolder(c.source);
            ASSERT_EQ(rmdir(c.source.c_str()), 0);
        } else {
            ChooseDrive("/media/cd");  // a drive without a medium
        }
        prompter.messages.clear();
        UserClick(form->ForwardToInput);
        UserClick(form->StartInput);
        ASSERT_EQ(prompter.messages.size(), 1U) << c.source;
        EXPECT_EQ(prompter.messages[0].kind, BoxKind::Error);
        EXPECT_EQ(prompter.messages[0].text,
                  QStringLiteral("Dieses Verzeichnis konnte nicht gelesen werden!\r\n\r\n%1\r\n\r\n"
                                 "Möglicherweise gibt es das Verzeichnis nicht, oder der Zugriff "
                                 "ist nicht erlaubt.")
                      .arg(QString::fromStdString(c.source)));
        EXPECT_TRUE(form->InputText->text().isEmpty()) << "no reading: " << c.source;
        EXPECT_TRUE(form->StartInputPanel->isVisibleTo(form->Sheet_Input));
        EXPECT_FALSE(form->ForwardToFiles->isEnabled());
        UserClick(form->BackToChooseDir);
    }
}

TEST_F(ReadingPageTest, ClosingDuringAReadingStopsItAndReleasesTheList) {
    size_t linesAtClose = 0;
    DuringUpdate(4, [&] {
        linesAtClose = form->ScanList.size();
        form->close();
        EXPECT_EQ(form->InputState, 3);
        EXPECT_TRUE(form->ScanList.empty()) << "released at the close";
    });
    Click(form->StartInput);
    EXPECT_GT(linesAtClose, 0U);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->ScanList.empty()) << "the walk added nothing after the close";
    EXPECT_EQ(form->InputState, 1);
}

TEST_F(ReadingPageTest, ClickOnTheStartPanelStartsTheRun) {
    UserClick(form->StartInputPanel, QPoint(5, 5));
    EXPECT_EQ(form->ScanList.size(), kLines);
}

// The trace follows the reading: after a path wider than the memo, the newest folder
// is still in view, from the start of its line.
class TraceTest : public WizardTest {
  protected:
    void SetUp() override {
        for (int i = 0; i < 8; ++i) {
            tree.folder("A/kurz" + std::to_string(i));
            tree.folder("A/" + std::string(80, 'L') + "/unten" + std::to_string(i));
        }
        drives = {{tree.root().substr(0, tree.root().size() - 1), platform::DriveType::CdRom}};
        WizardTest::SetUp();
    }
    TempTree tree;
};

TEST_F(TraceTest, TheLastFolderStaysInView) {
    UserClick(form->ForwardToChooseDir);
    UserClick(form->ForwardToInput);
    // Every update takes longer than a frame, so that the trace grows in many steps.
    const auto slow = DuringEveryUpdate([] { QTest::qSleep(17); });
    const int passes = EventPasses([&] { UserClick(form->StartInput); });
    ASSERT_GT(passes, 19);
    FolderTraceView* trace = form->InputPreview;
    const int rows = trace->model()->rowCount();
    ASSERT_EQ(rows, 19);  // the source, A, 17 below it
    const QRect lastLine = trace->visualRect(trace->model()->index(rows - 1, 0));
    EXPECT_TRUE(lastLine.top() >= 0 && lastLine.bottom() < trace->viewport()->height())
        << lastLine.y() << " outside a view " << trace->viewport()->height() << " high";
    EXPECT_EQ(lastLine.left(), 0) << "the line is shown from its start";
    EXPECT_LE(lastLine.right(), trace->viewport()->width()) << "the line fits the view";
    EXPECT_EQ(trace->horizontalScrollBar()->maximum(), 0) << "nothing to scroll sideways";
}

// Lines wider than the view that share a long beginning still look different: they are
// shortened in the middle, so that each shows its own folder's name. The whole line is
// in the tooltip and on the clipboard.
TEST_F(TraceTest, LongLinesShowTheirEndsWholeInTooltipAndCopy) {
    UserClick(form->ForwardToChooseDir);
    UserClick(form->ForwardToInput);
    UserClick(form->StartInput);
    FolderTraceView* trace = form->InputPreview;
    const QString longBeginning = QString::fromStdString(tree.path("A/" + std::string(80, 'L')));
    std::vector<QModelIndex> deep;
    for (int row = 0; row < trace->model()->rowCount(); ++row) {
        const QModelIndex index = trace->model()->index(row, 0);
        const QString line = index.data().toString();
        if (line.startsWith(longBeginning + QLatin1Char('/')) &&
            line.size() > longBeginning.size() + 1) {
            deep.push_back(index);
        }
    }
    ASSERT_EQ(deep.size(), 8U);
    ASSERT_GT(trace->fontMetrics().horizontalAdvance(deep[0].data().toString()),
              trace->viewport()->width())
        << "the lines are wider than the view";
    trace->scrollTo(deep[0], QAbstractItemView::PositionAtTop);
    const QImage shown = trace->viewport()->grab().toImage();
    const QRect first = trace->visualRect(deep[0]);
    const QRect second = trace->visualRect(deep[1]);
    ASSERT_TRUE(trace->viewport()->rect().contains(second));
    EXPECT_NE(shown.copy(first), shown.copy(second))
        << "two lines with the same beginning look alike";

    // The tooltip, as the view asks for it when the pointer rests on the line.
    QHelpEvent hover(QEvent::ToolTip, second.center(),
                     trace->viewport()->mapToGlobal(second.center()));
    QApplication::sendEvent(trace->viewport(), &hover);
    EXPECT_EQ(QToolTip::text(), deep[1].data().toString());
    QToolTip::hideText();

    UserClick(trace->viewport(), second.center());
    UserKey(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), deep[1].data().toString());
}

}  // namespace
}  // namespace spurfix::ui::test
