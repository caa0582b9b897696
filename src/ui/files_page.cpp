// The files page: the name options, the file-type filter and the tag options.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include "ui/dialog_seam.h"
#include "ui/error_display.h"
#include "ui/page_frame.h"
#include "ui/tag_options_dialog.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

namespace {
// A press on an entry's check box toggles the mark without selecting the entry; the
// entry the user touched is the one "Entfernen" should take, so it is selected first.
class SelectOnPress : public QObject {
  public:
    explicit SelectOnPress(QListWidget* list) : QObject(list), list_(list) {
        list->viewport()->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* press = static_cast<QMouseEvent*>(event);
            if (QListWidgetItem* item = list_->itemAt(press->position().toPoint())) {
                list_->setCurrentItem(item);
            }
        }
        return false;
    }

  private:
    QListWidget* list_;
};
}  // namespace

void TForm1::buildFilesPage() {
    Sheet_Files = MakePage(PageControl1, QStringLiteral("Sheet_Files"));
    PageControl1->addWidget(Sheet_Files);
    MakeTitleBand(Sheet_Files, QStringLiteral("StaticText10"), QStringLiteral(" Dateien"));
    QGroupBox* box = MakeContentBox(Sheet_Files, QStringLiteral("GroupBoxFiles"));
    FilesWithoutExtension =
        MakeWithText<QCheckBox>(box, QStringLiteral("FilesWithoutExtension"),
                                QStringLiteral("Erweiterung entfernen"), QRect(8, 8, 180, 18));
    FilesWithoutExtension->setChecked(true);
    FilesWithoutTrackNr =
        MakeWithText<QCheckBox>(box, QStringLiteral("FilesWithoutTrackNr"),
                                QStringLiteral("Tracknummern entfernen"), QRect(8, 28, 180, 18));
    FilesWithoutTrackNr->setChecked(true);
    FilesWithJustTitle =
        MakeWithText<QCheckBox>(box, QStringLiteral("FilesWithJustTitle"),
                                QStringLiteral("nur Titel listen"), QRect(8, 48, 180, 18));
    UseMP3sOnly =
        MakeWithText<QRadioButton>(box, QStringLiteral("UseMP3sOnly"),
                                   QStringLiteral("nur MP3 Dateien listen"), QRect(8, 82, 180, 18));
    UseMP3sOnly->setChecked(true);
    UseAllFiles =
        MakeWithText<QRadioButton>(box, QStringLiteral("UseAllFiles"),
                                   QStringLiteral("alle Dateien listen"), QRect(8, 102, 180, 18));
    UseSpecificFiles = MakeWithText<QRadioButton>(box, QStringLiteral("UseSpecificFiles"),
                                                  QStringLiteral("nur gewählte Dateien listen"),
                                                  QRect(8, 122, 180, 18));
    auto* filterGroup = new QButtonGroup(box);
    for (QRadioButton* button : {UseMP3sOnly, UseAllFiles, UseSpecificFiles}) {
        filterGroup->addButton(button);
    }

    AllowFiles = Make<QListWidget>(box, QStringLiteral("AllowFiles"), QRect(196, 8, 123, 118));
    for (const char* extension : {"mp3", "wav", "jpg", "jpeg", "mpg", "avi"}) {
        auto* item = new QListWidgetItem(QString::fromLatin1(extension), AllowFiles);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    AllowFiles->setEnabled(false);
    SetEnabledLook(AllowFiles, false);
    new SelectOnPress(AllowFiles);
    AllowFilesAdd =
        MakeButton(box, QStringLiteral("AllowFilesAdd"), QStringLiteral("Zufügen"), false);
    AllowFilesAdd->setGeometry(196, 130, 60, 24);
    AllowFilesAdd->setEnabled(false);
    AllowFilesRemove =
        MakeButton(box, QStringLiteral("AllowFilesRemove"), QStringLiteral("Entfernen"), false);
    AllowFilesRemove->setGeometry(259, 130, 60, 24);
    AllowFilesRemove->setEnabled(false);
    ButtonTags = MakeButton(box, QStringLiteral("ButtonTags"), QStringLiteral("Tags …"), false);
    ButtonTags->setGeometry(8, 140, 96, 20);
    // A window of its own, as the program's other dialogs; it goes with the main window.
    tagOptionsDialog = new TagOptionsDialog();
    connect(this, &QObject::destroyed, tagOptionsDialog,
            [dialog = tagOptionsDialog] { delete dialog; });
    TitlesFromTags = tagOptionsDialog->TitlesFromTags;
    TagTitleTemplate = tagOptionsDialog->TagTitleTemplate;
    ShowPlayingTimes = tagOptionsDialog->ShowPlayingTimes;

    QWidget* bar = MakeBottomBar(Sheet_Files, QStringLiteral("BarFiles"));
    BackToInput = MakeBackButton(bar, QStringLiteral("BackToInput"), true);
    ForwardToDirs =
        MakeForwardButton(bar, QStringLiteral("ForwardToDirs"), QStringLiteral("Weiter >>"));

    for (QAbstractButton* filter : {UseMP3sOnly, UseAllFiles, UseSpecificFiles}) {
        onClick(filter, &TForm1::UseSpecificFilesClick);
    }
    connect(AllowFiles, &QListWidget::itemSelectionChanged, this,
            [this] { RunGuarded([this] { AllowFilesClick(); }); });
    onClick(AllowFilesAdd, &TForm1::AllowFilesAddClick);
    onClick(AllowFilesRemove, &TForm1::AllowFilesRemoveClick);
    onClick(FilesWithJustTitle, &TForm1::FilesWithJustTitleClick);
    onClick(ButtonTags, &TForm1::ButtonTagsClick);
    onClick(BackToInput, &TForm1::BackToInputClick);
    onClick(ForwardToDirs, &TForm1::ForwardToDirsClick);
}

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
    std::optional<QString> extension = CurrentPrompter().askText(
        QStringLiteral("Erweiterung hinfügen"),
        QStringLiteral("Bitte gebe die Datei-Erweiterung (Endung) an:"), {});
    if (!extension) {
        return;
    }
    // ".flac" is typed as often as "flac" and means the same; the list holds no dots.
    if (extension->startsWith(QLatin1Char('.'))) {
        extension->remove(0, 1);
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

void TForm1::ButtonTagsClick() {
    tagOptionsDialog->ask();
}

void TForm1::BackToInputClick() {
    showPage(Sheet_Input);
}

void TForm1::ForwardToDirsClick() {
    showPage(Sheet_Dirs);
}

void TForm1::readFileOptions(ListOptions& options) const {
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
    options.titlesFromTags = TitlesFromTags->isChecked();
    options.tagTitleTemplate = TagTitleTemplate->text().toUtf8().toStdString();
    options.showPlayingTimes = ShowPlayingTimes->isChecked();
}

}  // namespace spurfix::ui
