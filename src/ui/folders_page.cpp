// The folders page: folder labels, numbering and sorting.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include "ui/dialog_seam.h"
#include "ui/page_frame.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

void TForm1::buildDirsPage() {
    Sheet_Dirs = MakePage(PageControl1, QStringLiteral("Sheet_Dirs"));
    PageControl1->addWidget(Sheet_Dirs);
    MakeTitleBand(Sheet_Dirs, QStringLiteral("StaticText11"), QStringLiteral(" Verzeichnisse"));
    QGroupBox* box = MakeContentBox(Sheet_Dirs, QStringLiteral("GroupBoxDirs"));
    UseDirLabels = MakeWithText<QCheckBox>(
        box, QStringLiteral("UseDirLabels"),
        QStringLiteral("Verzeichnisse nach diesem Schema einfügen"), QRect(8, 8, 310, 18));
    UseDirLabels->setChecked(true);
    DirLabelTemplate =
        Make<QLineEdit>(box, QStringLiteral("DirLabelTemplate"), QRect(26, 30, 254, 24));
    DirLabelTemplate->setText(QStringLiteral("[%NAME%]"));
    SetEnabledLook(DirLabelTemplate, true);
    ButtonDirTmplHelp = MakeWithText<QPushButton>(box, QStringLiteral("ButtonDirTmplHelp"),
                                                  QStringLiteral("?"), QRect(286, 30, 32, 24));
    ButtonDirTmplHelp->setAutoDefault(true);
    CountFiles = MakeWithText<QCheckBox>(
        box, QStringLiteral("CountFiles"),
        QStringLiteral("Dateien in den Verzeichnissen nummerieren"), QRect(8, 64, 310, 18));
    CountFiles->setChecked(true);
    CountPerVolume = MakeWithText<QRadioButton>(box, QStringLiteral("CountPerVolume"),
                                                QStringLiteral("globale Nummerierung der Dateien"),
                                                QRect(26, 84, 290, 18));
    CountPerVolume->setChecked(true);
    CountPerDir = MakeWithText<QRadioButton>(
        box, QStringLiteral("CountPerDir"),
        QStringLiteral("Nummerierung der Dateien pro Verzeichnis"), QRect(26, 104, 290, 18));
    auto* countGroup = new QButtonGroup(box);
    countGroup->addButton(CountPerVolume);
    countGroup->addButton(CountPerDir);
    CheckSortData = MakeWithText<QCheckBox>(box, QStringLiteral("CheckSortData"),
                                            QStringLiteral("Verzeichnisse und Dateien sortieren"),
                                            QRect(8, 134, 310, 18));
    CheckSortData->setChecked(true);

    QWidget* bar = MakeBottomBar(Sheet_Dirs, QStringLiteral("BarDirs"));
    BackToFiles = MakeBackButton(bar, QStringLiteral("BackToFiles"), true);
    ForwardToPreview =
        MakeForwardButton(bar, QStringLiteral("ForwardToPreview"), QStringLiteral("Weiter >>"));

    onClick(UseDirLabels, &TForm1::UseDirLabelsClick);
    onClick(ButtonDirTmplHelp, &TForm1::ButtonDirTmplHelpClick);
    onClick(CountFiles, &TForm1::CountFilesClick);
    onClick(BackToFiles, &TForm1::BackToFilesClick);
    onClick(ForwardToPreview, &TForm1::ForwardToPreviewClick);
}

void TForm1::UseDirLabelsClick() {
    const bool enabled = UseDirLabels->isChecked();
    DirLabelTemplate->setEnabled(enabled);
    SetEnabledLook(DirLabelTemplate, enabled);
}

void TForm1::ButtonDirTmplHelpClick() {
    CurrentPrompter().message(
        BoxKind::Plain,
        QStringLiteral(
            "Folgende Platzhalter sind möglich:\r\n\r\n%NAME% = Name des Verzeichnisses\r\n"
            "%PFAD% = Pfad des Verzeichnisses\r\n%NR% = Nummer des Verzeichnisses\r\n"
            "%DAUER% = Spieldauer der Lieder darunter\r\n\r\nAlle anderen Zeichen werden direkt "
            "in die Ausgabe übernommen."));
}

void TForm1::CountFilesClick() {
    const bool enabled = CountFiles->isChecked();
    CountPerVolume->setEnabled(enabled);
    CountPerDir->setEnabled(enabled);
}

void TForm1::BackToFilesClick() {
    showPage(Sheet_Files);
}

void TForm1::readFolderOptions(ListOptions& options) const {
    options.sort = CheckSortData->isChecked();
    options.countPerFolder = CountPerDir->isChecked();
    options.folderLabels = UseDirLabels->isChecked();
    options.labelTemplate = DirLabelTemplate->text().toLocal8Bit().toStdString();
    options.numbering = CountFiles->isChecked();
}

}  // namespace spurfix::ui
