// The preview build and the export.
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QStackedWidget>

#include "engine/list_assembly.h"
#include "engine/list_file.h"
#include "platform/collation.h"
#include "ui/dialog_seam.h"
#include "ui/preview_model.h"
#include "ui/tform1.h"

namespace spurfix::ui {

ListOptions TForm1::currentListOptions() const {
    ListOptions options;
    options.sort = CheckSortData->isChecked();
    options.countPerFolder = CountPerDir->isChecked();
    options.folderLabels = UseDirLabels->isChecked();
    options.labelTemplate = DirLabelTemplate->text().toLocal8Bit().toStdString();
    options.filter = UseAllFiles->isChecked()        ? FileFilter::AllFiles
                     : UseSpecificFiles->isChecked() ? FileFilter::ChosenExtensions
                                                     : FileFilter::Mp3Only;
    for (int i = 0; i < AllowFiles->count(); ++i) {
        const QListWidgetItem* item = AllowFiles->item(i);
        options.allowedExtensions.push_back(
            {item->text().toLocal8Bit().toStdString(), item->checkState() == Qt::Checked});
    }
    options.withoutExtension = FilesWithoutExtension->isChecked();
    options.withoutTrackNumber = FilesWithoutTrackNr->isChecked();
    options.justTitle = FilesWithJustTitle->isChecked();
    options.numbering = CountFiles->isChecked();
    return options;
}

void TForm1::ForwardToPreviewClick() {
    const platform::Collator collator(platform::CollationLocaleFromEnvironment());
    const spurfix::ScanList empty;
    previewModel_->setLines(BuildPreview(ScanList ? *ScanList : empty,
                                         InputFilesFound->text().toInt(), currentListOptions(),
                                         collator));
    PageControl1->setCurrentWidget(Sheet_Preview);
}

void TForm1::SaveButtonClick() {
    if (OutputAsText->isChecked()) {
        SaveDialog1.fileName = QStringLiteral("spurfix.txt");
        SaveDialog1.defaultSuffix = QStringLiteral("txt");
        SaveDialog1.filter = QStringLiteral("Textdatei (*.txt)");
    }
    const std::optional<QString> fileName = CurrentPrompter().askSaveFileName(SaveDialog1);
    if (!fileName) {
        return;
    }
    WriteListFile(QFile::encodeName(*fileName).toStdString(), previewModel_->lines());
    const Answer answer = CurrentPrompter().message(
        BoxKind::Confirmation,
        QStringLiteral("Die Daten wurden erfolgreich exportiert!\r\n\r\nKlicken sie [OK] um zurück "
                       "zum Anfang zu kommen oder [Abbrechen] um Spurfix zu beenden."));
    if (answer == Answer::Ok) {
        PageControl1->setCurrentWidget(Sheet_About);
        return;
    }
    emit terminationRequested();
    QCoreApplication::exit(0);
}

}  // namespace spurfix::ui
