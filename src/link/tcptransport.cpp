#include "tcptransport.h"

#include "keepalive.h"

#include <core/faultwords.h>
#include <core/linkaddress.h>
#include <link/linklog.h>

#include <QTcpSocket>

namespace zarnet {

TcpTransport::TcpTransport(QObject* parent) : Transport(parent) {
    connectTimeout_.setSingleShot(true);
    connectTimeout_.setTimerType(Qt::PreciseTimer);
    connect(&connectTimeout_, &QTimer::timeout, this, &TcpTransport::connectFailed);
}

bool TcpTransport::isOpen() const {
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState &&
           !connectTimeout_.isActive();
}

QIODevice& TcpTransport::device() const {
    return *socket_;
}

OpenResult TcpTransport::open(const QString& address) {
    name_ = address;
    const auto parsed = parseTcpAddress(address);
    if (const auto* fault = std::get_if<AddressFault>(&parsed)) {
        qCDebug(lcPort).noquote() << "cannot open" << address << "-" << describe(*fault);
        return OpenResult::Failed;
    }
    const TcpAddress& tcp = std::get<TcpAddress>(parsed);
    socket_ = new QTcpSocket(this);
    socket_->setReadBufferSize(SerialLink::MaxKept);
    connect(socket_, &QTcpSocket::readyRead, this, &Transport::readyRead);
    connect(socket_, &QTcpSocket::bytesWritten, this, [this] {
        if (socket_ && socket_->bytesToWrite() == 0)
            emit allWritten();
    });
    connect(socket_, &QTcpSocket::connected, this, &TcpTransport::onConnected);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (connectTimeout_.isActive())
            connectFailed();
        else
            emit failed(); // the far end closed or reset the connection: a hang-up
    });
    connect(socket_, &QTcpSocket::disconnected, this, &Transport::failed);
    connectTimeout_.start(ConnectTimeoutMs);
    qCDebug(lcPort).noquote() << "connecting to" << address;
    // From the event loop: a connection refused on the spot must not be told
    // before the caller has heard "Connecting" and listens for the outcome.
    QMetaObject::invokeMethod(
        socket_, [socket = socket_, tcp] { socket->connectToHost(tcp.host, tcp.port); },
        Qt::QueuedConnection);
    return OpenResult::Connecting;
}

void TcpTransport::onConnected() {
    connectTimeout_.stop();
    keepAlive(*socket_);
    // Each write is a whole frame: it goes out at once, not when the server has
    // acknowledged the one before (up to 40 ms later on a quiet line).
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    qCDebug(lcPort).noquote() << "connected to" << name_;
    emit opened(OpenResult::Opened);
}

void TcpTransport::connectFailed() {
    if (!socket_)
        return;
    qCDebug(lcPort).noquote() << "cannot connect to" << name_ << "-"
                              << (connectTimeout_.isActive() ? socket_->errorString()
                                                             : QStringLiteral("no answer in 3 s"));
    connectTimeout_.stop();
    dropSocket();
    emit opened(OpenResult::Failed);
}

void TcpTransport::dropSocket() {
    // Not destroyed here: this may run inside the socket's own signal.
    socket_->disconnect(this);
    socket_->abort();
    socket_->deleteLater();
    socket_ = nullptr;
}

void TcpTransport::close() {
    connectTimeout_.stop();
    if (socket_) {
        dropSocket();
        qCDebug(lcPort).noquote() << "closed" << name_;
    }
}

void TcpTransport::flush() {
    if (socket_)
        socket_->flush();
}

void TcpTransport::discardWaiting() {
    if (socket_)
        socket_->readAll();
}

} // namespace zarnet
