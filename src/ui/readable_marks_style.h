#pragma once

#include <QProxyStyle>

namespace spurfix::ui {

// Fusion, with the outlines of check boxes and radio buttons drawn between the
// palette's text and window colours: Fusion draws them as a shade of the window colour,
// which is hard to see in a light palette and nearly invisible in a dark one.
class ReadableMarksStyle : public QProxyStyle {
  public:
    ReadableMarksStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
};

}  // namespace spurfix::ui
