#include <QCheckBox>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>

#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using NavigationTest = WizardTest;

TEST_F(NavigationTest, EveryButtonShowsItsPage) {
    form->ForwardToFiles->setEnabled(true);
    struct Step {
        QWidget* from;
        QAbstractButton* button;
        QWidget* to;
    };
    const Step table[] = {
        {form->Sheet_About, form->ForwardToChooseDir, form->Sheet_Drive},
        {form->Sheet_Drive, form->BackToAbout, form->Sheet_About},
        {form->Sheet_Drive, form->ForwardToInput, form->Sheet_Input},
        {form->Sheet_Input, form->BackToChooseDir, form->Sheet_Drive},
        {form->Sheet_Input, form->ForwardToFiles, form->Sheet_Files},
        {form->Sheet_Files, form->BackToInput, form->Sheet_Input},
        {form->Sheet_Files, form->ForwardToDirs, form->Sheet_Dirs},
        {form->Sheet_Dirs, form->BackToFiles, form->Sheet_Files},
        {form->Sheet_Dirs, form->ForwardToPreview, form->Sheet_Preview},
        {form->Sheet_Preview, form->BackToDirs, form->Sheet_Dirs},
        {form->Sheet_Preview, form->ForwardToOutput, form->Sheet_Output},
        {form->Sheet_Output, form->BackToPreview, form->Sheet_Preview},
    };
    for (const Step& step : table) {
        form->PageControl1->setCurrentWidget(step.from);
        if (step.button == form->ForwardToFiles) {
            form->ForwardToFiles->setEnabled(true);
        }
        Click(step.button);
        EXPECT_EQ(page(), step.to) << step.button->objectName().toStdString() << " from "
                                   << step.from->objectName().toStdString();
    }
}

TEST_F(NavigationTest, EnterPressesTheDefaultButtonOfThePage) {
    QTest::keyClick(form.get(), Qt::Key_Return);
    EXPECT_EQ(page(), form->Sheet_Drive);
    // A check box with the focus lets Enter through to the page's forward button.
    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    form->FilesWithJustTitle->setFocus();
    QTest::keyClick(form->FilesWithJustTitle, Qt::Key_Enter);
    EXPECT_EQ(page(), form->Sheet_Dirs);
    // A disabled forward button is not pressed.
    form->PageControl1->setCurrentWidget(form->Sheet_Input);
    QTest::keyClick(form.get(), Qt::Key_Return);
    EXPECT_EQ(page(), form->Sheet_Input);
    // On the output page Enter starts the export.
    form->PageControl1->setCurrentWidget(form->Sheet_Output);
    QTest::keyClick(form.get(), Qt::Key_Return);
    EXPECT_EQ(prompter.saveRequests.size(), 1U);
}

TEST_F(NavigationTest, GoingBackKeepsWhatLaterPagesMade) {
    form->PageControl1->setCurrentWidget(form->Sheet_Dirs);
    form->DirLabelTemplate->setText(QStringLiteral("<%NAME%>"));
    Click(form->ForwardToPreview);
    Click(form->BackToDirs);
    Click(form->BackToFiles);
    Click(form->ForwardToDirs);
    EXPECT_EQ(form->DirLabelTemplate->text(), QStringLiteral("<%NAME%>"));
}

}  // namespace
}  // namespace spurfix::ui::test
