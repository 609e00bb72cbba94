#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>

namespace zarnet {

class Board;

// Writes the panel as a PNG, one pixel per LED, each time what it shows changes.
class PanelRecorder {
public:
    explicit PanelRecorder(QString path) : path_(std::move(path)) {}

    enum class Result { Unchanged, Written, Failed };
    // Writes the panel when it differs from the last picture written.
    Result record(const Board& board, const QDateTime& systemNow);

private:
    QString path_;
    QImage last_;
};

} // namespace zarnet
