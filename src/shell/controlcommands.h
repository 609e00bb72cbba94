#pragma once

#include <ui/controlgroups.h>

#include <QDateTime>
#include <QObject>
#include <functional>

namespace zarnet {

class ControllerLink;
class Messages;

// The fixed requests: power on and off, set the clock, test the connection,
// clear the sign. Each click sends one frame and returns.
class ControlCommands : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    // "清空点阵" stands in the dot-matrix group but is one of these requests.
    ControlCommands(const ControlGroup& group, QPushButton* clearDots, ControllerLink& link,
                    Messages& messages, Clock clock, QObject* parent);

    void powerOn();
    void powerOff();
    void setTime();
    void find();
    void clearDots();

private:
    ControllerLink& link_;
    Messages& messages_;
    Clock clock_;
};

} // namespace zarnet
