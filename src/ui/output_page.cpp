// The output page: the export and the question how to go on.
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include "engine/list_file.h"
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
                             QStringLiteral("Daten exportieren:"), QRect(12, 14, 200, 16));
    OutputAsText =
        MakeWithText<QRadioButton>(GroupBox1, QStringLiteral("OutputAsText"),
                                   QStringLiteral("als Textdatei"), QRect(12, 36, 200, 18));
    OutputAsText->setChecked(true);
    OutputAsText->setEnabled(false);
    Panel16 = MakeBottomBar(Sheet_Output, QStringLiteral("Panel16"));
    BackToPreview = MakeBackButton(Panel16, QStringLiteral("BackToPreview"), true);
    SaveButton =
        MakeForwardButton(Panel16, QStringLiteral("SaveButton"), QStringLiteral("Fertig!"));

    onClick(BackToPreview, &TForm1::BackToPreviewClick);
    onClick(SaveButton, &TForm1::SaveButtonClick);
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
        showPage(Sheet_About);
        return;
    }
    emit terminationRequested();
    QCoreApplication::exit(0);
}

void TForm1::BackToPreviewClick() {
    showPage(Sheet_Preview);
}

}  // namespace spurfix::ui
