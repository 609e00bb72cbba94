#include "qtcanvasdialogs.h"

#include <QFileDialog>
#include <QFontDialog>

namespace zarnet {

FontChoice QtCanvasDialogs::chooseFont(const FontChoice& preset) {
    QFont initial(preset.family);
    initial.setPointSizeF(preset.pointSize);
    initial.setBold(preset.bold);
    initial.setItalic(preset.italic);
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, window_);
    if (!ok)
        return preset;
    return {font.bold(), font.pointSizeF(), font.family(), font.italic()};
}

QString QtCanvasDialogs::chooseFile(const QString& initialDir, const QString& filter,
                                    const QString& lastFile) {
    return QFileDialog::getOpenFileName(window_, QString(),
                                        lastFile.isEmpty() ? initialDir : lastFile, filter);
}

} // namespace zarnet
