#include "replyreception.h"

#include <core/faultwords.h>
#include <link/linklog.h>

namespace zarnet {

ReplyReception::ReplyReception(SerialLink& serial, QObject* parent)
    : QObject(parent), serial_(serial) {
    connect(&serial_, &SerialLink::commEvent, this, &ReplyReception::onCommEvent);
}

void ReplyReception::onCommEvent(CommEvent kind) {
    if (kind == CommEvent::Receive) {
        const QByteArray block = serial_.input();
        qCDebug(lcLinkBytes).noquote() << "<" << block.toHex(' ').toUpper();
        const Reply reply = parseReply(block);
        switch (reply.kind) {
        case Reply::Kind::FoundDevice:
            qCDebug(lcReply) << "connection test reply from device" << reply.device;
            emit deviceFound(reply.device);
            break;
        case Reply::Kind::UnitValues:
            qCDebug(lcReply) << "unit read reply with" << reply.values.size() << "values";
            emit unitValues(reply.values);
            break;
        case Reply::Kind::None:
            qCDebug(lcReply).noquote()
                << "dropped" << block.size() << "bytes:" << describe(reply.rejection);
            emit rejected(reply.rejection);
            break;
        }
    } else {
        qCDebug(lcReply) << "line error: the waiting bytes are dropped";
        emit rejected(Reply::Rejection::LineError);
    }
    serial_.clearInput();
}

} // namespace zarnet
