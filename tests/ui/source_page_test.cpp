#include <sys/mount.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <functional>

#include "engine/in_out_error.h"
#include "support/temp_tree.h"
#include "ui/fonts.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using platform::Drive;
using platform::DriveType;
using spurfix::test::TempTree;

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

using SourcePageTest = WizardTest;

TEST_F(SourcePageTest, DriveListWithLabelsAndPreselection) {
    struct ListCase {
        std::vector<Drive> drives;
        QStringList items;
        int selected;
        QString path;
    };
    const ListCase cases[] = {
        {{{"/", DriveType::FixedDisk}, {"/media/cd", DriveType::CdRom}},
         {"/ (Festplatte)", "/media/cd (CD-ROM Laufwerk)"},
         1,
         "/media/cd/"},
        {{{"/", DriveType::FixedDisk}, {"/mnt/net", DriveType::Network}},
         {"/ (Festplatte)", "/mnt/net (Netzlaufwerk)"},
         0,
         "/"},
        {{{"/mnt/ram", DriveType::RamDisk},
          {"/media/a", DriveType::CdRom},
          {"/media/b", DriveType::CdRom}},
         {"/mnt/ram (RAM-Disk)", "/media/a (CD-ROM Laufwerk)", "/media/b (CD-ROM Laufwerk)"},
         1,
         "/media/a/"},
        {{{"/media/USB Stick", DriveType::Removable},
          {"/x", DriveType::Unreadable},
          {"/y", DriveType::Unknown}},
         {"/media/USB Stick (Wechseldatenträger)", "/x (nicht lesbar)", "/y (unbekannter Typ)"},
         0,
         "/media/USB Stick/"},
        {{}, {}, -1, ""},
    };
    for (const ListCase& c : cases) {
        TForm1 window;
        window.setDriveSource([&] { return c.drives; });
        window.FormActivate();
        EXPECT_EQ(Items(window.ChooseDirComboBox), c.items);
        EXPECT_EQ(window.ChooseDirComboBox->currentIndex(), c.selected);
        EXPECT_EQ(window.ChooseDirEdit->text(), c.path);
    }
}

// The folder chooser as a person uses it: the music's drive is chosen, then "..." opens
// the chooser on it, and a folder is chosen by a click and OK, by typing and Enter, or
// by double-clicks.
class FolderChooserTest : public WizardTest {
  protected:
    void SetUp() override {
        tree.folder("Musik/Pop");
        tree.folder("Musik/Rock");
        tree.folder("Andere");
        drives = {{"/", DriveType::FixedDisk}, {root, DriveType::CdRom}};
        WizardTest::SetUp();
        UserClick(form->ForwardToChooseDir);
        UserClick(form->ChooseDir);
    }

    // Opens the chooser with "..." and lets `act` work in it, shown for real.
    void InChooser(const std::function<void(DirectoryListBox*)>& act) {
        prompter.onDialog = [&](QDialog& dialog) {
            dialog.show();
            dialog.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            act(chooser->DirectoryListBox1);
            const int result = dialog.result();
            dialog.hide();
            return result;
        };
        UserClick(form->ChooseDirButton);
    }

    static QListWidgetItem* Entry(DirectoryListBox* list, const QString& name) {
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->text() == name) {
                return list->item(i);
            }
        }
        ADD_FAILURE() << name.toStdString() << " is not listed";
        return list->item(0);
    }

    static QPoint Where(DirectoryListBox* list, const QString& name) {
        return list->visualItemRect(Entry(list, name)).center();
    }

    TempTree tree;
    const std::string root = tree.root().substr(0, tree.root().size() - 1);
};

TEST_F(FolderChooserTest, AnotherDriveResetsThePath) {
    ChooseFolder(tree.path("Musik"));
    ChooseDrive("/");
    EXPECT_EQ(form->ChooseDirEdit->text(), QStringLiteral("/"));
    EXPECT_EQ(form->sourcePath(), "/");
}

TEST_F(FolderChooserTest, TheMainDriveChoiceGreysTheFieldAndKeepsThePath) {
    const QColor button = QApplication::palette().color(QPalette::Button);
    const QColor base = QApplication::palette().color(QPalette::Base);
    EXPECT_TRUE(form->ChooseDirEdit->isEnabled());
    EXPECT_TRUE(form->ChooseDirButton->isEnabled());
    EXPECT_EQ(form->ChooseDirEdit->palette().color(QPalette::Base), base);
    ChooseFolder(tree.path("Musik/Pop"));
    UserClick(form->UseMainDir);
    EXPECT_FALSE(form->ChooseDirEdit->isEnabled());
    EXPECT_FALSE(form->ChooseDirButton->isEnabled());
    EXPECT_EQ(form->ChooseDirEdit->palette().color(QPalette::Base), button);
    EXPECT_EQ(form->ChooseDirEdit->text(), QString::fromStdString(root + "/Musik/Pop"));
    EXPECT_EQ(form->sourcePath(), root + "/Musik/Pop") << "the reading starts there";
}

TEST_F(FolderChooserTest, ListsTheWayDownAndTheSubfolders) {
    QStringList shown;
    bool folderIcons = true;
    InChooser([&](DirectoryListBox* list) {
        EXPECT_EQ(list->directory(), root);
        for (int i = 0; i < list->count(); ++i) {
            shown << list->item(i)->text();
            folderIcons = folderIcons && !list->item(i)->icon().isNull();
        }
        UserClick(chooser->Button2);
    });
    const int depth = static_cast<int>(std::count(root.begin(), root.end(), '/'));
    ASSERT_EQ(shown.size(), depth + 1 + 2);
    EXPECT_EQ(shown.front(), QStringLiteral("/"));
    EXPECT_EQ(shown.mid(shown.size() - 2), (QStringList{"Andere", "Musik"}));
    EXPECT_TRUE(folderIcons);
    EXPECT_EQ(form->ChooseDirEdit->text(), QString::fromStdString(root + "/")) << "cancelled";
}

TEST_F(FolderChooserTest, AClickAndOkChooseTheSelectedFolder) {
    InChooser([&](DirectoryListBox* list) {
        UserClick(list->viewport(), Where(list, QStringLiteral("Andere")));
        UserClick(chooser->Button1);
    });
    EXPECT_EQ(form->ChooseDirEdit->text(), QString::fromStdString(root + "/Andere"));
    EXPECT_EQ(form->sourcePath(), root + "/Andere");
}

TEST_F(FolderChooserTest, TypingFindsAFolderAndEnterChoosesIt) {
    InChooser([&](DirectoryListBox* list) {
        UserKey(Qt::Key_M);
        UserKey(Qt::Key_U);
        EXPECT_EQ(list->currentItem()->text(), QStringLiteral("Musik"));
        UserKey(Qt::Key_Return);
    });
    EXPECT_EQ(form->ChooseDirEdit->text(), QString::fromStdString(root + "/Musik"));
}

TEST_F(FolderChooserTest, DoubleClicksGoDownAndUp) {
    QStringList below;
    InChooser([&](DirectoryListBox* list) {
        UserDoubleClick(list->viewport(), Where(list, QStringLiteral("Musik")));
        EXPECT_EQ(list->directory(), root + "/Musik");
        for (int i = list->count() - 2; i < list->count(); ++i) {
            below << list->item(i)->text();
        }
        UserDoubleClick(list->viewport(), Where(list, QStringLiteral("Rock")));
        UserKey(Qt::Key_Return);
    });
    EXPECT_EQ(below, (QStringList{"Pop", "Rock"}));
    EXPECT_EQ(form->ChooseDirEdit->text(), QString::fromStdString(root + "/Musik/Rock"));
}

// Only the keyboard: Right and Ctrl+Enter open the selected folder, Left and Backspace
// go up, Home goes to the drive's root (here the music's drive, not "/"), Enter is OK.
TEST_F(FolderChooserTest, TheKeyboardOpensFoldersGoesUpAndHome) {
    QString help;
    InChooser([&](DirectoryListBox* list) {
        help = chooser->toolTip();
        const struct {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            std::string directory;  // below the drive's root
            QString selected;
        } steps[] = {
            {Qt::Key_Down, Qt::NoModifier, "", "Andere"},
            {Qt::Key_Down, Qt::NoModifier, "", "Musik"},
            {Qt::Key_Right, Qt::NoModifier, "/Musik", "Musik"},
            {Qt::Key_Down, Qt::NoModifier, "/Musik", "Pop"},
            {Qt::Key_Down, Qt::NoModifier, "/Musik", "Rock"},
            {Qt::Key_Return, Qt::ControlModifier, "/Musik/Rock", "Rock"},
            {Qt::Key_Left, Qt::NoModifier, "/Musik", "Musik"},
            {Qt::Key_Down, Qt::NoModifier, "/Musik", "Pop"},
            {Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, "/Musik/Pop", "Pop"},
            {Qt::Key_Home, Qt::NoModifier, "", ""},
            {Qt::Key_Right, Qt::NoModifier, "", ""},
            {Qt::Key_Down, Qt::NoModifier, "", "Andere"},
            {Qt::Key_Right, Qt::NoModifier, "/Andere", "Andere"},
            {Qt::Key_Backspace, Qt::NoModifier, "", ""},
            {Qt::Key_Down, Qt::NoModifier, "", "Andere"},
        };
        const QString rootName = list->item(list->count() - 3)->text();
        for (const auto& step : steps) {
            UserKey(step.key, step.modifiers);
            EXPECT_EQ(list->directory(), root + step.directory) << "after key " << step.key;
            ASSERT_NE(list->currentItem(), nullptr);
            EXPECT_EQ(list->currentItem()->text(),
                      step.selected.isEmpty() ? rootName : step.selected)
                << "after key " << step.key;
        }
        UserKey(Qt::Key_Return);
    });
    EXPECT_EQ(form->sourcePath(), root + "/Andere");
    for (const char* key : {"Pfeil rechts", "Strg+Eingabe", "Pfeil links", "Rücktaste", "Pos1"}) {
        EXPECT_TRUE(help.contains(QString::fromUtf8(key))) << key << " is not explained";
    }
}

// With a large system font the chooser keeps the main window's fixed font: every text
// fits its control.
TEST_F(FolderChooserTest, EveryTextFitsWithALargeSystemFont) {
    const QFont before = QApplication::font();
    QFont large = before;
    large.setPointSize(20);
    QApplication::setFont(large);
    TChooseDirDialog dialog;
    QApplication::setFont(before);
    for (QPushButton* button : {dialog.Button1, dialog.Button2}) {
        EXPECT_LE(button->sizeHint().width(), button->width()) << button->text().toStdString();
        EXPECT_LE(button->sizeHint().height(), button->height()) << button->text().toStdString();
    }
    EXPECT_EQ(dialog.font(), WindowFont());
}

// A folder from the command line ("Öffnen mit Spurfix"): the folder is chosen and the
// drive that holds it, the longest mount point it lies below, is selected.
TEST_F(SourcePageTest, AFolderFromTheCommandLineChoosesItsDrive) {
    const struct {
        std::string folder;
        QString drive;
    } cases[] = {
        {"/media/stick/Musik/Pop", "/media/stick (Wechseldatenträger)"},
        {"/media/cd", "/media/cd (CD-ROM Laufwerk)"},
        {"/media/cdrom-alt/x", "/ (Festplatte)"},
    };
    for (const auto& c : cases) {
        form->openFolder(c.folder);
        EXPECT_EQ(form->ChooseDirComboBox->currentText(), c.drive) << c.folder;
        EXPECT_TRUE(form->ChooseDir->isChecked());
        EXPECT_TRUE(form->ChooseDirEdit->isEnabled());
        EXPECT_EQ(form->ChooseDirEdit->text(), QString::fromStdString(c.folder));
        EXPECT_EQ(form->sourcePath(), c.folder);
    }
}

// The preselected CD drive "/media/cd" holds no medium.
TEST_F(SourcePageTest, UnreadableDriveShowsTheErrorBoxInsteadOfTheChooser) {
    UserClick(form->ForwardToChooseDir);
    UserClick(form->ChooseDir);
    UserClick(form->ChooseDirButton);
    EXPECT_EQ(prompter.dialogsRun, 0);
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::Error);
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral(
                  "Dieses Laufwerk konnte nicht gelesen werden!\r\n\r\nMöglicherweise ist kein "
                  "Medium eingelegt oder es ist nicht formatiert."));
    EXPECT_EQ(form->ChooseDirEdit->text(), QStringLiteral("/media/cd/"));
}

// A disc inserted while the program runs: here a tmpfs mounted below /mnt in a mount
// namespace of the test's own. The list follows, the selection and the path stay until
// the user chooses another drive.
class MountWatchTest : public WizardTest {
  protected:
    void SetUp() override {
        if (std::getenv("SPURFIX_PRIVATE_MOUNTS") == nullptr) {
            GTEST_SKIP() << "needs a private mount namespace (its test entry runs in one)";
        }
        ASSERT_EQ(mount("spurfix", "/mnt", "tmpfs", 0, "size=1m"), 0);
        ASSERT_EQ(mkdir("/mnt/stick", 0755), 0);
        machineDrives = true;
        WizardTest::SetUp();
        UserClick(form->ForwardToChooseDir);
    }
    void TearDown() override {
        WizardTest::TearDown();
        umount("/mnt/stick");
        umount("/mnt");
    }
    bool Listed(const QString& item) const { return Items(form->ChooseDirComboBox).contains(item); }
};

TEST_F(MountWatchTest, InsertedAndRemovedDrivesComeAndGo) {
    const QString stick = QStringLiteral("/mnt/stick (RAM-Disk)");
    QComboBox* combo = form->ChooseDirComboBox;
    ASSERT_FALSE(Listed(stick));
    const QString selectedBefore = combo->currentText();
    const std::string pathBefore = form->sourcePath();

    ASSERT_EQ(mount("spurfix", "/mnt/stick", "tmpfs", 0, "size=1m"), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(stick); }, 5000));
    EXPECT_EQ(combo->currentText(), selectedBefore);
    EXPECT_EQ(form->sourcePath(), pathBefore);

    // The user chooses it: a click opens the list, the arrows move, Enter takes it.
    UserClick(combo);
    const int steps = combo->findText(stick) - combo->currentIndex();
    for (int i = 0; i < std::abs(steps); ++i) {
        UserKey(steps > 0 ? Qt::Key_Down : Qt::Key_Up);
    }
    UserKey(Qt::Key_Return);
    ASSERT_EQ(combo->currentText(), stick);
    EXPECT_EQ(form->sourcePath(), "/mnt/stick/");

    ASSERT_EQ(umount("/mnt/stick"), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Listed(stick); }, 5000));
    EXPECT_EQ(combo->currentIndex(), -1) << "the chosen drive is gone";
    EXPECT_EQ(form->sourcePath(), "") << "a source on a drive that is gone is no source";
    EXPECT_EQ(form->ChooseDirEdit->text(), QString());
    EXPECT_FALSE(form->ForwardToInput->isEnabled());
    UserKey(Qt::Key_Return);
    EXPECT_EQ(page(), form->Sheet_Drive) << "Enter does not go on without a source";

    // Another drive chosen, the first of the list: the way on opens again.
    UserClick(combo);
    UserKey(Qt::Key_Home);
    UserKey(Qt::Key_Return);
    ASSERT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(form->sourcePath(), combo->currentData(Qt::UserRole).toByteArray().toStdString());
    EXPECT_FALSE(form->sourcePath().empty());
    EXPECT_TRUE(form->ForwardToInput->isEnabled());
}

TEST(DirectoryListBox, RootAndErrors) {
    DirectoryListBox list;
    list.setDirectory("/");
    EXPECT_EQ(list.directory(), "/");
    EXPECT_EQ(list.item(0)->text(), QStringLiteral("/"));
    EXPECT_GT(list.count(), 1);
    const int before = list.count();
    EXPECT_THROW(list.setDirectory("/gibt/es/nicht"), EInOutError);
    EXPECT_EQ(list.directory(), "/");
    EXPECT_EQ(list.count(), before);
}

}  // namespace
}  // namespace spurfix::ui::test
