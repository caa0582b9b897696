// The option rules of the files and folders pages.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "ui/dialog_seam.h"
#include "ui/page_frame.h"
#include "ui/tform1.h"

namespace spurfix::ui {

void TForm1::UseSpecificFilesClick() {
    const bool enabled = UseSpecificFiles->isChecked();
    AllowFiles->setEnabled(enabled);
    SetEnabledLook(AllowFiles, enabled);
    if (!enabled) {
        AllowFilesAdd->setEnabled(false);
        AllowFilesRemove->setEnabled(false);
        return;
    }
    AllowFilesAdd->setEnabled(true);
    AllowFilesClick();
}

void TForm1::AllowFilesClick() {
    AllowFilesRemove->setEnabled(AllowFiles->isEnabled() && !AllowFiles->selectedItems().isEmpty());
}

void TForm1::AllowFilesAddClick() {
    const std::optional<QString> extension = CurrentPrompter().askText(
        QStringLiteral("Erweiterung hinfügen"),
        QStringLiteral("Bitte gebe die Datei-Erweiterung (Endung) an:"), {});
    if (!extension) {
        return;
    }
    if (!AllowFiles->findItems(*extension, Qt::MatchFixedString).isEmpty()) {
        CurrentPrompter().message(BoxKind::Plain, QStringLiteral("Die Endung  \"") + *extension +
                                                      QStringLiteral("\"  ist schon vorhanden!"));
        return;
    }
    auto* item = new QListWidgetItem(*extension, AllowFiles);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
}

void TForm1::AllowFilesRemoveClick() {
    const QList<QListWidgetItem*> selected = AllowFiles->selectedItems();
    if (!selected.isEmpty()) {
        delete selected.constFirst();
    }
    AllowFiles->clearSelection();
    AllowFilesClick();
}

void TForm1::FilesWithJustTitleClick() {
    if (FilesWithJustTitle->isChecked()) {
        FilesWithoutExtension->setChecked(true);
        FilesWithoutTrackNr->setChecked(true);
    }
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
            "%PFAD% = Pfad des Verzeichnisses\r\n\r\nAlle anderen Zeichen werden direkt "
            "in die Ausgabe übernommen."));
}

void TForm1::CountFilesClick() {
    const bool enabled = CountFiles->isChecked();
    CountPerVolume->setEnabled(enabled);
    CountPerDir->setEnabled(enabled);
}

}  // namespace spurfix::ui
