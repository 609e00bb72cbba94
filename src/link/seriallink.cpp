#include "seriallink.h"

namespace zarnet {

void SerialLink::setReceiveThreshold(int threshold) {
    threshold_ = qMax(0, threshold);
}

int SerialLink::inBufferCount() {
    buffer_.append(takeArrived());
    return int(buffer_.size());
}

QByteArray SerialLink::peekInput() {
    buffer_.append(takeArrived());
    return buffer_;
}

void SerialLink::clearInput() {
    takeArrived();
    buffer_.clear();
}

QByteArray SerialLink::input() {
    buffer_.append(takeArrived());
    QByteArray bytes;
    bytes.swap(buffer_);
    return bytes;
}

void SerialLink::received(const QByteArray& bytes) {
    buffer_.append(bytes);
    if (threshold_ > 0 && buffer_.size() >= threshold_)
        raiseEvent(ReceiveEvent);
}

void SerialLink::raiseEvent(int kind) {
    // A handler may show a modal box, whose event loop brings more bytes; those
    // wait for the handler to finish instead of starting a second one inside it.
    if (inEvent_)
        return;
    inEvent_ = true;
    emit commEvent(kind);
    inEvent_ = false;
}

} // namespace zarnet
