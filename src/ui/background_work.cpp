// Long work away from the window's thread: while it runs, the page's bottom bar gives way to
// a progress bar and "Abbrechen", the pages take no input, and the window repaints.
#include "ui/background_work.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <exception>
#include <thread>
#include <utility>

#include "export/numbered_copy.h"
#include "ui/page_frame.h"
#include "ui/tform1.h"

namespace spurfix::ui {

namespace {
// How often the bar shows the work's progress; a stop needs no wait for it.
constexpr int kShowEveryMs = 25;
constexpr int kBarSteps = 1000;
}  // namespace

QString ProgressText(const QString& what, uint64_t done, uint64_t total) {
    const QLocale german(QLocale::German, QLocale::Germany);
    return QStringLiteral("%1: %2 von %3")
        .arg(what, german.toString(static_cast<qulonglong>(done)),
             german.toString(static_cast<qulonglong>(total)));
}

QString FilesText(uint64_t filesDone, uint64_t filesTotal, uint64_t bytesDone, uint64_t bytesTotal,
                  int64_t elapsedMs) {
    const QLocale german(QLocale::German, QLocale::Germany);
    QString text = QStringLiteral("Datei %1 von %2")
                       .arg(german.toString(static_cast<qulonglong>(
                                std::min(filesDone + 1, std::max<uint64_t>(filesTotal, 1)))),
                            german.toString(static_cast<qulonglong>(filesTotal)));
    constexpr int64_t kJudgeAfterMs = 1000;
    if (bytesDone == 0 || elapsedMs < kJudgeAfterMs || bytesDone >= bytesTotal) {
        return text;
    }
    const auto leftSeconds = static_cast<uint64_t>(static_cast<double>(elapsedMs) / 1000.0 *
                                                       static_cast<double>(bytesTotal - bytesDone) /
                                                       static_cast<double>(bytesDone) +
                                                   0.999);
    if (leftSeconds < 60) {
        return text + QStringLiteral(", noch etwa %1 s").arg(leftSeconds);
    }
    const uint64_t minutes = (leftSeconds + 59) / 60;
    if (minutes < 60) {
        return text + QStringLiteral(", noch etwa %1 min").arg(minutes);
    }
    return text + QStringLiteral(", noch etwa %1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

bool TForm1::runInBackground(const QString& what, const BackgroundWork& work) {
    using namespace page_geometry;
    WorkProgress progress;
    QWidget panel(this);
    panel.setObjectName(QStringLiteral("WorkPanel"));
    panel.setGeometry(kBorder, PageControl1->y() + kBarTop, kInnerWidth, kBarHeight);
    panel.setAutoFillBackground(true);
    auto* bar = new QProgressBar(&panel);
    bar->setObjectName(QStringLiteral("WorkProgressBar"));
    bar->setRange(0, kBarSteps);
    bar->setValue(0);
    bar->setGeometry(0, 4, kInnerWidth - kButtonWidth - 6, kButtonHeight - 4);
    bar->setFormat(ProgressText(what, 0, 0));
    auto* stop =
        MakeButton(&panel, QStringLiteral("CancelWork"), QStringLiteral("Abbrechen"), true);
    stop->setGeometry(kInnerWidth - kButtonWidth, 2, kButtonWidth, kButtonHeight);
    // A copy's files and time left, on a line above the bar once it counts files.
    constexpr int kDetailHeight = 20;
    auto* detail = new QLabel(&panel);
    detail->setObjectName(QStringLiteral("WorkDetail"));
    detail->setGeometry(0, 0, kInnerWidth, kDetailHeight);
    detail->hide();
    QElapsedTimer clock;
    clock.start();

    QEventLoop loop;
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    bool wasCancelled = false;
    connect(stop, &QPushButton::clicked, &panel, [&] {
        progress.cancel();
        stop->setEnabled(false);
    });
    auto show = [&] {
        const uint64_t total = progress.total();
        const uint64_t done = std::min(progress.done(), total);
        bar->setValue(total == 0 ? 0 : static_cast<int>(done * kBarSteps / total));
        const uint64_t filesTotal = progress.filesTotal();
        if (filesTotal == 0) {
            bar->setFormat(ProgressText(what, done, total));
        } else {
            bar->setFormat(QStringLiteral("%1: %2 von %3")
                               .arg(what, QString::fromStdString(exporting::GermanSize(done)),
                                    QString::fromStdString(exporting::GermanSize(total))));
            if (detail->isHidden()) {
                panel.setGeometry(kBorder, PageControl1->y() + kBarTop - kDetailHeight, kInnerWidth,
                                  kBarHeight + kDetailHeight);
                bar->move(bar->x(), bar->y() + kDetailHeight);
                stop->move(stop->x(), stop->y() + kDetailHeight);
                detail->show();
            }
            detail->setText(
                FilesText(progress.filesDone(), filesTotal, done, total, clock.elapsed()));
        }
        if (finished.load()) {
            loop.quit();
        }
    };
    QTimer poll;
    poll.setInterval(kShowEveryMs);
    connect(&poll, &QTimer::timeout, &panel, show);

    runningWork_ = &progress;
    const bool pagesEnabled = PageControl1->isEnabled();
    PageControl1->setEnabled(false);
    panel.show();
    panel.raise();
    stop->setFocus(Qt::OtherFocusReason);
    std::thread worker([&] {
        try {
            work(progress);
        } catch (const exporting::Cancelled&) {
            wasCancelled = true;
        } catch (...) {
            failure = std::current_exception();
        }
        finished.store(true);
    });
    poll.start();
    loop.exec();
    if (!finished.load()) {
        // The loop ends before the work only when the application is ending: the work is
        // stopped, not waited for, or the window would hang until a long copy is through.
        progress.cancel();
    }
    worker.join();
    runningWork_ = nullptr;
    PageControl1->setEnabled(pagesEnabled);
    panel.hide();
    focusForward();
    if (std::exchange(closeAfterWork_, false)) {
        QTimer::singleShot(0, this, &QWidget::close);
        return false;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return !wasCancelled && !progress.cancelled();
}

}  // namespace spurfix::ui
