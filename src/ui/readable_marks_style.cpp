#include "ui/readable_marks_style.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOption>

namespace spurfix::ui {

namespace {
// Nine parts of the text colour to eleven of the window colour: at least 3:1 against
// the window in the usual light and dark palettes, and lighter than a text.
QColor OutlineColour(const QPalette& palette) {
    const QColor text = palette.color(QPalette::WindowText);
    const QColor window = palette.color(QPalette::Window);
    const auto mix = [](int a, int b) { return (a * 9 + b * 11) / 20; };
    return {mix(text.red(), window.red()), mix(text.green(), window.green()),
            mix(text.blue(), window.blue())};
}
}  // namespace

ReadableMarksStyle::ReadableMarksStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}

void ReadableMarksStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                       QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    const bool keyboardFocus =
        (option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange);
    if ((element != PE_IndicatorCheckBox && element != PE_IndicatorRadioButton) || keyboardFocus) {
        return;  // a focused mark has Fusion's highlighted outline
    }
    // The same outline as Fusion's, in a readable colour.
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(OutlineColour(option->palette)));
    if (element == PE_IndicatorCheckBox) {
        painter->translate(0.5, 0.5);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    } else {
        const QPointF centre = option->rect.center() + QPoint(1, 1);
        const qreal radius = (option->rect.width() + (option->rect.width() + 1) % 2) / 2.0 - 1;
        painter->drawEllipse(centre, radius, radius);
    }
    painter->restore();
}

}  // namespace spurfix::ui
