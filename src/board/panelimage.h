#pragma once

#include <QDateTime>
#include <QImage>

namespace zarnet {

class Board;

// What the panel shows now, one pixel per LED: red where a dot is lit, black
// elsewhere, and all black while the board is off or its schedule is not active.
QImage renderPanel(const Board& board, const QDateTime& systemNow);

} // namespace zarnet
