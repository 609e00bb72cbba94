#pragma once

#include <QString>

namespace zarnet {

// The four font values the font dialog is preset with and gives back.
struct FontChoice {
    bool bold = false;
    qreal pointSize = 12;
    QString family;
    bool italic = false;
};

// The canvas's modal dialogs, behind a seam that tests replace.
class CanvasDialogs {
public:
    virtual ~CanvasDialogs() = default;
    // Gives back the preset when the operator cancels.
    virtual FontChoice chooseFont(const FontChoice& preset) = 0;
    // An empty string when the operator cancels.
    virtual QString chooseFile(const QString& initialDir, const QString& filter,
                               const QString& lastFile) = 0;
};

} // namespace zarnet
