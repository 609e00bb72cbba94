#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace zarnet {

class Board;
class BoardLine;

// The virtual sign: the panel as round LEDs, and beside it the board's clock,
// power, the units that hold values, and the log of the line.
class BoardWindow : public QWidget {
    Q_OBJECT
public:
    BoardWindow(Board& board, BoardLine& line, const QString& where, QWidget* parent = nullptr);

    void refresh();

private:
    Board& board_;
    QWidget* panel_ = nullptr;
    QLabel* status_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
};

} // namespace zarnet
