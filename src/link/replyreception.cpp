#include "replyreception.h"

#include "reply.h"
#include "seriallink.h"

namespace zarnet {

ReplyReception::ReplyReception(SerialLink& serial, QObject* parent)
    : QObject(parent), serial_(serial) {
    connect(&serial_, &SerialLink::commEvent, this, &ReplyReception::onCommEvent);
}

void ReplyReception::onCommEvent(int kind) {
    if (kind == ReceiveEvent) {
        const Reply reply = parseReply(serial_.input());
        switch (reply.kind) {
        case Reply::Kind::FoundDevice:
            emit deviceFound(reply.device);
            break;
        case Reply::Kind::UnitValues:
            emit unitValues(reply.values);
            break;
        case Reply::Kind::None:
            break;
        }
    }
    serial_.clearInput();
}

} // namespace zarnet
