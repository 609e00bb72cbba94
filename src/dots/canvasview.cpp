#include "canvasview.h"

#include <canvas/dotcanvas.h>

#include <QPainter>

namespace zarnet {

CanvasView::CanvasView(const DotCanvas& canvas, QWidget* parent)
    : QWidget(parent), canvas_(canvas) {}

void CanvasView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Mid));
    const QPoint origin((width() - DotCanvas::Width) / 2, (height() - DotCanvas::Height) / 2);
    painter.drawImage(origin, canvas_.image());
}

} // namespace zarnet
