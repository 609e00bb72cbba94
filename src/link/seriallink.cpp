#include "seriallink.h"

#include <utility>

namespace zarnet {

void SerialLink::setReceiveThreshold(int threshold) {
    threshold_ = qMax(0, threshold);
}

int SerialLink::inBufferCount() const {
    return int(qMin<qsizetype>(buffer_.size() + arrivedCount(), MaxKept));
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
    if (bytes.isEmpty())
        return; // a queued read that found the port already emptied
    buffer_.append(bytes);
    keepNewest();
    if (threshold_ > 0 && buffer_.size() >= threshold_)
        raiseEvent(CommEvent::Receive);
}

void SerialLink::keepNewest() {
    if (buffer_.size() > MaxKept)
        buffer_.remove(0, buffer_.size() - MaxKept);
}

void SerialLink::raiseEvent(CommEvent kind) {
    // A handler may show a modal box, whose event loop brings more bytes; their
    // event waits for the handler to finish instead of running inside it.
    if (held_ > 0) {
        (kind == CommEvent::Receive ? receivePending_ : lineErrorPending_) = true;
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
    if (std::exchange(lineErrorPending_, false)) {
        raiseEvent(CommEvent::LineError);
        if (receivePending_ && held_ == 0) // what came meanwhile, on the next turn
            QMetaObject::invokeMethod(this, &SerialLink::deliverHeld, Qt::QueuedConnection);
        return;
    }
    receivePending_ = false;
    // The handler may have emptied the buffer: only bytes still waiting count.
    if (threshold_ > 0 && inBufferCount() >= threshold_)
        raiseEvent(CommEvent::Receive);
}

} // namespace zarnet
