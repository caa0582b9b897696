// The reading page: the walk with its counts and trace, stop, repeat and reset.
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>

#include "ui/byte_text.h"
#include "ui/error_display.h"
#include "ui/page_frame.h"
#include "ui/search_animation.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

namespace {
// The costly part of a progress update, the repaint, runs at most once per frame.
constexpr qint64 kRepaintIntervalMs = 16;
}  // namespace

void TForm1::buildInputPage() {
    Sheet_Input = MakePage(PageControl1, QStringLiteral("Sheet_Input"));
    PageControl1->addWidget(Sheet_Input);
    StaticText6 =
        MakeTitleBand(Sheet_Input, QStringLiteral("StaticText6"), QStringLiteral(" Einlesen"));
    Input = Make<QGroupBox>(Sheet_Input, QStringLiteral("Input"),
                            QRect(kBorder, kContentTop, kInnerWidth, 76));
    Animate1 = Make<SearchAnimation>(Input, QStringLiteral("Animate1"), QRect(8, 10, 64, 58));
    InputText = Make<QLabel>(Input, QStringLiteral("InputText"), QRect(80, 8, 150, 16));
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
        Make<QPlainTextEdit>(Sheet_Input, QStringLiteral("InputPreview"),
                             QRect(kBorder, kContentTop + 80, kInnerWidth, kContentHeight - 80));
    InputPreview->setReadOnly(true);
    InputPreview->setLineWrapMode(QPlainTextEdit::NoWrap);
    InputPreview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

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

    lateCountsRepaint_.setSingleShot(true);
    lateCountsRepaint_.setInterval(16);
    connect(&lateCountsRepaint_, &QTimer::timeout, this, [this] {
        for (QLabel* label : {InputFilesFound, InputDirsFound}) {
            label->setUpdatesEnabled(true);
            label->update();
        }
    });
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
    InputPreview->clear();
    StopInput->hide();
    ReInput->hide();
}

void TForm1::StartInputPanelClick() {
    if (runActive_) {
        // Runs never nest: after a stop, the stopped run finishes first, then this one
        // starts. A click that reaches the button before the running reading hid it (the
        // second click of a double click) asks for nothing.
        restartPending_ = InputState == 3;
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
    } while (restartPending_ && !releaseScanListAfterRun_);
    BackToChooseDir->setEnabled(true);
    ForwardToFiles->setEnabled(forwardBefore || completed);
    runActive_ = false;
    if (releaseScanListAfterRun_) {
        ScanList.reset();
        releaseScanListAfterRun_ = false;
    }
}

bool TForm1::runReading() {
    InputState = 2;
    StartInputPanel->hide();
    InputPreview->clear();
    pendingTrace_.clear();
    InputText->setText(QStringLiteral("lese ein .."));
    ShowInputCounts(0, 0);
    Animate1->play();
    ReInput->hide();
    StopInput->show();
    std::string source = sourcePath();
    if (source.empty() || source.back() != '/') {
        source.push_back('/');
    }
    spurfix::ScanList discarded;
    ReadSource(source, ScanList ? *ScanList : discarded, *this);
    flushTrace();
    const bool completed = InputState != 3;
    InputText->setText(completed ? QStringLiteral("Einlesen erfolgreich beendet!")
                                 : QStringLiteral("Einlesen abgebrochen!"));
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
}

void TForm1::BackToChooseDirClick() {
    StartInputPanel->show();
    InputText->clear();
    InputPreview->clear();
    ShowInputCounts(0, 0);
    if (ScanList) {
        ScanList->clear();
    }
    Animate1->stop();
    ForwardToFiles->setEnabled(false);
    PageControl1->setCurrentWidget(Sheet_Drive);
}

void TForm1::ForwardToFilesClick() {
    PageControl1->setCurrentWidget(Sheet_Files);
}

void TForm1::folderEntered(std::string_view folderPath) {
    if (!pendingTrace_.isEmpty()) {
        pendingTrace_.append(QLatin1Char('\n'));
    }
    pendingTrace_.append(DisplayText(folderPath));
}

void TForm1::flushTrace() {
    if (!pendingTrace_.isEmpty()) {
        InputPreview->appendPlainText(pendingTrace_);
        pendingTrace_.clear();
    }
}

void TForm1::ShowInputCounts(int32_t files, int32_t folders) {
    // The labels always hold the latest counts, but are drawn at most once per frame:
    // a label with updates disabled takes its new text without asking to be painted.
    const bool drawNow = !repaintClock_.isValid() || repaintClock_.hasExpired(kRepaintIntervalMs);
    if (InputFilesFound->updatesEnabled() != drawNow) {
        InputFilesFound->setUpdatesEnabled(drawNow);
        InputDirsFound->setUpdatesEnabled(drawNow);
    }
    if (files != shownCounts_.files) {
        shownCounts_.files = files;
        InputFilesFound->setText(QString::number(files));
    }
    if (folders != shownCounts_.folders) {
        shownCounts_.folders = folders;
        InputDirsFound->setText(QString::number(folders));
    }
    if (!drawNow && !lateCountsRepaint_.isActive()) {
        // The last counts of a burst are drawn a frame later, whatever follows.
        lateCountsRepaint_.start();
    }
    if (drawNow) {
        repaintClock_.start();
        flushTrace();
        InputFilesFound->repaint();
        InputDirsFound->repaint();
        update();
        repaint();
        if (!isActiveWindow()) {
            raise();
        }
    }
    QCoreApplication::processEvents();
}

}  // namespace spurfix::ui
