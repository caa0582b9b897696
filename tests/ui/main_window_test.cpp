#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QStackedWidget>

#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using MainWindowTest = WizardTest;

TEST_F(MainWindowTest, FixedSizeWindowWithoutTabs) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Spurfix v2.0 beta (#061124)"));
    EXPECT_EQ(form->size(), QSize(335, 248));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->PageControl1->geometry(), QRect(0, 0, 335, 248));
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(page(), form->Sheet_About);
    EXPECT_EQ(form->PageControl1->count(), 7);
    EXPECT_EQ(form->Panel1->geometry(), QRect(0, 0, 335, 1));
}

// Without a window manager a window may be shown long before it is activated: the first
// showing already gives the window of the first activation.
TEST_F(MainWindowTest, TheFirstShowingGivesTheWindowOfTheFirstActivation) {
    TForm1 fresh;
    fresh.setDriveSource([this] { return drives; });
    EXPECT_EQ(fresh.size(), QSize(335, 264));
    fresh.show();  // no event has been processed: no activation yet
    EXPECT_FALSE(fresh.isActiveWindow());
    EXPECT_EQ(fresh.size(), QSize(335, 248));
    EXPECT_EQ(fresh.ChooseDirComboBox->count(), 3);
}

TEST_F(MainWindowTest, LaterActivationsChangeNothing) {
    form->ScanList.append("/kept");
    form->AllowFiles->item(0)->setCheckState(Qt::Unchecked);
    form->FormActivate();
    form->FormActivate();
    EXPECT_EQ(form->ChooseDirComboBox->count(), 3);
    EXPECT_EQ(form->size(), QSize(335, 248));
    EXPECT_EQ(form->ScanList.size(), 1U);
    EXPECT_EQ(form->AllowFiles->item(0)->checkState(), Qt::Unchecked);
}

TEST_F(MainWindowTest, CloseReleasesTheScanList) {
    form->ScanList.append("/gelesen");
    form->close();
    EXPECT_TRUE(form->ScanList.empty());
    EXPECT_EQ(form->InputState, 0) << "a close outside a reading leaves the state";
}

}  // namespace
}  // namespace spurfix::ui::test
