#include "controllerlink.h"

#include "messages.h"

namespace zarnet {

bool ControllerLink::send(const QByteArray& frame) {
    if (!serial_.isOpen()) {
        messages_.error(text::PortClosed);
        return false;
    }
    if (frame.isEmpty() || !serial_.write(frame)) {
        messages_.error(text::SendFailed);
        return false;
    }
    return true;
}

bool ControllerLink::sendExpectingReply(const QByteArray& frame, int replyLength) {
    if (!send(frame))
        return false;
    serial_.setReceiveThreshold(replyLength);
    return true;
}

} // namespace zarnet
