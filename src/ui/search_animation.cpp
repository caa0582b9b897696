#include "ui/search_animation.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace spurfix::ui {

SearchAnimation::SearchAnimation(QWidget* parent) : QWidget(parent) {
    timer_.setInterval(60);
    connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % kFrameCount;
        update();
    });
}

void SearchAnimation::play() {
    if (!timer_.isActive()) {
        frame_ = 0;
        timer_.start();
        update();
    }
}

void SearchAnimation::stop() {
    timer_.stop();
    frame_ = kStopFrame;
    update();
}

void SearchAnimation::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = width();
    const qreal h = height();

    // The folder.
    const QRectF body(w * 0.08, h * 0.30, w * 0.62, h * 0.55);
    QPainterPath folder;
    folder.moveTo(body.left(), body.top());
    folder.lineTo(body.left() + body.width() * 0.35, body.top());
    folder.lineTo(body.left() + body.width() * 0.45, body.top() + h * 0.08);
    folder.lineTo(body.right(), body.top() + h * 0.08);
    folder.lineTo(body.right(), body.bottom());
    folder.lineTo(body.left(), body.bottom());
    folder.closeSubpath();
    painter.setPen(QPen(QColor(120, 90, 20), 1.2));
    painter.setBrush(QColor(240, 200, 80));
    painter.drawPath(folder);

    // The magnifier circles over it, one turn per cycle of frames.
    const qreal angle = 2 * std::numbers::pi * frame_ / kFrameCount;
    const QPointF centre(body.center().x() + std::cos(angle) * w * 0.16,
                         body.center().y() + std::sin(angle) * h * 0.14);
    const qreal radius = std::min(w, h) * 0.16;
    painter.setPen(QPen(QColor(60, 60, 60), 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre + QPointF(radius * 0.7, radius * 0.7),
                     centre + QPointF(radius * 1.7, radius * 1.7));
    painter.setPen(QPen(QColor(60, 60, 60), 2));
    painter.setBrush(QColor(200, 230, 255, 180));
    painter.drawEllipse(centre, radius, radius);
}

}  // namespace spurfix::ui
