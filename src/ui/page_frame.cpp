#include "ui/page_frame.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "ui/fonts.h"

namespace spurfix::ui {

using namespace page_geometry;

QColor InfoYellow() {
    return {0xff, 0xff, 0xdc};
}

QWidget* MakePage(QWidget* parent, const QString& name) {
    auto* page = new QWidget(parent);
    page->setObjectName(name);
    page->setFixedSize(kWidth, kHeight);
    return page;
}

QGroupBox* MakeContentBox(QWidget* page, const QString& name) {
    return Make<QGroupBox>(page, name, QRect(kBorder, kContentTop, kInnerWidth, kContentHeight));
}

QLabel* MakeTitleBand(QWidget* page, const QString& name, const QString& text) {
    auto* band = new QLabel(text, page);
    band->setObjectName(name);
    band->setGeometry(kBorder, kBorder, kInnerWidth, kTitleHeight);
    band->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    band->setFont(ArialFont(29, true, true));
    band->setAutoFillBackground(true);
    // The band's yellow is the design's, in a dark palette too: so is its black text.
    QPalette palette = band->palette();
    palette.setColor(QPalette::Window, InfoYellow());
    palette.setColor(QPalette::WindowText, Qt::black);
    band->setPalette(palette);
    return band;
}

QWidget* MakeBottomBar(QWidget* page, const QString& name) {
    auto* bar = new QWidget(page);
    bar->setObjectName(name);
    bar->setGeometry(kBorder, kBarTop, kInnerWidth, kBarHeight);
    return bar;
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& text, bool bold) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    // Enter presses the focused button, as it did on the platform the wizard came from.
    button->setAutoDefault(true);
    if (bold) {
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
    }
    return button;
}

namespace {
// Marks the forward button: the default look alone does not tell it, since Qt lends the
// default look to any button that has the focus.
constexpr char kForwardProperty[] = "spurfixForward";
}  // namespace

QPushButton* MakeForwardButton(QWidget* bar, const QString& name, const QString& text) {
    QPushButton* button = MakeButton(bar, name, text, true);
    button->setDefault(true);
    button->setProperty(kForwardProperty, true);
    button->setGeometry(kInnerWidth - kButtonWidth, 2, kButtonWidth, kButtonHeight);
    return button;
}

QPushButton* MakeBackButton(QWidget* bar, const QString& name, bool bold) {
    QPushButton* button = MakeButton(bar, name, QStringLiteral("<< Zurück"), bold);
    button->setGeometry(0, 2, kButtonWidth, kButtonHeight);
    return button;
}

QPushButton* ForwardButtonOf(const QWidget* page) {
    for (QPushButton* button : page->findChildren<QPushButton*>()) {
        if (button->property(kForwardProperty).toBool()) {
            return button;
        }
    }
    return nullptr;
}

void SetEnabledLook(QWidget* field, bool enabled) {
    QPalette palette = field->palette();
    const QColor colour =
        QApplication::palette().color(enabled ? QPalette::Base : QPalette::Button);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, colour);
    }
    field->setPalette(palette);
}

}  // namespace spurfix::ui
