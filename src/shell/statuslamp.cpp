#include "statuslamp.h"

#include <QPainter>

namespace zarnet {

void StatusLamp::setFillColor(const QColor& color) {
    fill_ = color;
    update();
}

void StatusLamp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setBrush(fill_);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace zarnet
