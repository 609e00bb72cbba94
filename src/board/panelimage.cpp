#include "panelimage.h"

#include <core/board.h>
#include <core/boardschedule.h>

namespace zarnet {

QImage renderPanel(const Board& board, const QDateTime& systemNow) {
    QImage panel(board.panelSize(), QImage::Format_RGB32);
    panel.fill(Qt::black);
    if (!board.powered() || !board.image() ||
        !scheduleActive(board.image()->schedule, board.clock(systemNow)))
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

} // namespace zarnet
