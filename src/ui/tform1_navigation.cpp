// The main window's life (activation, close, Enter) and the page navigation.
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include "ui/about_dialog.h"
#include "ui/error_display.h"
#include "ui/tform1.h"

namespace spurfix::ui {

TForm1::~TForm1() = default;

void TForm1::attachDialogs(TChooseDirDialog* chooseDirDialog, TForm2* aboutDialog) {
    chooseDirDialog_ = chooseDirDialog;
    aboutDialog_ = aboutDialog;
}

void TForm1::setDriveSource(std::function<std::vector<platform::Drive>()> source) {
    driveSource_ = std::move(source);
}

void TForm1::onClick(QAbstractButton* button, void (TForm1::*handler)()) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
}

void TForm1::connectHandlers() {
    onClick(ForwardToChooseDir, &TForm1::ForwardToChooseDirClick);
    onClick(AboutButton, &TForm1::AboutButtonClick);
    onClick(BackToAbout, &TForm1::BackToAboutClick);
    onClick(ForwardToInput, &TForm1::ForwardToInputClick);
    onClick(BackToChooseDir, &TForm1::BackToChooseDirClick);
    onClick(ForwardToFiles, &TForm1::ForwardToFilesClick);
    onClick(BackToInput, &TForm1::BackToInputClick);
    onClick(ForwardToDirs, &TForm1::ForwardToDirsClick);
    onClick(BackToFiles, &TForm1::BackToFilesClick);
    onClick(ForwardToPreview, &TForm1::ForwardToPreviewClick);
    onClick(BackToDirs, &TForm1::BackToDirsClick);
    onClick(ForwardToOutput, &TForm1::ForwardToOutputClick);
    onClick(BackToPreview, &TForm1::BackToPreviewClick);
    onClick(SaveButton, &TForm1::SaveButtonClick);

    for (QAbstractButton* filter : {UseMP3sOnly, UseAllFiles, UseSpecificFiles}) {
        onClick(filter, &TForm1::UseSpecificFilesClick);
    }
    connect(AllowFiles, &QListWidget::itemSelectionChanged, this,
            [this] { RunGuarded([this] { AllowFilesClick(); }); });
    onClick(AllowFilesAdd, &TForm1::AllowFilesAddClick);
    onClick(AllowFilesRemove, &TForm1::AllowFilesRemoveClick);
    onClick(FilesWithJustTitle, &TForm1::FilesWithJustTitleClick);
    onClick(UseDirLabels, &TForm1::UseDirLabelsClick);
    onClick(ButtonDirTmplHelp, &TForm1::ButtonDirTmplHelpClick);
    onClick(CountFiles, &TForm1::CountFilesClick);

    connect(ChooseDirComboBox, qOverload<int>(&QComboBox::activated), this,
            [this] { RunGuarded([this] { ChooseDirComboBoxChange(); }); });
    // A radio button reports its click only when it becomes selected.
    for (QRadioButton* choice : {UseMainDir, ChooseDir}) {
        connect(choice, &QRadioButton::toggled, this, [this](bool selected) {
            if (selected) {
                RunGuarded([this] { ChooseDirClick(); });
            }
        });
    }
    onClick(ChooseDirButton, &TForm1::ChooseDirButtonClick);

    onClick(StartInput, &TForm1::StartInputPanelClick);
    onClick(ReInput, &TForm1::StartInputPanelClick);
    onClick(StopInput, &TForm1::StopInputClick);

    lateCountsRepaint_.setSingleShot(true);
    lateCountsRepaint_.setInterval(16);
    connect(&lateCountsRepaint_, &QTimer::timeout, this, [this] {
        for (QLabel* label : {InputFilesFound, InputDirsFound}) {
            label->setUpdatesEnabled(true);
            label->update();
        }
    });
}

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        RunGuarded([this] { FormActivate(); });
    }
    return QWidget::event(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StartInputPanel && event->type() == QEvent::MouseButtonRelease) {
        RunGuarded([this] { StartInputPanelClick(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::FormActivate() {
    if (activated_) {
        return;
    }
    activated_ = true;
    // The page tabs are never shown: the window loses their row and keeps its pages.
    setFixedSize(width(), height() - kTabRowHeight);
    PageControl1->move(0, 0);
    FillDriveList();
    ScanList = std::make_unique<spurfix::ScanList>();
    for (int i = 0; i < AllowFiles->count(); ++i) {
        AllowFiles->item(i)->setCheckState(Qt::Checked);
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    FormClose();
    event->accept();
}

void TForm1::FormCloseQuery() {
    if (InputState == 2) {
        InputState = 3;
    }
}

void TForm1::FormClose() {
    // A reading still unwinding keeps appending to the list: it goes when the run ends.
    if (runActive_) {
        releaseScanListAfterRun_ = true;
    } else {
        ScanList.reset();
    }
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    // Enter that no control took presses the page's default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const QWidget* page = PageControl1->currentWidget();
        for (QPushButton* button : page->findChildren<QPushButton*>()) {
            if (button->isDefault() && button->isVisible() && button->isEnabled()) {
                button->click();
                event->accept();
                return;
            }
        }
    }
    QWidget::keyPressEvent(event);
}

void TForm1::ForwardToChooseDirClick() {
    PageControl1->setCurrentWidget(Sheet_Drive);
}
void TForm1::BackToAboutClick() {
    PageControl1->setCurrentWidget(Sheet_About);
}
void TForm1::ForwardToFilesClick() {
    PageControl1->setCurrentWidget(Sheet_Files);
}
void TForm1::BackToInputClick() {
    PageControl1->setCurrentWidget(Sheet_Input);
}
void TForm1::ForwardToDirsClick() {
    PageControl1->setCurrentWidget(Sheet_Dirs);
}
void TForm1::BackToFilesClick() {
    PageControl1->setCurrentWidget(Sheet_Files);
}
void TForm1::BackToDirsClick() {
    PageControl1->setCurrentWidget(Sheet_Dirs);
}
void TForm1::ForwardToOutputClick() {
    PageControl1->setCurrentWidget(Sheet_Output);
}
void TForm1::BackToPreviewClick() {
    PageControl1->setCurrentWidget(Sheet_Preview);
}

void TForm1::AboutButtonClick() {
    if (aboutDialog_ != nullptr) {
        CurrentPrompter().runDialog(*aboutDialog_);
    }
}

}  // namespace spurfix::ui
