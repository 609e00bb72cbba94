#include "panelrecorder.h"

#include <canvas/panelimage.h>
#include <core/board.h>

#include <QSaveFile>

namespace zarnet {

PanelRecorder::Result PanelRecorder::record(const Board& board, const QDateTime& systemNow) {
    const QImage panel = renderPanel(board, systemNow);
    if (panel == last_)
        return Result::Unchanged;
    // Readers never see half a file: the picture replaces the old one whole.
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || !panel.save(&file, "PNG") || !file.commit())
        return Result::Failed;
    last_ = panel;
    return Result::Written;
}

} // namespace zarnet
