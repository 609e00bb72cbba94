#pragma once

#include "seriallink.h"

#include <core/reply.h>

#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>

namespace zarnet {

// Takes every communication event of the link: the waiting bytes are examined
// as one reply and then the receive buffer is emptied, whatever they held.
// Nothing is kept from one event to the next.
class ReplyReception : public QObject {
    Q_OBJECT
public:
    explicit ReplyReception(SerialLink& serial, QObject* parent = nullptr);

signals:
    // Connected directly: the buffer is emptied only after the receivers return,
    // so bytes that arrive while a message box is open are dropped too.
    void deviceFound(int device);
    void unitValues(const QList<uint32_t>& values);
    // The event held no reply the program knows, and why.
    void rejected(zarnet::Reply::Rejection why);

private:
    void onCommEvent(CommEvent kind);

    SerialLink& serial_;
};

} // namespace zarnet
