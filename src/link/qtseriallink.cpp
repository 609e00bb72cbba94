#include "qtseriallink.h"

#include <core/logging.h>

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
}

OpenResult QtSerialLink::open(const QString& device) {
    close();
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

void QtSerialLink::close() {
    if (port_.isOpen()) {
        port_.close();
        qCDebug(lcPort).noquote() << "closed" << port_.portName();
    }
    port_.clearError();
    clearInput();
}

bool QtSerialLink::write(const QByteArray& bytes) {
    if (!port_.isOpen())
        return false;
    // QSerialPort queues the whole array and writes it as the line takes it.
    return port_.write(bytes) == bytes.size();
}

void QtSerialLink::discardWaiting() {
    if (port_.isOpen())
        port_.clear(QSerialPort::Input);
    clearInput();
}

void QtSerialLink::onReadyRead() {
    if (port_.isOpen())
        received(port_.readAll());
}

QByteArray QtSerialLink::takeArrived() {
    return port_.isOpen() ? port_.readAll() : QByteArray();
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
    // The port may have been closed and opened again since the error.
    if (opening != openings_ || !port_.isOpen())
        return;
    qCInfo(lcPort).noquote() << "the line hung up:" << port_.portName();
    close();
    emit hungUp();
}

} // namespace zarnet
