#include "seriallink.h"

#include <utility>

namespace zarnet {

void SerialLink::setReceiveThreshold(int threshold) {
    threshold_ = qMax(0, threshold);
}

int SerialLink::inBufferCount() {
    buffer_.append(takeArrived());
    keepNewest();
    return int(buffer_.size());
}

QByteArray SerialLink::peekInput() {
    buffer_.append(takeArrived());
    keepNewest();
    return buffer_;
}

void SerialLink::clearInput() {
    takeArrived();
    buffer_.clear();
}

QByteArray SerialLink::input() {
    buffer_.append(takeArrived());
    keepNewest();
    QByteArray bytes;
    bytes.swap(buffer_);
    return bytes;
}

void SerialLink::received(const QByteArray& bytes) {
    buffer_.append(bytes);
    keepNewest();
    if (threshold_ > 0 && buffer_.size() >= threshold_)
        raiseEvent(ReceiveEvent);
}

void SerialLink::keepNewest() {
    if (buffer_.size() > MaxKept)
        buffer_.remove(0, buffer_.size() - MaxKept);
}

void SerialLink::raiseEvent(int kind) {
    // A handler may show a modal box, whose event loop brings more bytes; their
    // event waits for the handler to finish instead of running inside it.
    if (held_ > 0) {
        (kind == ReceiveEvent ? receivePending_ : lineErrorPending_) = true;
        return;
    }
    EventHold hold(*this);
    emit commEvent(kind);
}

void SerialLink::releaseEvents() {
    if (--held_ > 0 || !(receivePending_ || lineErrorPending_))
        return;
    // Delivered from the event loop, once the handler that held them has returned.
    QMetaObject::invokeMethod(this, &SerialLink::deliverHeld, Qt::QueuedConnection);
}

void SerialLink::deliverHeld() {
    if (held_ > 0)
        return; // a later release queues it again
    const bool lineError = std::exchange(lineErrorPending_, false);
    receivePending_ = false;
    if (lineError)
        raiseEvent(LineErrorEvent);
    // The handler may have emptied the buffer: only bytes still waiting count.
    if (threshold_ > 0 && inBufferCount() >= threshold_)
        raiseEvent(ReceiveEvent);
}

} // namespace zarnet
