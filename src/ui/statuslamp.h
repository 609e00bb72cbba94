#pragma once

#include <QColor>
#include <QWidget>

namespace zarnet {

// The port status lamp: a small filled circle, named for screen readers by what
// it means.
class StatusLamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor)
public:
    // Grey before the first try, green open, yellow while a serial device server
    // is being reached, black after a failure or a hang-up.
    enum class State { Untried, Open, Connecting, Closed };

    explicit StatusLamp(QWidget* parent = nullptr);

    State state() const { return state_; }
    void setState(State state);
    QColor fillColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    State state_ = State::Untried;
};

} // namespace zarnet
