#include "serialporttransport.h"

#include <core/logging.h>

namespace zarnet {

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

void SerialPortTransport::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::UnsupportedOperationError: // modem lines on a pseudo-terminal
    case QSerialPort::TimeoutError:
        return;
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
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
