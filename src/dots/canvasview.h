#pragma once

#include <QWidget>

namespace zarnet {

class DotCanvas;

// Paints the canvas inside a thin sunken border; it holds no picture of its own.
class CanvasView : public QWidget {
    Q_OBJECT
public:
    explicit CanvasView(const DotCanvas& canvas, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const DotCanvas& canvas_;
};

} // namespace zarnet
