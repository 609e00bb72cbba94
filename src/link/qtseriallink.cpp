#include "qtseriallink.h"

#include <core/linkaddress.h>
#include <core/logging.h>
#include <link/keepalive.h>

#include <QTcpSocket>

namespace zarnet {

QtSerialLink::QtSerialLink(QObject* parent) : SerialLink(parent) {
    // Queued, so that a handler raised from here runs outside QSerialPort's own
    // readyRead: QSerialPort does not announce data again until that returns, and
    // would keep every byte of a chattering line meanwhile.
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialLink::onReadyRead,
            Qt::QueuedConnection);
    port_.setReadBufferSize(MaxKept);
    connect(&port_, &QSerialPort::bytesWritten, this, [this] {
        if (port_.bytesToWrite() == 0)
            emit allWritten();
    });
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialLink::onError);
    connectTimeout_.setSingleShot(true);
    connectTimeout_.setTimerType(Qt::PreciseTimer);
    connect(&connectTimeout_, &QTimer::timeout, this, &QtSerialLink::connectFailed);
}

QtSerialLink::~QtSerialLink() {
    close();
}

QIODevice* QtSerialLink::device() const {
    if (socket_)
        return socket_;
    return const_cast<QSerialPort*>(&port_);
}

bool QtSerialLink::isOpen() const {
    if (socket_)
        return socket_->state() == QAbstractSocket::ConnectedState && !connectTimeout_.isActive();
    return port_.isOpen();
}

OpenResult QtSerialLink::open(const QString& device) {
    close();
    name_ = device;
    if (isNetworkAddress(device))
        return openTcp(device);
    port_.setPortName(device);
    port_.setBaudRate(BaudRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    ++openings_;
    hangUpPending_ = false;
    if (port_.open(QIODevice::ReadWrite)) {
        qCDebug(lcPort).noquote() << "opened" << device;
        return OpenResult::Opened;
    }
    const QSerialPort::SerialPortError error = port_.error();
    qCDebug(lcPort).noquote() << "cannot open" << device << "-" << port_.errorString();
    port_.clearError();
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenResult::NoSuchPort;
    case QSerialPort::PermissionError: // the lock file, or EBUSY from an exclusive tty
        return OpenResult::PortInUse;
    default:
        return OpenResult::Failed;
    }
}

OpenResult QtSerialLink::openTcp(const QString& address) {
    const auto parsed = parseTcpAddress(address);
    if (const auto* fault = std::get_if<AddressFault>(&parsed)) {
        qCDebug(lcPort).noquote() << "cannot open" << address << "-" << describe(*fault);
        return OpenResult::Failed;
    }
    const TcpAddress& tcp = std::get<TcpAddress>(parsed);
    ++openings_;
    hangUpPending_ = false;
    socket_ = new QTcpSocket(this);
    socket_->setReadBufferSize(MaxKept);
    connect(socket_, &QTcpSocket::readyRead, this, &QtSerialLink::onReadyRead,
            Qt::QueuedConnection);
    connect(socket_, &QTcpSocket::bytesWritten, this, [this] {
        if (socket_ && socket_->bytesToWrite() == 0)
            emit allWritten();
    });
    connect(socket_, &QTcpSocket::connected, this, &QtSerialLink::onConnected);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (connectTimeout_.isActive())
            connectFailed();
        else
            lineFailed();
    });
    connect(socket_, &QTcpSocket::disconnected, this, &QtSerialLink::lineFailed);
    connectTimeout_.start(ConnectTimeoutMs);
    qCDebug(lcPort).noquote() << "connecting to" << address;
    // From the event loop: a connection refused on the spot must not be told
    // before the caller has heard "Connecting" and listens for the outcome.
    QMetaObject::invokeMethod(
        socket_, [socket = socket_, tcp] { socket->connectToHost(tcp.host, tcp.port); },
        Qt::QueuedConnection);
    return OpenResult::Connecting;
}

void QtSerialLink::onConnected() {
    connectTimeout_.stop();
    keepAlive(*socket_);
    // Each write is a whole frame: it goes out at once, not when the server has
    // acknowledged the one before (up to 40 ms later on a quiet line).
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    qCDebug(lcPort).noquote() << "connected to" << name_;
    emit opened(OpenResult::Opened);
}

void QtSerialLink::connectFailed() {
    if (!socket_)
        return;
    qCDebug(lcPort).noquote() << "cannot connect to" << name_ << "-"
                              << (connectTimeout_.isActive() ? socket_->errorString()
                                                             : QStringLiteral("no answer in 3 s"));
    connectTimeout_.stop();
    dropSocket();
    emit opened(OpenResult::Failed);
}

void QtSerialLink::dropSocket() {
    // Not destroyed here: this may run inside the socket's own signal.
    socket_->disconnect(this);
    socket_->abort();
    socket_->deleteLater();
    socket_ = nullptr;
}

void QtSerialLink::lineFailed() {
    // The far end closed or reset the connection: a hang-up, as on a serial line.
    if (!socket_ || hangUpPending_)
        return;
    hangUpPending_ = true;
    QMetaObject::invokeMethod(
        this, [this, opening = openings_] { hangUp(opening); }, Qt::QueuedConnection);
}

void QtSerialLink::close() {
    connectTimeout_.stop();
    if (socket_) {
        dropSocket();
        qCDebug(lcPort).noquote() << "closed" << name_;
    }
    if (port_.isOpen()) {
        port_.close();
        qCDebug(lcPort).noquote() << "closed" << port_.portName();
    }
    port_.clearError();
    clearInput();
}

bool QtSerialLink::write(const QByteArray& bytes) {
    if (!isOpen())
        return false;
    // The port or socket queues the whole array and writes it as the line takes it.
    return device()->write(bytes) == bytes.size();
}

qint64 QtSerialLink::pendingOutput() const {
    return isOpen() ? device()->bytesToWrite() : 0;
}

void QtSerialLink::discardWaiting() {
    if (socket_)
        socket_->readAll();
    else if (port_.isOpen())
        port_.clear(QSerialPort::Input);
    clearInput();
}

// A server may send its last reply and close at once: what the socket holds is
// read whatever its state.
bool QtSerialLink::readable() const {
    return socket_ || port_.isOpen();
}

void QtSerialLink::onReadyRead() {
    if (readable())
        received(device()->readAll());
}

QByteArray QtSerialLink::takeArrived() {
    return readable() ? device()->readAll() : QByteArray();
}

qsizetype QtSerialLink::arrivedCount() const {
    return readable() ? device()->bytesAvailable() : 0;
}

void QtSerialLink::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::UnsupportedOperationError: // modem lines on a pseudo-terminal
    case QSerialPort::TimeoutError:
        return;
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        // A hung-up line keeps reporting read errors with a stale errno; the
        // port is dead and must not look alive. Close it once control has left
        // QSerialPort's own notifier.
        if (port_.isOpen() && !hangUpPending_) {
            hangUpPending_ = true;
            QMetaObject::invokeMethod(
                this, [this, opening = openings_] { hangUp(opening); }, Qt::QueuedConnection);
        }
        return;
    default:
        if (port_.isOpen())
            raiseEvent(CommEvent::LineError);
        return;
    }
}

void QtSerialLink::hangUp(int opening) {
    hangUpPending_ = false;
    // The link may have been closed and opened again since the error.
    if (opening != openings_ || (!port_.isOpen() && !socket_))
        return;
    qCInfo(lcPort).noquote() << "the line hung up:" << name_;
    close();
    emit hungUp();
}

} // namespace zarnet
