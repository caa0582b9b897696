#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "engine/in_out_error.h"
#include "support/temp_tree.h"
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

TEST_F(SourcePageTest, AnotherDriveResetsThePath) {
    form->ChooseDirEdit->setText(QStringLiteral("/media/cd/Musik"));
    form->ChooseDirComboBox->setFocus();
    QTest::keyClick(form->ChooseDirComboBox, Qt::Key_Down);
    EXPECT_EQ(form->ChooseDirEdit->text(), QStringLiteral("/media/stick/"));
}

TEST_F(SourcePageTest, FolderChoiceEnablesTheFieldAndKeepsThePath) {
    const QColor button = QApplication::palette().color(QPalette::Button);
    const QColor base = QApplication::palette().color(QPalette::Base);
    Click(form->ChooseDir);
    EXPECT_TRUE(form->ChooseDirEdit->isEnabled());
    EXPECT_TRUE(form->ChooseDirButton->isEnabled());
    EXPECT_EQ(form->ChooseDirEdit->palette().color(QPalette::Base), base);
    form->ChooseDirEdit->setText(QStringLiteral("/media/cd/Pop"));
    Click(form->UseMainDir);
    EXPECT_FALSE(form->ChooseDirEdit->isEnabled());
    EXPECT_FALSE(form->ChooseDirButton->isEnabled());
    EXPECT_EQ(form->ChooseDirEdit->palette().color(QPalette::Base), button);
    EXPECT_EQ(form->ChooseDirEdit->text(), QStringLiteral("/media/cd/Pop"));
}

TEST_F(SourcePageTest, FolderChooserNavigatesAndReturnsTheFolder) {
    TempTree tree;
    tree.folder("Musik/Pop");
    tree.folder("Musik/Rock");
    tree.folder("Andere");
    const std::string root = tree.root().substr(0, tree.root().size() - 1);
    Click(form->ChooseDir);
    form->ChooseDirEdit->setText(QString::fromStdString(tree.root()));
    QStringList shown;
    prompter.onDialog = [&](QDialog&) {
        DirectoryListBox* list = chooser->DirectoryListBox1;
        EXPECT_EQ(list->directory(), root);
        const int depth = static_cast<int>(std::count(root.begin(), root.end(), '/'));
        EXPECT_EQ(list->count(), depth + 1 + 2);
        EXPECT_EQ(list->item(0)->text(), QStringLiteral("/"));
        EXPECT_EQ(list->item(list->count() - 2)->text().trimmed(), QStringLiteral("Andere"));
        QListWidgetItem* musik = list->item(list->count() - 1);
        EXPECT_EQ(musik->text().trimmed(), QStringLiteral("Musik"));
        emit list->itemDoubleClicked(musik);
        for (int i = 0; i < list->count(); ++i) {
            shown << list->item(i)->text().trimmed();
        }
        return int(QDialog::Accepted);
    };
    Click(form->ChooseDirButton);
    EXPECT_EQ(shown.mid(shown.size() - 3), (QStringList{"Musik", "Pop", "Rock"}));
    EXPECT_EQ(form->ChooseDirEdit->text(), QString::fromStdString(root + "/Musik"));
    EXPECT_EQ(form->sourcePath(), root + "/Musik");

    // Cancelled: the path stays.
    prompter.onDialog = [](QDialog&) { return int(QDialog::Rejected); };
    Click(form->ChooseDirButton);
    EXPECT_EQ(form->ChooseDirEdit->text(), QString::fromStdString(root + "/Musik"));
}

TEST_F(SourcePageTest, UnreadableDriveShowsTheErrorBoxInsteadOfTheChooser) {
    Click(form->ChooseDir);
    form->ChooseDirEdit->setText(QStringLiteral("/media/cd-ohne-medium/"));
    Click(form->ChooseDirButton);
    EXPECT_EQ(prompter.dialogsRun, 0);
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::Error);
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral(
                  "Dieses Laufwerk konnte nicht gelesen werden!\r\n\r\nMöglicherweise ist kein "
                  "Medium eingelegt oder es ist nicht formatiert."));
    EXPECT_EQ(form->ChooseDirEdit->text(), QStringLiteral("/media/cd-ohne-medium/"));
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
