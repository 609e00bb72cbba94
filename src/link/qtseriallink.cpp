#include "qtseriallink.h"

#include <core/linkaddress.h>
#include <link/linklog.h>

#include <QIODevice>

namespace zarnet {

QtSerialLink::QtSerialLink(QObject* parent) : SerialLink(parent) {
    attach(port_);
    attach(tcp_);
}

QtSerialLink::~QtSerialLink() {
    close();
}

// Bytes are taken from the event loop, so that a handler raised from here runs
// outside the port's own readyRead: QSerialPort does not announce data again
// until that returns, and would keep every byte of a chattering line meanwhile.
void QtSerialLink::attach(Transport& transport) {
    connect(&transport, &Transport::readyRead, this, &QtSerialLink::onReadyRead,
            Qt::QueuedConnection);
    connect(&transport, &Transport::allWritten, this, &SerialLink::allWritten);
    connect(&transport, &Transport::opened, this, &SerialLink::opened);
    connect(&transport, &Transport::failed, this, &QtSerialLink::lineFailed);
    connect(&transport, &Transport::lineFault, this, [this] { raiseEvent(CommEvent::LineError); });
}

bool QtSerialLink::isOpen() const {
    return transport_ && transport_->isOpen();
}

OpenResult QtSerialLink::open(const QString& device) {
    close();
    transport_ = isNetworkAddress(device) ? static_cast<Transport*>(&tcp_) : &port_;
    ++openings_;
    hangUpPending_ = false;
    return transport_->open(device);
}

void QtSerialLink::close() {
    if (transport_)
        transport_->close();
    clearInput();
}

bool QtSerialLink::write(const QByteArray& bytes) {
    if (!isOpen())
        return false;
    // The port or socket queues the whole array and writes it as the line takes it.
    return transport_->device().write(bytes) == bytes.size();
}

void QtSerialLink::flush() {
    if (isOpen())
        transport_->flush();
}

qint64 QtSerialLink::pendingOutput() const {
    return isOpen() ? transport_->device().bytesToWrite() : 0;
}

void QtSerialLink::discardWaiting() {
    if (transport_)
        transport_->discardWaiting();
    clearInput();
}

void QtSerialLink::onReadyRead() {
    if (readable())
        received(transport_->device().readAll());
}

QByteArray QtSerialLink::takeArrived() {
    return readable() ? transport_->device().readAll() : QByteArray();
}

qsizetype QtSerialLink::arrivedCount() const {
    return readable() ? transport_->device().bytesAvailable() : 0;
}

// Closed once control has left the transport's own signal.
void QtSerialLink::lineFailed() {
    if (!readable() || hangUpPending_)
        return;
    hangUpPending_ = true;
    QMetaObject::invokeMethod(
        this, [this, opening = openings_] { hangUp(opening); }, Qt::QueuedConnection);
}

void QtSerialLink::hangUp(int opening) {
    hangUpPending_ = false;
    // The link may have been closed and opened again since the failure.
    if (opening != openings_ || !readable())
        return;
    qCInfo(lcPort).noquote() << "the line hung up:" << portName();
    close();
    emit hungUp();
}

} // namespace zarnet
