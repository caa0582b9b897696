// Moving between the pages: the buttons' handlers are guarded; the focus waits on the
// page's forward button, so that Enter goes on.
#include <QKeyEvent>
#include <QPushButton>
#include <QStackedWidget>

#include "ui/error_display.h"
#include "ui/page_frame.h"
#include "ui/tform1.h"

namespace spurfix::ui {

void TForm1::onClick(QAbstractButton* button, void (TForm1::*handler)()) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
}

void TForm1::showPage(QWidget* page) {
    PageControl1->setCurrentWidget(page);
    focusForward();
}

void TForm1::focusForward() {
    // Enter presses the focused button: the focus waits where the user goes on. Where the
    // way forward is still closed, on the reading page, that is the reading itself.
    QWidget* page = PageControl1->currentWidget();
    if (QPushButton* forward = ForwardButtonOf(page); forward != nullptr && forward->isEnabled()) {
        forward->setFocus(Qt::OtherFocusReason);
        return;
    }
    for (QPushButton* button : {StartInput, ReInput}) {
        if (page == Sheet_Input && button->isEnabled() && button->isVisibleTo(page)) {
            button->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (runningWork_ != nullptr && event->key() == Qt::Key_Escape) {
        runningWork_->cancel();
        event->accept();
        return;
    }
    // Enter that no control took presses the page's default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QPushButton* forward = ForwardButtonOf(PageControl1->currentWidget());
        if (forward != nullptr && forward->isVisible() && forward->isEnabled()) {
            forward->click();
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

}  // namespace spurfix::ui
