#include "imageframe.h"

#include <core/fieldnumber.h>
#include <core/frame.h>

using namespace Qt::StringLiterals;

namespace zarnet {

std::variant<DotWindow, fields::Refusal>
readDotWindow(const QString& x, const QString& y, const QString& width, const QString& height) {
    const auto xStart = fields::readByte(x);
    if (!xStart)
        return fields::Refusal{fields::Field::XStart};
    const auto yStart = fields::readByte(y);
    if (!yStart)
        return fields::Refusal{fields::Field::YStart};
    const auto w = fields::readInt16(width);
    if (!w || *w / 8 < 0 || *w / 8 > 255)
        return fields::Refusal{fields::Field::Width};
    const auto rows = fields::readByte(height);
    if (!rows)
        return fields::Refusal{fields::Field::Height};
    const int bytesPerRow = *w / 8;
    if (bytesPerRow * *rows > MaxImageBytes)
        return fields::Refusal{fields::Field::ImageSize};
    return DotWindow{*xStart, *yStart, uint8_t(bytesPerRow), *rows};
}

QByteArray packDots(const std::function<int(int x, int y)>& pixel, int bytesPerRow, int rows) {
    QByteArray dots(qsizetype(bytesPerRow) * rows, '\0');
    qsizetype counter = 0;
    for (int y = 0; y < rows; ++y) {
        for (int column = 0; column < bytesPerRow; ++column) {
            uint8_t byte = 0;
            for (int k = 0; k < 8; ++k)
                if (pixel(8 * column + k, y) > 128)
                    byte |= uint8_t(0x80 >> k);
            dots[counter++] = char(byte);
        }
    }
    return dots;
}

QByteArray dotImageFrame(uint8_t device, const ScheduleBytes& schedule, const DotWindow& window,
                         const QByteArray& dots) {
    QByteArray payload;
    payload.reserve(8 + dots.size());
    for (const uint8_t byte : schedule)
        payload.append(char(byte));
    payload.append(char(window.x));
    payload.append(char(window.y));
    payload.append(char(window.bytesPerRow));
    payload.append(char(window.rows));
    payload.append(dots);
    return buildFrame(device, DotImageCode, payload);
}

} // namespace zarnet
