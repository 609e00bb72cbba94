#pragma once

#include <QColor>
#include <QWidget>

namespace zarnet {

// The port status lamp: a small filled circle.
class StatusLamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)
public:
    using QWidget::QWidget;

    QColor fillColor() const { return fill_; }
    void setFillColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_ = Qt::gray; // not yet tried
};

} // namespace zarnet
