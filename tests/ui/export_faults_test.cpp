// Every way an export can fail, through the window with the real message texts: the
// right message, no confirmation, nothing changed, the target's earlier content intact,
// and the next export to a good file succeeds.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRadioButton>
#include <QStackedWidget>
#include <functional>
#include <iostream>

#include "support/child_process.h"
#include "support/file_rights.h"
#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

struct Fault {
    const char* what;
    // Arranges the fault and gives the target, or "" with the reason in `skip`.
    std::function<std::string(TempTree&, std::string& skip)> arrange;
    QString message;
    std::function<void(TempTree&)> undo = [](TempTree&) {};
    // The export runs in a child process as the user nobody, so that this process
    // keeps its rights.
    bool asNobody = false;
};

bool PrivateMounts() {
    return std::getenv("SPURFIX_PRIVATE_MOUNTS") != nullptr;
}

std::string SmallTmpfs(TempTree& tree, std::string& skip, bool full,
                       const char* options = "size=64k") {
    if (!PrivateMounts()) {
        skip = "needs a private mount namespace (the test entry run under unshare --mount has one)";
        return {};
    }
    tree.folder(full ? "voll" : "nurlesen");
    const std::string mountPoint = tree.path(full ? "voll" : "nurlesen");
    if (mount("spurfix", mountPoint.c_str(), "tmpfs", 0, options) != 0) {
        skip = "cannot mount a tmpfs here";
        return {};
    }
    tree.file((full ? "voll" : "nurlesen") + std::string("/liste.txt"), "frueher");
    if (full) {
        const int fill = open((mountPoint + "/fuellung").c_str(), O_WRONLY | O_CREAT, 0644);
        const std::string block(4096, 'f');
        while (write(fill, block.data(), block.size()) > 0) {
        }
        close(fill);
    } else if (mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        skip = "cannot remount read-only here";
        return {};
    }
    return mountPoint + "/liste.txt";
}

class ExportFaultsTest : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        chmod(tree.root().c_str(), 0777);
        tree.folder("src/Rock");
        for (int i = 0; i < 3000; ++i) {
            tree.file("src/Rock/" + std::to_string(i) + " - Lied mit langem Namen.mp3");
        }
        ReadFolder(tree.path("src/"));
        form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
        Click(form->ForwardToPreview);
        Click(form->ForwardToOutput);
    }

    TempTree tree;
};

TEST_F(ExportFaultsTest, EveryFaultThroughTheWindow) {
    const Fault faults[] = {
        {"missing folder", [](TempTree& t, std::string&) { return t.path("fehlt/liste.txt"); },
         "Ungültiger Dateiname."},
        {"folder as target", [](TempTree& t, std::string&) { return t.path("src"); },
         "Dateizugriff verweigert."},
        {"file as path component",
         [](TempTree& t, std::string&) {
             t.file("datei", "frueher");
             return t.path("datei/liste.txt");
         },
         "Ungültiger Dateiname."},
        {"disk full device",
         [](TempTree&, std::string& skip) {
             if (access("/dev/full", W_OK) != 0) {
                 skip = "/dev/full is missing";
                 return std::string();
             }
             return std::string("/dev/full");
         },
         "Zu wenig Speicherplatz."},
        {"full small tmpfs",
         [](TempTree& t, std::string& skip) { return SmallTmpfs(t, skip, true); },
         "Zu wenig Speicherplatz.", [](TempTree& t) { umount(t.path("voll").c_str()); }},
        {"full small tmpfs without a free inode",
         [](TempTree& t, std::string& skip) {
             return SmallTmpfs(t, skip, true, "size=64k,nr_inodes=3");
         },
         "Zu wenig Speicherplatz.", [](TempTree& t) { umount(t.path("voll").c_str()); }},
        {"link in a circle",
         [](TempTree& t, std::string&) {
             t.link("kreis-b", "kreis-a");
             t.link("kreis-a", "kreis-b");
             return t.path("kreis-a");
         },
         "Die Verknüpfung führt im Kreis und nennt keine Datei."},
        {"read-only mount",
         [](TempTree& t, std::string& skip) { return SmallTmpfs(t, skip, false); },
         "Dateizugriff verweigert.", [](TempTree& t) { umount(t.path("nurlesen").c_str()); }},
        {"immutable file",
         [](TempTree& t, std::string& skip) {
             t.file("fest.txt", "frueher");
             const int fd = open(t.path("fest.txt").c_str(), O_RDONLY);
             int flags = 0;
             const bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                               (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
             if (fd >= 0) {
                 close(fd);
             }
             if (!done) {
                 skip = "this file system or user cannot make a file immutable";
                 return std::string();
             }
             return t.path("fest.txt");
         },
         "Dateizugriff verweigert.",
         [](TempTree& t) {
             const int fd = open(t.path("fest.txt").c_str(), O_RDONLY);
             int flags = 0;
             ioctl(fd, FS_IOC_GETFLAGS, &flags);
             flags &= ~FS_IMMUTABLE_FL;
             ioctl(fd, FS_IOC_SETFLAGS, &flags);
             close(fd);
         }},
        {"read-only file for a user without rights",
         [](TempTree& t, std::string& skip) {
             t.file("nurlesbar.txt", "frueher");
             chmod(t.path("nurlesbar.txt").c_str(), 0444);
             if (!spurfix::test::RunsAsRoot() &&
                 access(t.path("nurlesbar.txt").c_str(), W_OK) == 0) {
                 skip = "this user may write a read-only file";
                 return std::string();
             }
             return t.path("nurlesbar.txt");
         },
         "Dateizugriff verweigert.", [](TempTree&) {}, true},
        {"fifo without a reader",
         [](TempTree& t, std::string&) {
             mkfifo(t.path("rohr").c_str(), 0644);
             return t.path("rohr");
         },
         "E/A-Fehler 6."},
    };

    const int previewRows = form->Preview->model()->rowCount();
    int skipped = 0;
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        std::string skip;
        const std::string target = fault.arrange(tree, skip);
        if (target.empty()) {
            std::cout << "[ SKIPPED ROW ] " << fault.what << ": " << skip << std::endl;
            ++skipped;
            continue;
        }
        std::string before;
        struct stat info {};
        const bool regular = stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode);
        if (regular) {
            before = tree.read(target.substr(tree.root().size()));
        }
        prompter.messages.clear();
        prompter.fileNames = {QString::fromStdString(target)};
        if (fault.asNobody) {
            // Root's rights over files are dropped while the window exports, so that the
            // kernel refuses the read-only file as it would for any user.
            const spurfix::test::FileRightsDropped withoutRights;
            if (spurfix::test::RunsAsRoot()) {
                ASSERT_TRUE(withoutRights.dropped());
            }
            Click(form->SaveButton);
        } else {
            Click(form->SaveButton);
        }
        if (regular) {
            EXPECT_EQ(tree.read(target.substr(tree.root().size())), before);
        }
        fault.undo(tree);
        ASSERT_EQ(prompter.messages.size(), 1U);
        EXPECT_EQ(prompter.messages[0].kind, BoxKind::DefaultError);
        EXPECT_EQ(prompter.messages[0].text, fault.message);
        EXPECT_EQ(page(), form->Sheet_Output);
        EXPECT_EQ(form->Preview->model()->rowCount(), previewRows);
        EXPECT_EQ(form->ScanList.size(), 3001U);
        prompter.fileNames = {QString::fromStdString(tree.path("gut.txt"))};
        Click(form->SaveButton);
        EXPECT_EQ(prompter.messages.back().kind, BoxKind::Confirmation);
        EXPECT_GT(tree.read("gut.txt").size(), 3000U * 20);
        form->PageControl1->setCurrentWidget(form->Sheet_Output);
    }
    if (skipped == static_cast<int>(std::size(faults))) {
        GTEST_SKIP() << "no fault could be arranged";
    }
}

// The playlist and the CD insert fail as the text file does: the error box, no
// question, the earlier file whole.
TEST_F(ExportFaultsTest, PlaylistAndCdInsertFaults) {
    for (QRadioButton* format : {form->OutputAsPlaylist, form->OutputAsInsert}) {
        SCOPED_TRACE(format->objectName().toStdString());
        Click(format);
        std::string skip;
        std::string target = SmallTmpfs(tree, skip, true);
        QString message = QStringLiteral("Zu wenig Speicherplatz.");
        if (target.empty()) {  // no private mount namespace: a folder as the target
            target = tree.path("src");
            message = QStringLiteral("Dateizugriff verweigert.");
        }
        std::string earlier;
        struct stat info {};
        if (stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            earlier = tree.read(target.substr(tree.root().size()));
        }
        prompter.messages.clear();
        prompter.fileNames = {QString::fromStdString(target)};
        Click(form->SaveButton);
        ASSERT_EQ(prompter.messages.size(), 1U);
        EXPECT_EQ(prompter.messages[0].kind, BoxKind::DefaultError);
        EXPECT_EQ(prompter.messages[0].text, message);
        EXPECT_EQ(page(), form->Sheet_Output);
        if (!earlier.empty()) {
            EXPECT_EQ(tree.read(target.substr(tree.root().size())), earlier);
            umount(tree.path("voll").c_str());
        }
    }
}

}  // namespace
}  // namespace spurfix::ui::test
