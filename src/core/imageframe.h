#pragma once

#include "schedule.h"

#include <core/refusal.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <variant>

// The image frame (0x41): schedule, display window, then the image packed eight
// dots to a byte.
namespace zarnet {

constexpr int MaxImageBytes = 2048;

// Where on the sign the image goes and how much of the canvas is sent.
struct DotWindow {
    uint8_t x = 0;
    uint8_t y = 0;
    uint8_t bytesPerRow = 0; // width / 8, truncated
    uint8_t rows = 0;
};

// X, Y and height whole numbers 0..255, width / 8 in 0..255, and the image at
// most 2048 bytes; the first field that breaks a limit is refused.
std::variant<DotWindow, fields::Refusal> readDotWindow(const QString& x, const QString& y,
                                                       const QString& width, const QString& height);

// The top-left bytesPerRow·8 × rows dots of a picture, row by row, the leftmost
// dot in the most significant bit. A dot is lit when its colour value
// R + 256·G + 65536·B, as `pixel` gives it, exceeds 128.
QByteArray packDots(const std::function<int(int x, int y)>& pixel, int bytesPerRow, int rows);

QByteArray dotImageFrame(uint8_t device, const ScheduleBytes& schedule, const DotWindow& window,
                         const QByteArray& dots);

} // namespace zarnet
