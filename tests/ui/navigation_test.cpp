// Moving through the wizard as a person does: with the mouse and with Enter and Tab,
// sent to whatever has the focus.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <set>

#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

class NavigationTest : public WizardTest {
  protected:
    void SetUp() override {
        tree.folder("Rock");
        tree.file("Rock/01 - Intro.mp3");
        tree.file("Rock/02 - Song.mp3");
        // The music is a drive of its own, chosen as the user would.
        drives = {{tree.root().substr(0, tree.root().size() - 1), platform::DriveType::CdRom}};
        WizardTest::SetUp();
    }

    static QString Name(const QWidget* widget) {
        return widget != nullptr ? widget->objectName() : QStringLiteral("(none)");
    }

    TempTree tree;
};

// Enter goes forward at the start and on every page, whether the page was reached with
// the mouse going forward or going back, or with Enter.
TEST_F(NavigationTest, EnterGoesForwardOnEveryPage) {
    EXPECT_EQ(Name(QApplication::focusWidget()), QStringLiteral("ForwardToChooseDir"));
    struct Step {
        QPushButton* click;  // with the mouse; Enter where none
        QWidget* then;
    };
    const Step steps[] = {
        {nullptr, form->Sheet_Drive},
        {form->BackToAbout, form->Sheet_About},
        {nullptr, form->Sheet_Drive},
        {nullptr, form->Sheet_Input},
        {form->BackToChooseDir, form->Sheet_Drive},
        {nullptr, form->Sheet_Input},
        {nullptr, form->Sheet_Input},  // Enter before the first reading starts it
        {nullptr, form->Sheet_Files},
        {form->BackToInput, form->Sheet_Input},
        {nullptr, form->Sheet_Files},
        {form->BackToInput, form->Sheet_Input},
        {form->ForwardToFiles, form->Sheet_Files},
        {nullptr, form->Sheet_Dirs},
        {form->BackToFiles, form->Sheet_Files},
        {nullptr, form->Sheet_Dirs},
        {form->ForwardToPreview, form->Sheet_Preview},
        {form->BackToDirs, form->Sheet_Dirs},
        {nullptr, form->Sheet_Preview},
        {nullptr, form->Sheet_Output},
        {form->BackToPreview, form->Sheet_Preview},
        {nullptr, form->Sheet_Output},
        {form->BackToPreview, form->Sheet_Preview},
        {form->ForwardToOutput, form->Sheet_Output},
    };
    int number = 0;
    for (const Step& step : steps) {
        ++number;
        const QString focus = Name(QApplication::focusWidget());
        if (step.click != nullptr) {
            UserClick(step.click);
        } else {
            UserKey(Qt::Key_Return);
        }
        ASSERT_EQ(page(), step.then)
            << "step " << number << ": "
            << (step.click ? Name(step.click) : "Enter on " + focus).toStdString();
        if (number == 7) {
            EXPECT_EQ(form->ScanList.size(), 3U) << "Enter started the reading";
        }
    }
    // On the output page Enter starts the export.
    UserKey(Qt::Key_Return);
    EXPECT_EQ(prompter.saveRequests.size(), 1U);
}

// A check box with the focus lets Enter through to the page's forward button.
TEST_F(NavigationTest, EnterOnACheckBoxGoesForward) {
    UserClick(form->ForwardToChooseDir);
    UserClick(form->ForwardToInput);
    UserClick(form->StartInput);
    UserClick(form->ForwardToFiles);
    UserClick(form->FilesWithJustTitle);
    ASSERT_EQ(QApplication::focusWidget(), form->FilesWithJustTitle);
    UserKey(Qt::Key_Enter);
    EXPECT_EQ(page(), form->Sheet_Dirs);
}

// Tab reaches every control of every page that a person can use there.
TEST_F(NavigationTest, TabReachesEveryControl) {
    UserClick(form->ForwardToChooseDir);
    UserClick(form->ChooseDir);  // the folder field and its button can be used now
    UserClick(form->ForwardToInput);
    UserClick(form->StartInput);
    UserClick(form->ForwardToFiles);
    UserClick(form->UseSpecificFiles);
    for (QWidget* sheet :
         {form->Sheet_About, form->Sheet_Drive, form->Sheet_Input, form->Sheet_Files,
          form->Sheet_Dirs, form->Sheet_Preview, form->Sheet_Output}) {
        SCOPED_TRACE(Name(sheet).toStdString());
        form->PageControl1->setCurrentWidget(sheet);
        std::set<QString> expected;
        for (QWidget* control : sheet->findChildren<QWidget*>()) {
            const auto* radio = qobject_cast<QRadioButton*>(control);
            // Of a group of radio buttons, Tab reaches the selected one; arrows the others.
            const bool otherRadio = radio != nullptr && !radio->isChecked();
            if ((control->focusPolicy() & Qt::TabFocus) && control->isEnabled() &&
                control->isVisibleTo(sheet) && control->focusProxy() == nullptr && !otherRadio) {
                expected.insert(Name(control));
            }
        }
        ASSERT_FALSE(expected.empty());
        std::set<QString> reached;
        for (size_t i = 0; i < 2 * expected.size() + 2; ++i) {
            UserKey(Qt::Key_Tab);
            reached.insert(Name(QApplication::focusWidget()));
        }
        for (const QString& control : expected) {
            EXPECT_EQ(reached.count(control), 1U) << control.toStdString() << " is not reached";
        }
    }
}

// Going back and forth keeps the options and the preview as they were.
TEST_F(NavigationTest, GoingBackAndForthKeepsOptionsAndPreview) {
    UserClick(form->ForwardToChooseDir);
    UserClick(form->ForwardToInput);
    UserClick(form->StartInput);
    UserClick(form->ForwardToFiles);
    UserClick(form->FilesWithJustTitle);
    UserClick(form->ForwardToDirs);
    UserClick(form->CountPerDir);
    UserClick(form->ForwardToPreview);
    const int rows = form->Preview->model()->rowCount();
    ASSERT_EQ(rows, 3);
    const QString firstFile = form->Preview->model()->index(1, 0).data().toString();
    EXPECT_EQ(firstFile, QStringLiteral("001 - Intro"));

    for (QPushButton* back : {form->BackToDirs, form->BackToFiles, form->BackToInput}) {
        UserClick(back);
    }
    for (QPushButton* forward : {form->ForwardToFiles, form->ForwardToDirs}) {
        UserClick(forward);
    }
    EXPECT_TRUE(form->FilesWithJustTitle->isChecked());
    EXPECT_TRUE(form->CountPerDir->isChecked());
    EXPECT_EQ(form->Preview->model()->rowCount(), rows) << "going back clears no preview";
    EXPECT_EQ(form->Preview->model()->index(1, 0).data().toString(), firstFile);
    UserClick(form->ForwardToPreview);
    EXPECT_EQ(form->Preview->model()->index(1, 0).data().toString(), firstFile);
}

// The welcome text is there to be read: a click on it leaves the focus where it was,
// Tab passes it by, and the pointer over it is an arrow, not a text cursor.
TEST_F(NavigationTest, TheWelcomeTextTakesNoFocus) {
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_EQ(QApplication::focusWidget(), form->ForwardToChooseDir);
    UserClick(form->Memo2->viewport());
    EXPECT_EQ(QApplication::focusWidget(), form->ForwardToChooseDir);
    for (int i = 0; i < 4; ++i) {
        UserKey(Qt::Key_Tab);
        EXPECT_NE(QApplication::focusWidget(), static_cast<QWidget*>(form->Memo2));
    }
    EXPECT_EQ(form->Memo2->viewport()->cursor().shape(), Qt::ArrowCursor);
    const QString text = form->Memo2->toPlainText();
    UserClick(form->Memo2->viewport());
    UserKey(Qt::Key_Q);
    EXPECT_EQ(form->Memo2->toPlainText(), text);
}

}  // namespace
}  // namespace spurfix::ui::test
