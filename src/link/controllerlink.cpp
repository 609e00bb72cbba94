#include "controllerlink.h"

#include <link/linklog.h>

namespace zarnet {

SendResult ControllerLink::send(const QByteArray& frame) {
    if (!serial_.isOpen()) {
        qCDebug(lcLink) << "not sent, the port is closed";
        return SendResult::PortClosed;
    }
    if (!serial_.write(frame)) {
        qCDebug(lcLink) << "not sent, the port refused the frame";
        return SendResult::WriteFailed;
    }
    qCDebug(lcLinkBytes).noquote() << ">" << frame.toHex(' ').toUpper();
    return SendResult::Sent;
}

SendResult ControllerLink::sendExpectingReply(const QByteArray& frame, int replyLength) {
    const SendResult result = send(frame);
    if (result == SendResult::Sent)
        serial_.setReceiveThreshold(replyLength);
    return result;
}

} // namespace zarnet
