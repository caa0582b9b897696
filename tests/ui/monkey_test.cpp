// A seeded random sequence of user actions over every page, with readings of real
// folders running, checking after every action what must always hold. Every action
// goes through the window system as a click, a key or a paste. The seeds are fixed, so
// that a failure can be replayed: SPURFIX_MONKEY_SEED=<seed> runs that seed alone,
// SPURFIX_MONKEY_SEED=random a new one, which it prints.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <chrono>
#include <iostream>
#include <map>
#include <random>

#include "engine/directory_walk.h"
#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

class SilentObserver : public WalkObserver {
    void folderEntered(std::string_view) override {}
    void showCounts(int32_t, int32_t) override {}
    bool stopRequested() override { return false; }
};

std::vector<std::string> FullReading(const std::string& source) {
    ScanList list;
    SilentObserver observer;
    ReadSource(source, list, observer);
    std::vector<std::string> lines;
    for (size_t i = 0; i < list.size(); ++i) {
        lines.emplace_back(list[i]);
    }
    return lines;
}

class MonkeyTest : public WizardTest,
                   public QObject,
                   public ::testing::WithParamInterface<uint32_t> {
  protected:
    void SetUp() override {
        // The two music folders are drives of their own; "/media/cd" holds no medium.
        drives = {{"/media/cd", platform::DriveType::CdRom},
                  {tree.path("a"), platform::DriveType::Removable},
                  {tree.path("b"), platform::DriveType::Removable}};
        WizardTest::SetUp();
        tree.folder("a/Pop/Live");
        tree.folder("a/Rock");
        tree.folder("a/Leer");
        for (int i = 0; i < 150; ++i) {
            tree.file("a/Pop/" + std::to_string(i) + " - Lied.mp3");
            tree.file("a/Rock/" + std::to_string(i) + " cover.jpg");
        }
        tree.folder("b/x");
        tree.link("..", "b/x/zurück");
        tree.file("b/x/Zeile\nneu.mp3");
        tree.file("b/\xFC\xFF.MP3");
        for (const char* source : {"a", "b", "a/Pop", "b/x"}) {
            sources.push_back(tree.path(source));
        }
        watchTermination();
        prompter.onDialog = [this](QDialog& dialog) {
            if (&dialog != chooser.get()) {
                return 1;
            }
            dialog.show();
            dialog.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            GoDownTo(chooser->DirectoryListBox1, sources[pick(sources.size())]);
            UserClick(pick(3) == 0 ? chooser->Button2 : chooser->Button1);
            const int result = dialog.result();
            dialog.hide();
            return result;
        };
        seed = GetParam();
        if (const char* given = std::getenv("SPURFIX_MONKEY_SEED")) {
            seed = std::string(given) == "random"
                       ? static_cast<uint32_t>(
                             std::chrono::steady_clock::now().time_since_epoch().count())
                       : static_cast<uint32_t>(std::strtoul(given, nullptr, 10));
        }
        random.seed(seed);
        std::cout << "monkey seed " << seed << std::endl;
    }

    const std::vector<std::string>& expectedReading(const std::string& source) {
        auto found = expected.find(source);
        if (found == expected.end()) {
            found = expected.emplace(source, FullReading(source)).first;
        }
        return found->second;
    }

    void watchTermination() {
        QObject::connect(form.get(), &TForm1::terminationRequested, [this] { ended = true; });
    }

    // The user ended the program: the next actions go to a new start of it.
    void restart() {
        ++programRuns;
        TearDown();
        WizardTest::SetUp();
        watchTermination();
        ended = false;
        completedSinceReset = false;
        runSource.clear();
    }

    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); }

    // One action as a person might do it on the page that is shown.
    void act() {
        ++actions;
        prompter.answers = {pick(60) == 0 ? Answer::Cancel : Answer::Ok};
        const QString extensions[] = {"mp3", "MP3", "ogg", "", " flac"};
        prompter.texts = {pick(4) == 0 ? std::nullopt
                                       : std::optional<QString>(extensions[pick(5)])};
        const QString targets[] = {QString::fromStdString(tree.path("out.txt")),
                                   QString::fromStdString(tree.path("a")),
                                   QString::fromStdString(tree.path("fehlt/out.txt"))};
        prompter.fileNames = {pick(4) == 0 ? std::nullopt
                                           : std::optional<QString>(targets[pick(3)])};

        if (pick(3000) == 0) {
            form->close();
            ended = true;
            return;
        }
        QWidget* page = form->PageControl1->currentWidget();
        if (page == form->Sheet_Files && form->AllowFiles->isEnabled() && pick(5) == 0) {
            const int rows = form->AllowFiles->count();
            if (rows > 0) {
                QListWidgetItem* item =
                    form->AllowFiles->item(static_cast<int>(pick(static_cast<size_t>(rows))));
                form->AllowFiles->scrollToItem(item);
                UserClick(form->AllowFiles->viewport(),
                          form->AllowFiles->visualItemRect(item).center());
            }
            return;
        }
        if (page == form->Sheet_Dirs && form->DirLabelTemplate->isEnabled() && pick(6) == 0) {
            const QString templates[] = {"[%NAME%]", "%PFAD%", "", "<%NAME%|%PFAD%>"};
            UserClick(form->DirLabelTemplate);
            UserPaste(templates[pick(4)]);
            return;
        }
        if (page == form->Sheet_Drive && !inRun && pick(4) == 0) {
            ChooseDrive(drives[pick(drives.size())].mountPoint);
            return;
        }
        std::vector<QAbstractButton*> buttons;
        for (QAbstractButton* button : page->findChildren<QAbstractButton*>()) {
            if (button->isVisible() && button->isEnabled()) {
                buttons.push_back(button);
            }
        }
        if (buttons.empty()) {
            return;
        }
        QAbstractButton* button = buttons[pick(buttons.size())];
        const bool startsRun = button == form->StartInput || button == form->ReInput;
        // A source that cannot be opened gives an error box and no reading: the last
        // reading's list stays.
        const int sourceFd = open(form->sourcePath().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool readable = sourceFd >= 0;
        if (readable) {
            close(sourceFd);
        }
        if (startsRun && !inRun && readable) {
            runSource = form->sourcePath();
            if (runSource.empty() || runSource.back() != '/') {
                runSource += '/';
            }
            armDriver();
        }
        if (button == form->BackToChooseDir) {
            completedSinceReset = false;
        }
        UserClick(button);
        if (startsRun && !inRun && readable &&
            form->InputText->text() == QStringLiteral("Einlesen erfolgreich beendet!")) {
            completedSinceReset = true;
        }
    }

    void check() {
        const int state = form->InputState;
        ASSERT_TRUE(state >= 0 && state <= 3) << state;
        if (inRun) {
            ASSERT_TRUE(form->isReading());
            ASSERT_TRUE(state == 2 || state == 3) << state;
            ASSERT_FALSE(form->BackToChooseDir->isEnabled());
            ASSERT_FALSE(form->ForwardToFiles->isEnabled());
            return;
        }
        ASSERT_FALSE(form->isReading());
        ASSERT_TRUE(state == 0 || state == 1) << state;
        if (!form->ScanList.empty()) {
            const std::vector<std::string>& full = expectedReading(runSource);
            ASSERT_LE(form->ScanList.size(), full.size());
            for (size_t i = 0; i < form->ScanList.size(); ++i) {
                ASSERT_EQ(form->ScanList[i], full[i]) << "line " << i;
            }
            if (form->InputText->text() == QStringLiteral("Einlesen erfolgreich beendet!")) {
                ASSERT_EQ(form->ScanList.size(), full.size());
            }
        }
        ASSERT_EQ(form->ForwardToFiles->isEnabled(), completedSinceReset);
        ASSERT_EQ(form->AllowFiles->isEnabled(), form->UseSpecificFiles->isChecked());
        ASSERT_EQ(form->AllowFilesAdd->isEnabled(), form->UseSpecificFiles->isChecked());
        if (form->AllowFilesRemove->isEnabled()) {
            ASSERT_TRUE(form->AllowFiles->isEnabled() &&
                        !form->AllowFiles->selectedItems().isEmpty());
        }
        ASSERT_EQ(form->DirLabelTemplate->isEnabled(), form->UseDirLabels->isChecked());
        ASSERT_EQ(form->CountPerDir->isEnabled(), form->CountFiles->isChecked());
        ASSERT_EQ(form->CountPerVolume->isEnabled(), form->CountFiles->isChecked());
        ASSERT_EQ(form->ChooseDirEdit->isEnabled(), form->ChooseDir->isChecked());
        ASSERT_EQ(form->ChooseDirButton->isEnabled(), form->ChooseDir->isChecked());
    }

    // Actions during a reading come from inside its progress updates.
    void armDriver() {
        countdown = static_cast<int>(pick(20)) + 1;
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }
    void customEvent(QEvent*) override {
        if (!form->isReading() || ended) {
            return;
        }
        if (--countdown <= 0) {
            ++actionsDuringRuns;
            inRun = true;
            act();
            check();
            inRun = false;
            countdown = static_cast<int>(pick(30)) + 1;
        }
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }

    TempTree tree;
    std::vector<std::string> sources;
    std::map<std::string, std::vector<std::string>> expected;
    std::mt19937 random;
    uint32_t seed = 0;
    int actions = 0;
    int actionsDuringRuns = 0;
    int programRuns = 1;
    int countdown = 0;
    bool inRun = false;
    bool ended = false;
    bool completedSinceReset = false;
    std::string runSource;
};

TEST_P(MonkeyTest, ThousandsOfActionsKeepEveryRule) {
    constexpr int kActions = 4000;
    while (actions < kActions) {
        if (ended) {
            restart();
        }
        act();
        SCOPED_TRACE("monkey seed " + std::to_string(seed) + ", action " + std::to_string(actions));
        check();
        if (HasFatalFailure()) {
            return;
        }
    }
    QCoreApplication::removePostedEvents(this);
    std::cout << "monkey: " << actions << " actions, " << actionsDuringRuns
              << " of them during a reading, " << programRuns << " program starts" << std::endl;
    EXPECT_GT(actionsDuringRuns, 0);
}

INSTANTIATE_TEST_SUITE_P(FixedSeeds, MonkeyTest, ::testing::Values(1U, 2U, 3U, 4U));

}  // namespace
}  // namespace spurfix::ui::test
