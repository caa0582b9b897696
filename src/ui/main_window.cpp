// The main window: its frame, its first activation and its close.
#include <QCloseEvent>
#include <QComboBox>
#include <QListWidget>
#include <QStackedWidget>

#include "ui/error_display.h"
#include "ui/folder_trace.h"
#include "ui/fonts.h"
#include "ui/page_frame.h"
#include "ui/preview_model.h"
#include "ui/screen_centre.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Spurfix v2.0 beta (#061124)"));
    setFont(WindowFont());
    setFixedSize(kWidth, kDesignedClientHeight);
    CentreOnScreen(*this);

    // The pages sit below the row their tabs took at design; the first activation
    // removes that row.
    PageControl1 = Make<QStackedWidget>(this, QStringLiteral("PageControl1"),
                                        QRect(0, kTabRowHeight, kWidth, kHeight));
    Panel1 = Make<QFrame>(this, QStringLiteral("Panel1"), QRect(0, 0, kWidth, 1));
    Panel1->raise();

    buildAboutPage();
    buildDrivePage();
    buildInputPage();
    buildFilesPage();
    buildDirsPage();
    buildPreviewPage();
    buildOutputPage();
    PageControl1->setCurrentWidget(Sheet_About);
}

TForm1::~TForm1() = default;

void TForm1::attachDialogs(TChooseDirDialog* chooseDirDialog, TForm2* aboutDialog) {
    chooseDirDialog_ = chooseDirDialog;
    aboutDialog_ = aboutDialog;
}

void TForm1::setDriveSource(std::function<std::vector<platform::Drive>()> source) {
    driveSource_ = std::move(source);
}

bool TForm1::event(QEvent* event) {
    // Without a window manager the window may be shown long before it is activated:
    // the first showing already gives the window of the first activation.
    if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
        RunGuarded([this] { FormActivate(); });
    }
    return QWidget::event(event);
}

void TForm1::FormActivate() {
    if (activated_) {
        return;
    }
    activated_ = true;
    // The page tabs are never shown: the window loses their row and keeps its pages.
    setFixedSize(width(), height() - kTabRowHeight);
    PageControl1->move(0, 0);
    FillDriveList();
    for (int i = 0; i < AllowFiles->count(); ++i) {
        AllowFiles->item(i)->setCheckState(Qt::Checked);
    }
    focusForward();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Work in the background still reads the lists: it is stopped, and the window closes
    // once it has ended.
    if (runningWork_ != nullptr) {
        runningWork_->cancel();
        closeAfterWork_ = true;
        event->ignore();
        return;
    }
    FormCloseQuery();
    FormClose();
    event->accept();
}

void TForm1::FormCloseQuery() {
    if (InputState == 2) {
        InputState = 3;
    }
}

void TForm1::FormClose() {
    // A reading that still unwinds stops at its next poll without another line; it
    // starts no other.
    restartPending_ = false;
    traceModel_->clear();
    previewModel_->setLines({});
    ScanList.clear();
}

}  // namespace spurfix::ui
