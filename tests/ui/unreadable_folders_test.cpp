// A reading that misses folders says so: read through the window from a medium with a
// folder without rights and one that cannot be listed (the tests' FUSE file system, in
// the private mount namespace of the suite).
#include <QLabel>
#include <QPushButton>

#include "support/slow_medium.h"
#include "support/temp_tree.h"
#include "ui/folder_trace.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

class UnreadableFoldersTest : public WizardTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        tree.folder("medium");
        medium = std::make_unique<spurfix::test::MountedMedium>(mountPoint, 0, tree.path("marker"),
                                                                false, GetParam());
        if (!medium->mounted()) {
            GTEST_SKIP() << "needs FUSE and the suite's private mount namespace";
        }
        drives.push_back({mountPoint, platform::DriveType::Removable});
        WizardTest::SetUp();
    }

    spurfix::test::TempTree tree;
    const std::string mountPoint = tree.path("medium");
    std::unique_ptr<spurfix::test::MountedMedium> medium;
};

TEST_P(UnreadableFoldersTest, StatusSaysHowManyAndTheTraceMarksThem) {
    const bool onlyClosed = GetParam();
    UserClick(form->ForwardToChooseDir);
    ChooseDrive(mountPoint);
    UserClick(form->ForwardToInput);
    UserClick(form->StartInput);
    ASSERT_FALSE(form->isReading());

    EXPECT_EQ(form->InputText->text(),
              onlyClosed ? QStringLiteral("Einlesen beendet; 1 Verzeichnis war nicht lesbar.")
                         : QStringLiteral("Einlesen beendet; 2 Verzeichnisse waren nicht lesbar."));
    EXPECT_TRUE(form->ForwardToFiles->isEnabled()) << "what was read can still be used";
    // Each trace line with its tooltip; only the folders that could not be read have one,
    // and only they are drawn in another colour.
    QAbstractItemModel* model = form->InputPreview->model();
    QStringList marked;
    int coloured = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (model->data(index, Qt::ToolTipRole).toString() == QStringLiteral("nicht lesbar")) {
            marked << model->data(index, Qt::DisplayRole).toString();
        }
        coloured += model->data(index, Qt::ForegroundRole).isValid() ? 1 : 0;
    }
    const QString base = QString::fromStdString(mountPoint);
    QStringList expected{base + "/gesperrt/"};
    if (!onlyClosed) {
        expected << base + "/kaputt/";
    }
    marked.sort();
    EXPECT_EQ(marked, expected);
    EXPECT_EQ(coloured, expected.size());
    EXPECT_EQ(model->rowCount(), onlyClosed ? 4 : 5) << "the source and every folder";
    // For a look at the marked lines: the page as drawn.
    form->grab().save(QString::fromStdString(::testing::TempDir()) + "unreadable-folders-" +
                      (onlyClosed ? "one" : "two") + ".png");
}

INSTANTIATE_TEST_SUITE_P(OneOrTwo, UnreadableFoldersTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "One" : "Two"; });

}  // namespace
}  // namespace spurfix::ui::test
