#pragma once

#include <ui/messages.h>

class QWidget;

namespace zarnet {

class QtMessages : public Messages {
public:
    // Boxes are centred on the window once it is shown; before that they stand alone.
    void setWindow(QWidget* window) { window_ = window; }

    void error(const QString& text) override;
    void information(const QString& text) override;

private:
    QWidget* window_ = nullptr;
};

} // namespace zarnet
