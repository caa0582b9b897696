// The preview page: the song list built from the reading and the options.
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>

#include "engine/list_assembly.h"
#include "platform/collation.h"
#include "ui/page_frame.h"
#include "ui/preview_model.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

void TForm1::buildPreviewPage() {
    Sheet_Preview = MakePage(PageControl1, QStringLiteral("Sheet_Preview"));
    PageControl1->addWidget(Sheet_Preview);
    MakeTitleBand(Sheet_Preview, QStringLiteral("StaticText12"), QStringLiteral(" Vorschau"));
    Preview = Make<QListView>(Sheet_Preview, QStringLiteral("Preview"),
                              QRect(kBorder, kContentTop, kInnerWidth, kContentHeight));
    // Every line has the same height, so that a million lines scroll without measuring.
    Preview->setUniformItemSizes(true);
    Preview->setLayoutMode(QListView::Batched);
    Preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    previewModel_ = new PreviewModel(this);
    Preview->setModel(previewModel_);

    QWidget* bar = MakeBottomBar(Sheet_Preview, QStringLiteral("BarPreview"));
    BackToDirs = MakeBackButton(bar, QStringLiteral("BackToDirs"), true);
    ForwardToOutput =
        MakeForwardButton(bar, QStringLiteral("ForwardToOutput"), QStringLiteral("Weiter >>"));

    onClick(BackToDirs, &TForm1::BackToDirsClick);
    onClick(ForwardToOutput, &TForm1::ForwardToOutputClick);
}

ListOptions TForm1::currentListOptions() const {
    ListOptions options;
    readFileOptions(options);
    readFolderOptions(options);
    return options;
}

void TForm1::ForwardToPreviewClick() {
    const platform::Collator collator(platform::CollationLocaleFromEnvironment());
    const ListOptions options = currentListOptions();
    const SongInfoTable* songs = nullptr;
    if (!songFactsFor(options, songs)) {
        return;  // the user stopped the reading of the tags
    }
    previewModel_->setLines(
        BuildPreview(ScanList, InputFilesFound->text().toInt(), options, collator, songs));
    showPage(Sheet_Preview);
}

void TForm1::BackToDirsClick() {
    showPage(Sheet_Dirs);
}

void TForm1::ForwardToOutputClick() {
    showPage(Sheet_Output);
}

}  // namespace spurfix::ui
