// Long work away from the window's thread: while it runs, the page's bottom bar gives way to
// a progress bar and "Abbrechen", the pages take no input, and the window repaints.
#include "ui/background_work.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <exception>
#include <thread>
#include <utility>

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
        bar->setFormat(ProgressText(what, done, total));
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
