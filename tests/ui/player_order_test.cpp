// The player's order on the preview page: chosen in its drop-down list, with a real
// disc image where the disc's own order matters.
#include <sys/mount.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QStackedWidget>
#include <QStringList>
#include <QTest>
#include <cstdlib>
#include <string>

#include "platform/mount_type.h"
#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

constexpr int kAsRead = 0;
constexpr int kFolderByFolder = 1;
constexpr int kLevelByLevel = 2;

class PlayerOrderTest : public WizardTest {
  protected:
    // Picks an entry of the drop-down list as a person does: a click opens it, the
    // arrows move, Enter takes the entry.
    void ChooseOrder(int wanted) {
        QComboBox* combo = form->PlayOrder;
        UserClick(combo);
        const int steps = wanted - combo->currentIndex();
        for (int i = 0; i < std::abs(steps); ++i) {
            UserKey(steps > 0 ? Qt::Key_Down : Qt::Key_Up);
        }
        UserKey(Qt::Key_Return);
        ASSERT_EQ(combo->currentIndex(), wanted);
    }

    // From the reading page on to the preview with the options as they are.
    void GoToPreview() {
        UserClick(form->ForwardToFiles);
        UserClick(form->ForwardToDirs);
        UserClick(form->ForwardToPreview);
        ASSERT_EQ(page(), form->Sheet_Preview);
    }

    // The window as drawn, for a person to look at.
    void SaveScreenshot(const QString& name) const {
        QDir().mkpath(QStringLiteral(SPURFIX_SCREENSHOT_DIR));
        EXPECT_TRUE(form->grab().save(QStringLiteral(SPURFIX_SCREENSHOT_DIR "/") + name +
                                      QStringLiteral(".png")));
    }

    // The list lays its lines out in batches while the window waits for input.
    void WaitUntilLaidOut() const {
        const QAbstractItemModel* model = form->Preview->model();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return form->Preview->visualRect(model->index(model->rowCount() - 1, 0)).isValid();
            },
            10000));
    }

    [[nodiscard]] QString currentLine() const {
        return form->Preview->currentIndex().data().toString();
    }

    // Whether the widget lies whole inside its page and shows all its text.
    static void ExpectWhollyShown(QWidget* widget) {
        EXPECT_TRUE(widget->isVisible()) << widget->objectName().toStdString();
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()))
            << widget->objectName().toStdString();
    }
};

// Unmounts what the test mounted, before its folder goes.
struct Unmount {
    std::string mountPoint;
    ~Unmount() {
        QProcess::execute(QStringLiteral("fusermount"),
                          {QStringLiteral("-u"), QString::fromStdString(mountPoint)});
    }
};

// A disc burnt with ISO 9660 and Joliet names, read through its mount: "CD-Spieler:
// Ordner für Ordner" numbers the songs in the order of the disc's records, depth first,
// each folder's songs before its sub-folders.
TEST_F(PlayerOrderTest, DiscImageInTheOrderOfItsRecords) {
    if (std::getenv("SPURFIX_PRIVATE_MOUNTS") == nullptr) {
        GTEST_SKIP() << "needs a private mount namespace (InPrivateMountNamespace.*)";
    }
    TempTree tree;
    tree.folder("disc/Best of/Bonus");
    tree.folder("disc/Best of/Live");
    for (const char* song :
         {"Best of/01 Intro.mp3", "Best of/Bonus/01 Demo.mp3", "Best of/Live/01 Opener.mp3",
          "Best of/Zugabe.mp3", "Best of/_Bonus.mp3", "Best of/Ärzte.mp3"}) {
        tree.file(std::string("disc/") + song);
    }
    tree.folder("cd");
    const QString image = QString::fromStdString(tree.path("disc.iso"));
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("xorriso"),
                          {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-J"),
                           QStringLiteral("-r"), QStringLiteral("-quiet"), QStringLiteral("-o"),
                           image, QString::fromStdString(tree.path("disc"))}),
        0);
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("fuseiso"),
                          {QStringLiteral("-p"), image, QString::fromStdString(tree.path("cd")),
                           QStringLiteral("-o"), QStringLiteral("ro")}),
        0);
    const Unmount unmount{tree.path("cd")};
    ASSERT_EQ(platform::FileSystemTypeOf(tree.path("cd")), "fuse.fuseiso");

    ReadFolder(tree.path("cd"));
    GoToPreview();
    ChooseOrder(kFolderByFolder);
    EXPECT_EQ(previewLines(),
              (QStringList{"[Best of]", "001 - Intro", "002 - Zugabe", "003 - _Bonus",
                           "004 - Ärzte", "[Bonus]", "005 - Demo", "[Live]", "006 - Opener"}));
}

// The choice rebuilds the list at once and keeps the selected song in view; the
// sort's check box has no meaning in a player's order; a hint tells of songs that do
// not stand together, and goes where they do.
TEST_F(PlayerOrderTest, TheChoiceRebuildsAtOnceKeepsTheSongInViewAndHints) {
    TempTree tree;
    tree.folder("Album/Mitte");
    for (int i = 1; i <= 200; ++i) {
        tree.file("Album/Lied " + std::to_string(1000 + i).substr(1) + ".mp3");
    }
    tree.file("Album/Mitte/m.mp3");
    tree.file("Album/Zugabe.mp3");
    ReadFolder(tree.path("Album"));
    GoToPreview();

    const QString split = QStringLiteral(
        "Hinweis: Die Lieder eines Verzeichnisses stehen nicht beisammen; „CD-Spieler: "
        "Ordner für Ordner“ nummeriert wie die meisten Spieler.");
    EXPECT_EQ(form->PlayOrder->currentText(), QStringLiteral("wie eingelesen"));
    EXPECT_EQ(form->PlayerHint->text(), split);
    ExpectWhollyShown(form->PlayOrder);
    ExpectWhollyShown(form->PlayerHint);
    ExpectWhollyShown(form->Preview);
    EXPECT_GE(form->PlayerHint->height(),
              form->PlayerHint->heightForWidth(form->PlayerHint->width()));
    EXPECT_FALSE(form->PlayerHint->geometry().intersects(form->Preview->geometry()));
    EXPECT_FALSE(form->PlayOrder->geometry().intersects(form->Preview->geometry()));
    EXPECT_LE(form->PlayOrder->sizeHint().width(), form->PlayOrder->width());

    // The last song, chosen with the keyboard in the list once it is laid out.
    WaitUntilLaidOut();
    SaveScreenshot(QStringLiteral("preview_hint"));
    UserClick(form->Preview->viewport(), QPoint(10, 5));
    UserKey(Qt::Key_End);
    EXPECT_EQ(currentLine(), QStringLiteral("202 - Zugabe"));

    ChooseOrder(kFolderByFolder);
    EXPECT_EQ(currentLine(), QStringLiteral("201 - Zugabe"));
    EXPECT_TRUE(QTest::qWaitFor(
        [this] {
            return form->Preview->viewport()->rect().intersects(
                form->Preview->visualRect(form->Preview->currentIndex()));
        },
        10000))
        << "the song stays in view";
    EXPECT_EQ(previewLines().mid(199),
              (QStringList{"200 - Lied 200", "201 - Zugabe", "[Mitte]", "202 - m"}));
    EXPECT_FALSE(form->PlayerHint->isVisible());
    EXPECT_FALSE(form->CheckSortData->isEnabled());
    SaveScreenshot(QStringLiteral("preview_order"));

    ChooseOrder(kLevelByLevel);
    EXPECT_EQ(currentLine(), QStringLiteral("201 - Zugabe"));
    EXPECT_FALSE(form->CheckSortData->isEnabled());

    ChooseOrder(kAsRead);
    EXPECT_TRUE(form->CheckSortData->isEnabled());
    EXPECT_EQ(currentLine(), QStringLiteral("202 - Zugabe"));
    EXPECT_EQ(form->PlayerHint->text(), split);
    EXPECT_TRUE(form->PlayerHint->isVisible());

    // Going back and on again builds the list in the order chosen.
    ChooseOrder(kFolderByFolder);
    UserClick(form->BackToDirs);
    UserClick(form->BackToFiles);
    UserClick(form->ForwardToDirs);
    UserClick(form->ForwardToPreview);
    EXPECT_EQ(previewLines().mid(199, 2), (QStringList{"200 - Lied 200", "201 - Zugabe"}));
}

}  // namespace
}  // namespace spurfix::ui::test
