#include "statuslamp.h"

#include <QPainter>

namespace zarnet {

StatusLamp::StatusLamp(QWidget* parent) : QWidget(parent) {
    setState(State::Untried);
}

void StatusLamp::setState(State state) {
    state_ = state;
    switch (state) {
    case State::Open:
        setAccessibleName(tr("串口已打开"));
        break;
    case State::Connecting:
        setAccessibleName(tr("正在连接"));
        break;
    case State::Untried:
    case State::Closed:
        setAccessibleName(tr("串口未打开"));
        break;
    }
    update();
}

QColor StatusLamp::fillColor() const {
    switch (state_) {
    case State::Open:
        return QColor(0, 255, 0);
    case State::Connecting:
        return QColor(255, 255, 0);
    case State::Closed:
        return QColor(0, 0, 0);
    case State::Untried:
        break;
    }
    return Qt::gray;
}

void StatusLamp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setBrush(fillColor());
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace zarnet
