#include "panelimage.h"

#include <core/board.h>
#include <core/boardschedule.h>

#include <QPainter>

namespace zarnet {

namespace {

bool dark(const Board& board, const QDateTime& systemNow) {
    return !board.powered() || !board.image() ||
           !scheduleActive(board.image()->schedule, board.clock(systemNow));
}

} // namespace

QImage renderPanel(const Board& board, const QDateTime& systemNow) {
    QImage panel(board.panelSize(), QImage::Format_RGB32);
    panel.fill(Qt::black);
    if (dark(board, systemNow))
        return panel;
    const BoardImage& image = *board.image();
    const QRgb red = qRgb(255, 0, 0);
    for (int row = 0; row < image.rows; ++row) {
        for (int column = 0; column < 8 * image.bytesPerRow; ++column) {
            const uint8_t byte = uint8_t(image.dots[row * image.bytesPerRow + column / 8]);
            if (!(byte & (0x80 >> (column % 8))))
                continue;
            const int x = image.x + column;
            const int y = image.y + row;
            if (x < panel.width() && y < panel.height())
                panel.setPixel(x, y, red);
        }
    }
    return panel;
}

QByteArray panelKey(const Board& board, const QDateTime& systemNow) {
    if (dark(board, systemNow))
        return {};
    const BoardImage& image = *board.image();
    return QByteArray::number(image.x) + ',' + QByteArray::number(image.y) + ',' +
           QByteArray::number(image.bytesPerRow) + ',' + QByteArray::number(image.rows) + ':' +
           image.dots;
}

void paintLeds(QPainter& painter, const QImage& dots, int pitch) {
    painter.fillRect(QRect(0, 0, (dots.width() + 2) * pitch, (dots.height() + 2) * pitch),
                     QColor(20, 20, 20));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QColor lit(255, 40, 30);
    const QColor dark(60, 12, 10);
    for (int y = 0; y < dots.height(); ++y)
        for (int x = 0; x < dots.width(); ++x) {
            painter.setBrush(dots.pixel(x, y) == qRgb(255, 0, 0) ? lit : dark);
            painter.drawEllipse(
                QRectF(pitch + x * pitch + 0.5, pitch + y * pitch + 0.5, pitch - 1.0, pitch - 1.0));
        }
}

QImage ledPicture(const QImage& dots, int pitch) {
    QImage picture((dots.size() + QSize(2, 2)) * pitch, QImage::Format_RGB32);
    QPainter painter(&picture);
    paintLeds(painter, dots, pitch);
    return picture;
}

} // namespace zarnet
