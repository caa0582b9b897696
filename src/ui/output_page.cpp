// The output page: the export and the question how to go on.
#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <memory>

#include "export/iso/cd_image.h"
#include "export/numbered_copy.h"
#include "export/output.h"
#include "export/pdf/cd_insert.h"
#include "export/playlist.h"
#include "export/text_list.h"
#include "platform/volume_label.h"
#include "ui/byte_text.h"
#include "ui/dialog_seam.h"
#include "ui/page_frame.h"
#include "ui/preview_model.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

void TForm1::buildOutputPage() {
    Sheet_Output = MakePage(PageControl1, QStringLiteral("Sheet_Output"));
    PageControl1->addWidget(Sheet_Output);
    StaticText9 =
        MakeTitleBand(Sheet_Output, QStringLiteral("StaticText9"), QStringLiteral(" Ausgeben"));
    Panel15 = Make<QFrame>(Sheet_Output, QStringLiteral("Panel15"),
                           QRect(kBorder, kBorder + kTitleHeight, kInnerWidth, 8));
    GroupBox1 = Make<QGroupBox>(Sheet_Output, QStringLiteral("GroupBox1"),
                                QRect(kBorder, kBorder + kTitleHeight + 8, kInnerWidth,
                                      kBarTop - (kBorder + kTitleHeight + 8)));
    StaticText1 =
        MakeWithText<QLabel>(GroupBox1, QStringLiteral("StaticText1"),
                             QStringLiteral("Daten exportieren:"), QRect(12, 10, 200, 16));
    // Rows of 17 pixels, so that the copy, the image and their layout fit below the lists.
    const auto row = [](int column, int index) { return QRect(column, 28 + 17 * index, 290, 17); };
    OutputAsText = MakeWithText<QRadioButton>(GroupBox1, QStringLiteral("OutputAsText"),
                                              QStringLiteral("als Textdatei"), row(12, 0));
    OutputAsText->setChecked(true);
    OutputAsPlaylist =
        MakeWithText<QRadioButton>(GroupBox1, QStringLiteral("OutputAsPlaylist"),
                                   QStringLiteral("als Wiedergabeliste (M3U)"), row(12, 1));
    OutputAsInsert =
        MakeWithText<QRadioButton>(GroupBox1, QStringLiteral("OutputAsInsert"),
                                   QStringLiteral("als CD-Einleger (PDF)"), row(12, 2));
    OutputAsCopy =
        MakeWithText<QRadioButton>(GroupBox1, QStringLiteral("OutputAsCopy"),
                                   QStringLiteral("als nummerierte Kopie (Ordner)"), row(12, 3));
    OutputAsImage = MakeWithText<QRadioButton>(GroupBox1, QStringLiteral("OutputAsImage"),
                                               QStringLiteral("als CD-Abbild (ISO)"), row(12, 4));
    auto* formats = new QButtonGroup(GroupBox1);
    for (QRadioButton* format :
         {OutputAsText, OutputAsPlaylist, OutputAsInsert, OutputAsCopy, OutputAsImage}) {
        formats->addButton(format);
    }
    // The layout of the copy and of the image, beneath them and taken only with them.
    CopyWithFolders = MakeWithText<QRadioButton>(GroupBox1, QStringLiteral("CopyWithFolders"),
                                                 QStringLiteral("mit Verzeichnissen"),
                                                 row(32, 5).translated(0, 2));
    CopyWithFolders->setChecked(true);
    CopyInOneFolder = MakeWithText<QRadioButton>(GroupBox1, QStringLiteral("CopyInOneFolder"),
                                                 QStringLiteral("alle Lieder in einem Verzeichnis"),
                                                 row(32, 6).translated(0, 2));
    auto* layouts = new QButtonGroup(GroupBox1);
    for (QRadioButton* layout : {CopyWithFolders, CopyInOneFolder}) {
        layouts->addButton(layout);
        layout->setEnabled(false);
    }
    connect(formats, &QButtonGroup::buttonToggled, GroupBox1, [this] {
        const bool laidOut = OutputAsCopy->isChecked() || OutputAsImage->isChecked();
        CopyWithFolders->setEnabled(laidOut);
        CopyInOneFolder->setEnabled(laidOut);
    });
    Panel16 = MakeBottomBar(Sheet_Output, QStringLiteral("Panel16"));
    BackToPreview = MakeBackButton(Panel16, QStringLiteral("BackToPreview"), true);
    SaveButton =
        MakeForwardButton(Panel16, QStringLiteral("SaveButton"), QStringLiteral("Fertig!"));

    onClick(BackToPreview, &TForm1::BackToPreviewClick);
    onClick(SaveButton, &TForm1::SaveButtonClick);
}

void TForm1::SaveButtonClick() {
    // The page only chooses: each output knows how to write itself.
    std::unique_ptr<exporting::Output> output;
    std::optional<QString> target;
    QString what = QStringLiteral("Ausgabe");
    const exporting::CopyLayout layout = CopyInOneFolder->isChecked()
                                             ? exporting::CopyLayout::OneFolder
                                             : exporting::CopyLayout::Folders;
    if (OutputAsCopy->isChecked()) {
        output = std::make_unique<exporting::NumberedCopyOutput>(layout);
        target = CurrentPrompter().askFolder(
            QStringLiteral("Leeres oder neues Verzeichnis für die Kopie wählen"), QString());
        what = QStringLiteral("Kopie");
    } else if (OutputAsImage->isChecked()) {
        SaveDialog1 = {QStringLiteral("spurfix.iso"), QStringLiteral("iso"),
                       QStringLiteral("CD-Abbild (*.iso)")};
        output = std::make_unique<exporting::CdImageOutput>(layout);
        what = QStringLiteral("CD-Abbild");
    } else if (OutputAsPlaylist->isChecked()) {
        SaveDialog1 = {QStringLiteral("spurfix.m3u"), QStringLiteral("m3u"),
                       QStringLiteral("Wiedergabeliste (*.m3u)")};
        output = std::make_unique<exporting::PlaylistOutput>();
    } else if (OutputAsInsert->isChecked()) {
        SaveDialog1 = {QStringLiteral("spurfix.pdf"), QStringLiteral("pdf"),
                       QStringLiteral("PDF-Dokument (*.pdf)")};
        output = std::make_unique<exporting::CdInsertOutput>();
    } else {
        SaveDialog1 = {QStringLiteral("spurfix.txt"), QStringLiteral("txt"),
                       QStringLiteral("Textdatei (*.txt)")};
        output = std::make_unique<exporting::TextListOutput>();
    }
    if (!OutputAsCopy->isChecked()) {
        target = CurrentPrompter().askSaveFileName(SaveDialog1);
    }
    if (!target) {
        return;
    }
    const std::string targetPath = QFile::encodeName(*target).toStdString();
    // The times go with the list where it shows them, for the outputs that set them apart.
    const exporting::ExportList list{&previewModel_->lines(), lastReadSource_,
                                     ListHeading(lastReadSource_).toStdString(),
                                     ShowPlayingTimes->isChecked() ? &songFacts_ : nullptr};
    std::string remark;
    const bool written = runInBackground(
        what, [&](WorkProgress& progress) { remark = output->write(list, targetPath, progress); });
    if (!written) {
        return;  // stopped: the target is as it was, the page stays
    }
    QString text = QStringLiteral("Die Daten wurden erfolgreich exportiert!");
    if (!remark.empty()) {
        text += QStringLiteral("\r\n\r\n") + QString::fromStdString(remark);
    }
    text += QStringLiteral(
        "\r\n\r\nKlicken sie [OK] um zurück zum Anfang zu kommen oder [Abbrechen] um Spurfix "
        "zu beenden.");
    const Answer answer = CurrentPrompter().message(BoxKind::Confirmation, text);
    if (answer == Answer::Ok) {
        showPage(Sheet_About);
        return;
    }
    emit terminationRequested();
    QCoreApplication::exit(0);
}

QString TForm1::ListHeading(const std::string& sourcePath) {
    // A whole medium is called by its label, as the disc's case names it; a folder, or a
    // medium without a label, by its name.
    std::string mountPoint = sourcePath;
    while (mountPoint.size() > 1 && mountPoint.back() == '/') {
        mountPoint.pop_back();
    }
    // Only a mount point has a label: a folder below it gets none.
    if (const std::string label = platform::VolumeLabel(mountPoint); !label.empty()) {
        return DisplayText(label);
    }
    return SourceFolderName(sourcePath);
}

QString TForm1::SourceFolderName(const std::string& sourcePath) {
    std::string_view path = sourcePath;
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    const size_t slash = path.rfind('/');
    return DisplayText(
        slash == std::string_view::npos || path.size() == 1 ? path : path.substr(slash + 1));
}

void TForm1::BackToPreviewClick() {
    showPage(Sheet_Preview);
}

}  // namespace spurfix::ui
