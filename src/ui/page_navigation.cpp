// Moving between the pages: the buttons' handlers are guarded, Enter presses the
// page's forward button.
#include <QKeyEvent>
#include <QPushButton>
#include <QStackedWidget>

#include "ui/error_display.h"
#include "ui/tform1.h"

namespace spurfix::ui {

void TForm1::onClick(QAbstractButton* button, void (TForm1::*handler)()) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    // Enter that no control took presses the page's default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const QWidget* page = PageControl1->currentWidget();
        for (QPushButton* button : page->findChildren<QPushButton*>()) {
            if (button->isDefault() && button->isVisible() && button->isEnabled()) {
                button->click();
                event->accept();
                return;
            }
        }
    }
    QWidget::keyPressEvent(event);
}

}  // namespace spurfix::ui
