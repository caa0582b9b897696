// A hostile tree through the real window: every file reaches the exported list exactly
// once, in the order of the reading, byte for byte as on the disk.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/safe_file.h"
#include "support/child_process.h"
#include "support/paced_content.h"
#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t end; (end = content.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
        lines.push_back(content.substr(pos, end - pos));
    }
    EXPECT_EQ(pos, content.size()) << "the file ends with a complete line";
    return lines;
}

class NothingLostTest : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        tree.folder("src");
        const std::string names[] = {"zwei  Leer  zeichen.mp3",
                                     ".versteckt.mp3",
                                     "-rf.mp3",
                                     "\"Zitat\" 'einfach'.mp3",
                                     "a,b,c.mp3",
                                     "Zeilen\numbruch.mp3",
                                     "Wagen\rRücklauf.mp3",
                                     "nicht-utf8-\xFC\xFF.mp3",
                                     "M\xC3\xBCller.mp3",
                                     "Mu\xCC\x88ller.mp3",
                                     "01 - Lied.MP3",
                                     "ohne Endung",
                                     " führend.mp3",
                                     "ende .mp3"};
        for (const std::string& name : names) {
            tree.file("src/" + name);
        }
        tree.folder("src/viele");
        for (int i = 0; i < 50000; ++i) {
            close(open(tree.path("src/viele/" + std::to_string(i) + ".mp3").c_str(),
                       O_WRONLY | O_CREAT, 0644));
        }
        spurfix::test::MakeChain(tree.path("src"), "t", 2000, "tief.mp3");
        spurfix::test::MakeChain(tree.path("src"), std::string(250, 'L'), 20, "lang.mp3");
        tree.folder("src/schleife");
        tree.link("..", "src/schleife/zurück");
        tree.folder("src/zu");
        tree.file("src/zu/drin.mp3");
        chmod(tree.path("src/zu").c_str(), 0);
        mkfifo(tree.path("src/rohr").c_str(), 0644);
        const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s",
                      tree.path("src/sock").c_str());
        if (bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            tree.file("src/sock");
        }
        close(sock);
        ReadFolder(tree.path("src/"));
    }

    std::string exportList(const std::string& name) {
        form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
        Click(form->ForwardToPreview);
        Click(form->ForwardToOutput);
        prompter.fileNames = {QString::fromStdString(tree.path(name))};
        Click(form->SaveButton);
        EXPECT_EQ(prompter.messages.back().kind, BoxKind::Confirmation);
        return tree.read(name);
    }

    TempTree tree;
};

TEST_F(NothingLostTest, EveryFileExactlyOnceInWalkOrderByteForByte) {
    EXPECT_EQ(form->InputText->text(), QStringLiteral("Einlesen erfolgreich beendet!"));
    form->UseAllFiles->setChecked(true);
    for (QCheckBox* option :
         {form->FilesWithoutExtension, form->FilesWithoutTrackNr, form->FilesWithJustTitle,
          form->UseDirLabels, form->CountFiles, form->CheckSortData}) {
        option->setChecked(false);
    }
    const std::vector<std::string> lines = SplitLines(exportList("alle.txt"));

    std::vector<std::string> expected;
    for (const std::string& path : spurfix::test::ReferenceFiles(tree.path("src"))) {
        expected.push_back(OneLine(path.substr(path.rfind('/') + 1)));
    }
    ASSERT_GT(expected.size(), 50000U);
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i], expected[i]) << "line " << i;
    }
    const auto has = [&](const std::string& name) {
        return std::count(lines.begin(), lines.end(), name);
    };
    EXPECT_EQ(has("tief.mp3"), 1);
    EXPECT_EQ(has("lang.mp3"), 1);
    EXPECT_EQ(has("Zeilen umbruch.mp3"), 1);
    EXPECT_EQ(has("nicht-utf8-\xFC\xFF.mp3"), 1);
    EXPECT_EQ(has("rohr"), 1);
}

TEST_F(NothingLostTest, DefaultsNumberWithoutGaps) {
    const std::vector<std::string> lines = SplitLines(exportList("standard.txt"));
    const int width = static_cast<int>(form->InputFilesFound->text().size());
    int number = 0;
    for (const std::string& line : lines) {
        if (line.starts_with("[")) {
            continue;
        }
        ++number;
        char expectedNumber[32];
        std::snprintf(expectedNumber, sizeof expectedNumber, "%0*d - ", width, number);
        ASSERT_TRUE(line.starts_with(expectedNumber))
            << line << " should begin with " << expectedNumber;
    }
    EXPECT_GT(number, 50000);
}

// An export into a hard-linked list was killed with its whole process group while it
// overwrote the list in place. The next start finds the backup of the old list and asks
// whether to restore it: OK restores it and removes the backup; Abbrechen leaves the
// backup file where it is and does not ask again.
class LeftBackupTest : public WizardTest {
  protected:
    explicit LeftBackupTest(Answer answer) { prompter.answers = {answer}; }
    void SetUp() override {
        stateHome.emplace("XDG_STATE_HOME", state.root());
        tree.file("liste.txt", oldList);
        ASSERT_EQ(link(tree.path("liste.txt").c_str(), tree.path("zweiter-name.txt").c_str()), 0);
        ASSERT_TRUE(spurfix::test::KillHalfwayInPlace(tree.path("liste.txt"),
                                                      spurfix::test::ListBytes(300000)));
        torn = tree.read("liste.txt");
        WizardTest::SetUp();
    }
    void TearDown() override {
        WizardTest::TearDown();
        stateHome.reset();
    }
    [[nodiscard]] std::vector<std::string> names() const {
        std::vector<std::string> found = spurfix::test::KernelOrder(tree.root());
        std::sort(found.begin(), found.end());
        return found;
    }

    TempTree tree;
    TempTree state;
    std::optional<spurfix::test::ScopedEnvironment> stateHome;
    const std::string oldList = spurfix::test::ListBytes(1000, "[Alt] 001 - fr\xC3\xBCheres Lied");
    std::string torn;
};

class LeftBackupRestored : public LeftBackupTest {
  protected:
    LeftBackupRestored() : LeftBackupTest(Answer::Ok) {}
};

class LeftBackupKept : public LeftBackupTest {
  protected:
    LeftBackupKept() : LeftBackupTest(Answer::Cancel) {}
};

TEST_F(LeftBackupRestored, TheNextStartRestoresTheOldList) {
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::Confirmation);
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral("„%1“ wurde beim letzten Mal nicht fertig geschrieben. Der frühere "
                             "Inhalt liegt in „%2“.\n\nSoll der frühere Inhalt wiederhergestellt "
                             "werden?")
                  .arg(QString::fromStdString(tree.path("liste.txt")),
                       QString::fromStdString(tree.path("liste.txt.spurfix-sicherung"))));
    EXPECT_EQ(tree.read("liste.txt"), oldList);
    EXPECT_EQ(tree.read("zweiter-name.txt"), oldList) << "the hard link holds";
    EXPECT_EQ(names(), (std::vector<std::string>{"liste.txt", "zweiter-name.txt"}));
    EXPECT_TRUE(platform::FindLeftBackups().empty());
}

TEST_F(LeftBackupKept, AbbrechenKeepsTheBackupFileAndAsksNoMore) {
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::Confirmation);
    EXPECT_EQ(tree.read("liste.txt"), torn);
    EXPECT_EQ(tree.read("liste.txt.spurfix-sicherung"), oldList);
    EXPECT_EQ(names(), (std::vector<std::string>{"liste.txt", "liste.txt.spurfix-sicherung",
                                                 "zweiter-name.txt"}));
    EXPECT_TRUE(platform::FindLeftBackups().empty());
}

}  // namespace
}  // namespace spurfix::ui::test
