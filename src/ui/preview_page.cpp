// The preview page: the song list built from the reading and the options.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTimer>
#include <optional>
#include <utility>

#include "engine/list_assembly.h"
#include "engine/player_limits.h"
#include "platform/collation.h"
#include "platform/mount_type.h"
#include "ui/background_work.h"
#include "ui/page_frame.h"
#include "ui/preview_model.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

namespace {
constexpr int kOrderHeight = 22;

// The build of the list hears "Abbrechen" through the window's work progress.
class WorkBuildProgress : public BuildProgress {
  public:
    explicit WorkBuildProgress(WorkProgress& work) : work_(work) {}
    void report(uint64_t done, uint64_t total) override { work_.report(done, total); }
    [[nodiscard]] bool stopRequested() const override { return work_.cancelled(); }

  private:
    WorkProgress& work_;
};
}  // namespace

void TForm1::buildPreviewPage() {
    Sheet_Preview = MakePage(PageControl1, QStringLiteral("Sheet_Preview"));
    PageControl1->addWidget(Sheet_Preview);
    MakeTitleBand(Sheet_Preview, QStringLiteral("StaticText12"), QStringLiteral(" Vorschau"));
    // The order first: it decides the numbers the list below shows.
    PlayOrder = Make<QComboBox>(Sheet_Preview, QStringLiteral("PlayOrder"),
                                QRect(kBorder, kContentTop, kInnerWidth, kOrderHeight));
    PlayOrder->addItems({QStringLiteral("wie eingelesen"),
                         QStringLiteral("CD-Spieler: Ordner für Ordner"),
                         QStringLiteral("Autoradio: Ebene für Ebene")});
    Preview = Make<QListView>(Sheet_Preview, QStringLiteral("Preview"), QRect());
    PlayerHint = Make<QLabel>(Sheet_Preview, QStringLiteral("PlayerHint"), QRect());
    PlayerHint->setWordWrap(true);
    PlayerHint->hide();
    placePreviewAndHint();
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

    connect(PlayOrder, &QComboBox::currentIndexChanged, this, &TForm1::PlayOrderChange);
    onClick(BackToDirs, &TForm1::BackToDirsClick);
    onClick(ForwardToOutput, &TForm1::ForwardToOutputClick);
}

ListOptions TForm1::currentListOptions() const {
    ListOptions options;
    readFileOptions(options);
    readFolderOptions(options);
    options.order = static_cast<spurfix::PlayOrder>(PlayOrder->currentIndex());
    return options;
}

void TForm1::ForwardToPreviewClick() {
    if (rebuildPreview()) {
        showPage(Sheet_Preview);
    }
}

void TForm1::PlayOrderChange() {
    // Sorting whole paths has no meaning in a player's order.
    CheckSortData->setEnabled(PlayOrder->currentIndex() == 0);
    if (!rebuildPreview()) {
        // Stopped: the list stays as it was, and so does the order it was built in.
        const QSignalBlocker quiet(PlayOrder);
        PlayOrder->setCurrentIndex(builtOrder_);
        CheckSortData->setEnabled(builtOrder_ == 0);
    }
}

bool TForm1::rebuildPreview() {
    // The selected line is found again by the scan list's line it was made from.
    const QModelIndex selected = Preview->currentIndex();
    std::optional<std::pair<uint32_t, EntryKind>> keep;
    if (selected.isValid() && previewModel_->lines().hasSourceLine(selected.row())) {
        const PreviewList& before = previewModel_->lines();
        keep = {before.sourceLine(selected.row()), before.kind(selected.row())};
    }

    const ListOptions options = currentListOptions();
    const SongInfoTable* songs = nullptr;
    if (!songFactsFor(options, songs)) {
        return false;  // the user stopped the reading of the tags
    }
    const platform::Collator collator(platform::CollationLocaleFromEnvironment());
    const ListSource source{lastReadSource_, platform::FileSystemTypeOf(lastReadSource_)};
    const int32_t filesFound = InputFilesFound->text().toInt();
    ListFacts facts;
    PreviewList built;
    // A million lines take seconds: the list is built beside the window's thread, which
    // repaints meanwhile and offers "Abbrechen". Every list is built so, the short ones
    // too, so that there is one way to a list. The control that had the focus (the
    // order's list, say) gets it back.
    const QPointer<QWidget> focused = QApplication::focusWidget();
    const bool finished = runInBackground(QStringLiteral("Liste"), [&](WorkProgress& work) {
        WorkBuildProgress progress(work);
        work.report(0, ScanList.size());
        try {
            built = BuildPreview(ScanList, filesFound, options, collator, source, &facts, songs,
                                 &progress);
        } catch (const BuildStopped&) {
            // Nothing of the list is kept; runInBackground() sees the stop.
        }
    });
    if (focused != nullptr && focused->isVisible() && focused->isEnabled()) {
        focused->setFocus(Qt::OtherFocusReason);
    }
    if (!finished) {
        return false;
    }
    ++previewBuilds_;
    builtOrder_ = PlayOrder->currentIndex();
    previewModel_->setLines(std::move(built));
    PlayerHint->setText(QString::fromStdString(PlayerLimitHint(facts)));
    placePreviewAndHint();

    if (keep) {
        const PreviewList& after = previewModel_->lines();
        for (size_t row = 0; row < after.size(); ++row) {
            if (after.hasSourceLine(row) && after.sourceLine(row) == keep->first &&
                after.kind(row) == keep->second) {
                Preview->setCurrentIndex(previewModel_->index(static_cast<int>(row)));
                keepInView(static_cast<int>(row), previewBuilds_);
                break;
            }
        }
    }
    return true;
}

void TForm1::keepInView(int row, int build) {
    if (build != previewBuilds_ || row >= previewModel_->rowCount()) {
        return;  // a newer list took its place
    }
    const QModelIndex index = previewModel_->index(row);
    if (Preview->visualRect(index).isValid()) {
        Preview->scrollTo(index, QAbstractItemView::PositionAtCenter);
        return;
    }
    QTimer::singleShot(0, this, [this, row, build] { keepInView(row, build); });
}

void TForm1::placePreviewAndHint() {
    const int listTop = kContentTop + kOrderHeight + 4;
    int listHeight = kContentTop + kContentHeight - listTop;
    PlayerHint->setVisible(!PlayerHint->text().isEmpty());
    if (PlayerHint->isVisibleTo(Sheet_Preview)) {
        const int hintHeight = PlayerHint->heightForWidth(kInnerWidth);
        listHeight -= hintHeight + 2;
        PlayerHint->setGeometry(kBorder, listTop + listHeight + 2, kInnerWidth, hintHeight);
    }
    Preview->setGeometry(kBorder, listTop, kInnerWidth, listHeight);
}

void TForm1::BackToDirsClick() {
    showPage(Sheet_Dirs);
}

void TForm1::ForwardToOutputClick() {
    showPage(Sheet_Output);
}

}  // namespace spurfix::ui
