#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>

class QWidget;

namespace zarnet {

class ControllerLink;

// The fixed requests: power on and off, set the clock, test the connection,
// clear the sign. Each click sends one frame and returns.
class ControlCommands : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    ControlCommands(QWidget* form, ControllerLink& link, Clock clock);

    void powerOn();
    void powerOff();
    void setTime();
    void find();
    void clearDots();

private:
    ControllerLink& link_;
    Clock clock_;
};

} // namespace zarnet
