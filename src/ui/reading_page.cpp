// The reading page: the walk with its counts and trace, stop, repeat and reset.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>

#include "ui/byte_text.h"
#include "ui/dialog_seam.h"
#include "ui/error_display.h"
#include "ui/folder_trace.h"
#include "ui/page_frame.h"
#include "ui/preview_model.h"
#include "ui/search_animation.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

namespace {
// The costly part of a progress update, drawing, happens once per frame; the counts
// on screen are at most a frame behind the walk.
constexpr int kFrameMs = 16;
// Events that come from outside (the mouse, the keyboard, the window system) are
// fetched at most once a millisecond: fetching them is a system call, and a reading
// makes an update for nearly every file. What the program posts itself is handed out
// at every update.
constexpr qint64 kFetchEventsIntervalNs = 1'000'000;

// A source that is gone (a drive pulled out, a folder removed) or closed to the user
// is said at once: a reading of it would end with nothing and look like a success.
bool SourceCanBeOpened(const std::string& source) {
    const int fd = source.empty() ? -1 : open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        return true;
    }
    CurrentPrompter().message(
        BoxKind::Error,
        QStringLiteral("Dieses Verzeichnis konnte nicht gelesen werden!\r\n\r\n%1\r\n\r\n"
                       "Möglicherweise gibt es das Verzeichnis nicht, oder der Zugriff ist nicht "
                       "erlaubt.")
            .arg(DisplayText(source)));
    return false;
}
}  // namespace

void TForm1::buildInputPage() {
    Sheet_Input = MakePage(PageControl1, QStringLiteral("Sheet_Input"));
    PageControl1->addWidget(Sheet_Input);
    StaticText6 =
        MakeTitleBand(Sheet_Input, QStringLiteral("StaticText6"), QStringLiteral(" Einlesen"));
    Input = Make<QGroupBox>(Sheet_Input, QStringLiteral("Input"),
                            QRect(kBorder, kContentTop, kInnerWidth, 76));
    Animate1 = Make<SearchAnimation>(Input, QStringLiteral("Animate1"), QRect(8, 10, 64, 58));
    // Room for two lines above the counts: a reading that missed folders says how many.
    InputText =
        Make<QLabel>(Input, QStringLiteral("InputText"), QRect(80, 2, kInnerWidth - 88, 28));
    InputText->setWordWrap(true);
    InputText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    InputDirsFound = MakeWithText<QLabel>(Input, QStringLiteral("InputDirsFound"),
                                          QStringLiteral("0"), QRect(80, 30, 62, 16));
    InputDirsFound->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    StaticText8 = MakeWithText<QLabel>(Input, QStringLiteral("StaticText8"),
                                       QStringLiteral("Verzeichnisse"), QRect(146, 30, 80, 16));
    InputFilesFound = MakeWithText<QLabel>(Input, QStringLiteral("InputFilesFound"),
                                           QStringLiteral("0"), QRect(80, 50, 62, 16));
    InputFilesFound->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Fixed sizes: a new count then asks no layout to be redone.
    InputDirsFound->setFixedSize(InputDirsFound->size());
    InputFilesFound->setFixedSize(InputFilesFound->size());
    StaticText7 = MakeWithText<QLabel>(Input, QStringLiteral("StaticText7"),
                                       QStringLiteral("Dateien"), QRect(146, 50, 80, 16));
    StopInput = MakeButton(Input, QStringLiteral("StopInput"), QStringLiteral("Abbrechen"), false);
    StopInput->setGeometry(230, 26, 88, 26);
    StopInput->hide();
    ReInput = MakeButton(Input, QStringLiteral("ReInput"), QStringLiteral("Neu Einlesen"), false);
    ReInput->setGeometry(230, 26, 88, 26);
    ReInput->hide();

    StartInputPanel = Make<QFrame>(Input, QStringLiteral("StartInputPanel"), QRect(76, 4, 247, 68));
    StartInputPanel->setAutoFillBackground(true);
    StaticText2 = MakeWithText<QLabel>(StartInputPanel, QStringLiteral("StaticText2"),
                                       QStringLiteral("Klicke hier um das Einlesen zu starten:"),
                                       QRect(4, 6, 239, 16));
    StartInput = MakeButton(StartInputPanel, QStringLiteral("StartInput"),
                            QStringLiteral("Einlesen"), false);
    StartInput->setGeometry(68, 30, 110, 28);
    StartInputPanel->installEventFilter(this);

    InputPreview =
        Make<FolderTraceView>(Sheet_Input, QStringLiteral("InputPreview"),
                              QRect(kBorder, kContentTop + 80, kInnerWidth, kContentHeight - 80));
    traceModel_ = new FolderTraceModel(ScanList, this);
    InputPreview->setModel(traceModel_);

    QWidget* bar = MakeBottomBar(Sheet_Input, QStringLiteral("BarInput"));
    BackToChooseDir = MakeBackButton(bar, QStringLiteral("BackToChooseDir"), true);
    ForwardToFiles =
        MakeForwardButton(bar, QStringLiteral("ForwardToFiles"), QStringLiteral("Weiter >>"));
    ForwardToFiles->setEnabled(false);

    onClick(StartInput, &TForm1::StartInputPanelClick);
    onClick(ReInput, &TForm1::StartInputPanelClick);
    onClick(StopInput, &TForm1::StopInputClick);
    onClick(BackToChooseDir, &TForm1::BackToChooseDirClick);
    onClick(ForwardToFiles, &TForm1::ForwardToFilesClick);

    // The last counts of a burst are drawn a frame later, whatever follows.
    lateProgressDraw_.setSingleShot(true);
    lateProgressDraw_.setInterval(kFrameMs);
    connect(&lateProgressDraw_, &QTimer::timeout, this, [this] { drawProgress(); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StartInputPanel && event->type() == QEvent::MouseButtonRelease) {
        RunGuarded([this] { StartInputPanelClick(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::ForwardToInputClick() {
    PageControl1->setCurrentWidget(Sheet_Input);
    StartInputPanel->show();
    traceModel_->clear();
    StopInput->hide();
    ReInput->hide();
    focusForward();
}

void TForm1::StartInputPanelClick() {
    if (runActive_) {
        // Runs never nest: after a stop, the stopped run finishes first, then this one
        // starts. A click that reaches the button before the running reading hid it (the
        // second click of a double click) asks for nothing.
        restartPending_ = InputState == 3;
        return;
    }
    if (!SourceCanBeOpened(sourcePath())) {
        return;
    }
    runActive_ = true;
    const bool forwardBefore = ForwardToFiles->isEnabled();
    BackToChooseDir->setEnabled(false);
    ForwardToFiles->setEnabled(false);
    bool completed = false;
    do {
        restartPending_ = false;
        completed = runReading();
    } while (restartPending_);
    BackToChooseDir->setEnabled(true);
    ForwardToFiles->setEnabled(forwardBefore || completed);
    runActive_ = false;
    focusForward();
}

bool TForm1::runReading() {
    InputState = 2;
    StartInputPanel->hide();
    traceModel_->clear();
    InputText->setText(QStringLiteral("lese ein .."));
    ShowInputCounts(0, 0);
    Animate1->play();
    ReInput->hide();
    StopInput->show();
    std::string source = sourcePath();
    if (source.empty() || source.back() != '/') {
        source.push_back('/');
    }
    // The preview's lines point into the scan list, which the reading replaces; the
    // way to the preview builds it anew.
    previewModel_->setLines({});
    songFacts_ = {};  // tags are read once per reading
    lastReadSource_ = source;
    const WalkCounts counts = ReadSource(source, ScanList, *this);
    drawProgress();
    const bool completed = InputState != 3;
    // A reading that missed folders is complete, but it must not say "erfolgreich".
    const int32_t unreadable = counts.unreadableFolders;
    InputText->setText(
        !completed        ? QStringLiteral("Einlesen abgebrochen!")
        : unreadable == 0 ? QStringLiteral("Einlesen erfolgreich beendet!")
        : unreadable == 1 ? QStringLiteral("Einlesen beendet; 1 Verzeichnis war nicht lesbar.")
                          : QStringLiteral("Einlesen beendet; %1 Verzeichnisse waren nicht lesbar.")
                                .arg(unreadable));
    Animate1->stop();
    StopInput->hide();
    InputState = 1;
    return completed;
}

void TForm1::StopInputClick() {
    InputState = 3;
    restartPending_ = false;
    StopInput->hide();
    ReInput->show();
    ReInput->setFocus(Qt::OtherFocusReason);
}

void TForm1::BackToChooseDirClick() {
    StartInputPanel->show();
    InputText->clear();
    traceModel_->clear();
    ShowInputCounts(0, 0);
    previewModel_->setLines({});
    ScanList.clear();
    Animate1->stop();
    ForwardToFiles->setEnabled(false);
    showPage(Sheet_Drive);
}

void TForm1::ForwardToFilesClick() {
    showPage(Sheet_Files);
}

void TForm1::folderEntered(std::string_view folderPath) {
    // The source folder has no line; every other folder's line is the scan list's last.
    if (!traceModel_->hasSource()) {
        traceModel_->setSource(folderPath);
    } else {
        traceModel_->addFolder(ScanList.size() - 1);
    }
}

// The folder just entered: its trace line is the last.
void TForm1::folderUnreadable(std::string_view /*folderPath*/) {
    traceModel_->markLastUnreadable();
}

// A slow medium keeps the walk waiting: the window still answers, and a click on the
// stop button reaches stopRequested().
void TForm1::waitingForMedium() {
    letPendingEventsRun();
}

void TForm1::ShowInputCounts(int32_t files, int32_t folders) {
    latestCounts_ = {files, folders};
    drawProgress();
    letPendingEventsRun();
}

void TForm1::showCounts(int32_t files, int32_t folders) {
    latestCounts_ = {files, folders};
    if (!frameClock_.isValid() || frameClock_.hasExpired(kFrameMs)) {
        drawProgress();
    } else if (!lateProgressDraw_.isActive()) {
        lateProgressDraw_.start();
    }
    letPendingEventsRun();
}

void TForm1::drawProgress() {
    frameClock_.start();
    lateProgressDraw_.stop();
    if (traceModel_->flush()) {
        InputPreview->followNewLines();
    }
    if (latestCounts_.files != shownCounts_.files) {
        InputFilesFound->setText(QString::number(latestCounts_.files));
    }
    if (latestCounts_.folders != shownCounts_.folders) {
        InputDirsFound->setText(QString::number(latestCounts_.folders));
    }
    shownCounts_ = latestCounts_;
    InputFilesFound->repaint();
    InputDirsFound->repaint();
    if (!isActiveWindow()) {
        raise();
    }
}

void TForm1::letPendingEventsRun() {
    if (!fetchClock_.isValid() || fetchClock_.nsecsElapsed() >= kFetchEventsIntervalNs) {
        QCoreApplication::processEvents();
        fetchClock_.start();
    } else {
        QCoreApplication::sendPostedEvents();
    }
}

}  // namespace spurfix::ui
