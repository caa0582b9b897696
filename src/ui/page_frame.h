#pragma once

#include <QColor>
#include <QRect>
#include <QString>

class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace spurfix::ui {

// The frame every wizard page shares: a title band at the top and a bottom bar with
// "<< Zurück" on the left and the forward button on the right.
namespace page_geometry {
constexpr int kWidth = 335;
constexpr int kHeight = 248;
constexpr int kBorder = 4;
constexpr int kInnerWidth = kWidth - 2 * kBorder;
constexpr int kTitleHeight = 36;
constexpr int kContentTop = kBorder + kTitleHeight + 4;
constexpr int kBarTop = 212;
constexpr int kBarHeight = 32;
constexpr int kContentHeight = kBarTop - 4 - kContentTop;
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 28;
}  // namespace page_geometry

// A control with its name and place on its page.
template <class Control>
Control* Make(QWidget* parent, const QString& name, const QRect& geometry) {
    auto* control = new Control(parent);
    control->setObjectName(name);
    control->setGeometry(geometry);
    return control;
}

template <class Control>
Control* MakeWithText(QWidget* parent, const QString& name, const QString& text,
                      const QRect& geometry) {
    auto* control = Make<Control>(parent, name, geometry);
    control->setText(text);
    return control;
}

// The yellow of the title bands and the about box, the design's own colour in every
// palette; its text is black.
QColor InfoYellow();

QWidget* MakePage(QWidget* parent, const QString& name);
// The group box between the title band and the bottom bar.
QGroupBox* MakeContentBox(QWidget* page, const QString& name);
QLabel* MakeTitleBand(QWidget* page, const QString& name, const QString& text);
QWidget* MakeBottomBar(QWidget* page, const QString& name);
QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& text, bool bold);

// The forward button of a page: bold, drawn as the default button, pressed by Enter.
QPushButton* MakeForwardButton(QWidget* bar, const QString& name, const QString& text);
QPushButton* MakeBackButton(QWidget* bar, const QString& name, bool bold);
// The forward button of a page made by MakeForwardButton, or nullptr.
QPushButton* ForwardButtonOf(const QWidget* page);

// A disabled field takes the button colour, an enabled one the base colour.
void SetEnabledLook(QWidget* field, bool enabled);

}  // namespace spurfix::ui
