#pragma once

#include <dots/dialogs.h>

class QWidget;

namespace zarnet {

class QtCanvasDialogs : public CanvasDialogs {
public:
    void setWindow(QWidget* window) { window_ = window; }

    FontChoice chooseFont(const FontChoice& preset) override;
    QString chooseFile(const QString& initialDir, const QString& filter,
                       const QString& lastFile) override;

private:
    QWidget* window_ = nullptr;
};

} // namespace zarnet
