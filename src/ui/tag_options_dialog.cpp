#include "ui/tag_options_dialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "ui/dialog_seam.h"
#include "ui/page_frame.h"

namespace spurfix::ui {

TagOptionsDialog::TagOptionsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TagOptionsDialog"));
    setWindowTitle(QStringLiteral("Tags"));
    setModal(true);
    setFixedSize(326, 124);
    TitlesFromTags =
        MakeWithText<QCheckBox>(this, QStringLiteral("TitlesFromTags"),
                                QStringLiteral("Titel aus den Tags lesen"), QRect(8, 8, 310, 18));
    TagTitleTemplate =
        Make<QLineEdit>(this, QStringLiteral("TagTitleTemplate"), QRect(26, 30, 254, 24));
    TagTitleTemplate->setText(QStringLiteral("%INTERPRET% - %TITEL%"));
    ButtonTagTmplHelp = MakeWithText<QPushButton>(this, QStringLiteral("ButtonTagTmplHelp"),
                                                  QStringLiteral("?"), QRect(286, 30, 32, 24));
    ButtonTagTmplHelp->setAutoDefault(true);
    ShowPlayingTimes =
        MakeWithText<QCheckBox>(this, QStringLiteral("ShowPlayingTimes"),
                                QStringLiteral("Spieldauer anzeigen"), QRect(8, 62, 310, 18));
    ButtonOk = MakeButton(this, QStringLiteral("ButtonOk"), QStringLiteral("OK"), false);
    ButtonOk->setGeometry(140, 90, 86, 26);
    ButtonOk->setDefault(true);
    ButtonCancel =
        MakeButton(this, QStringLiteral("ButtonCancel"), QStringLiteral("Abbrechen"), false);
    ButtonCancel->setGeometry(232, 90, 86, 26);
    TitlesFromTagsClick();

    connect(TitlesFromTags, &QCheckBox::clicked, this, [this] { TitlesFromTagsClick(); });
    connect(ButtonTagTmplHelp, &QPushButton::clicked, this, [this] { ButtonTagTmplHelpClick(); });
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TagOptionsDialog::ask() {
    const bool titles = TitlesFromTags->isChecked();
    const QString pattern = TagTitleTemplate->text();
    const bool times = ShowPlayingTimes->isChecked();
    TitlesFromTags->setFocus();
    setResult(QDialog::Rejected);  // closing the dialog otherwise is "Abbrechen"
    if (CurrentPrompter().runDialog(*this) != QDialog::Accepted) {
        TitlesFromTags->setChecked(titles);
        TagTitleTemplate->setText(pattern);
        ShowPlayingTimes->setChecked(times);
        TitlesFromTagsClick();
    }
}

// The template is used only for titles from the tags.
void TagOptionsDialog::TitlesFromTagsClick() {
    const bool enabled = TitlesFromTags->isChecked();
    TagTitleTemplate->setEnabled(enabled);
    SetEnabledLook(TagTitleTemplate, enabled);
}

void TagOptionsDialog::ButtonTagTmplHelpClick() {
    CurrentPrompter().message(
        BoxKind::Plain,
        QStringLiteral("Folgende Platzhalter sind möglich:\r\n\r\n%INTERPRET% = Interpret\r\n"
                       "%TITEL% = Titel\r\n%ALBUM% = Album\r\n%JAHR% = Jahr\r\n"
                       "%TITELNR% = Nummer des Titels auf dem Album\r\n\r\nAlle anderen Zeichen "
                       "werden direkt in die Ausgabe übernommen. Lieder ohne Titel in den Tags "
                       "behalten den Titel aus dem Dateinamen.\r\n\r\nIn der Vorlage für "
                       "Verzeichnisse steht %DAUER% für die Spieldauer der Lieder darunter."));
}

}  // namespace spurfix::ui
