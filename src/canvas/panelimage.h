#pragma once

#include <QDateTime>
#include <QImage>

class QPainter;

namespace zarnet {

class Board;

// What the panel shows now, one pixel per LED: red where a dot is lit, black
// elsewhere, and all black while the board is off or its schedule is not active.
QImage renderPanel(const Board& board, const QDateTime& systemNow);
// Differs whenever what renderPanel gives differs, at a fraction of its cost.
QByteArray panelKey(const Board& board, const QDateTime& systemNow);

// The panel as people see it: a round LED per dot, `pitch` pixels apart, on a
// dark frame one pitch wide.
void paintLeds(QPainter& painter, const QImage& dots, int pitch);
QImage ledPicture(const QImage& dots, int pitch);

} // namespace zarnet
