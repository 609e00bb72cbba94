#include "serialporttransport.h"

#include <link/linklog.h>

#include <QTimer>
#include <cerrno>
#include <cstring>
#ifndef Q_OS_WIN
#include <poll.h>
#endif

namespace zarnet {

namespace {

constexpr int RetryWriteMs = 5;

} // namespace

SerialPortTransport::SerialPortTransport(QObject* parent) : Transport(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &Transport::readyRead);
    port_.setReadBufferSize(SerialLink::MaxKept);
    connect(&port_, &QSerialPort::bytesWritten, this, [this] {
        if (port_.bytesToWrite() == 0)
            emit allWritten();
    });
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialPortTransport::onError);
}

OpenResult SerialPortTransport::open(const QString& name) {
    port_.setPortName(name);
    port_.setBaudRate(SerialLink::BaudRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (port_.open(QIODevice::ReadWrite)) {
        qCDebug(lcPort).noquote() << "opened" << name;
        return OpenResult::Opened;
    }
    const QSerialPort::SerialPortError error = port_.error();
    qCDebug(lcPort).noquote() << "cannot open" << name << "-" << port_.errorString();
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

void SerialPortTransport::close() {
    if (port_.isOpen()) {
        port_.close();
        qCDebug(lcPort).noquote() << "closed" << port_.portName();
    }
    port_.clearError();
}

void SerialPortTransport::discardWaiting() {
    if (port_.isOpen())
        port_.clear(QSerialPort::Input);
}

// Input emptied (discardWaiting()) after the system had said bytes were there:
// the port's read finds none, and it takes that for a fault. The line itself
// has not hung up, which the system tells apart.
bool SerialPortTransport::onlyNothingToRead() const {
#ifdef Q_OS_WIN
    return false; // overlapped reads of an emptied port do not fail there
#else
    if (port_.errorString() != QString::fromLocal8Bit(strerror(EAGAIN)))
        return false;
    pollfd line{int(port_.handle()), POLLIN, 0};
    return ::poll(&line, 1, 0) >= 0 && !(line.revents & (POLLHUP | POLLERR | POLLNVAL));
#endif
}

// The port stopped reading (and writing) at the error: a read of its empty
// buffer starts it again, and what waits to go out is passed on shortly.
void SerialPortTransport::goOn() {
    qCDebug(lcPort).noquote() << port_.portName()
                              << ": nothing to read after the input was emptied";
    port_.clearError();
    char none = 0;
    port_.peek(&none, 1);
    if (port_.bytesToWrite() > 0)
        QTimer::singleShot(RetryWriteMs, &port_, [this] { port_.flush(); });
}

void SerialPortTransport::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::UnsupportedOperationError: // modem lines on a pseudo-terminal
    case QSerialPort::TimeoutError:
        return;
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        if (port_.isOpen() && onlyNothingToRead()) {
            goOn();
            return;
        }
        qCDebug(lcPort).noquote() << port_.portName() << "failed:" << port_.errorString();
        // A hung-up line keeps reporting read errors with a stale errno; the
        // port is dead and must not look alive.
        if (port_.isOpen())
            emit failed();
        return;
    default:
        if (port_.isOpen())
            emit lineFault();
        return;
    }
}

} // namespace zarnet
