#pragma once

#include "seriallink.h"

#include <QSerialPort>

namespace zarnet {

// SerialLink on QSerialPort: 115200 baud, no parity, 8 data bits, 1 stop bit,
// no flow control; everything runs on signals, nothing waits.
class QtSerialLink : public SerialLink {
    Q_OBJECT
public:
    explicit QtSerialLink(QObject* parent = nullptr);

    OpenResult open(const QString& device) override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    QString portName() const override { return port_.portName(); }
    bool write(const QByteArray& bytes) override;
    // Bytes handed to write() that the port has not passed on yet.
    qint64 pendingOutput() const { return port_.isOpen() ? port_.bytesToWrite() : 0; }
    // Empties the input, also what the system holds for the port and has not
    // handed over yet: bytes left on the line before this program came.
    void discardWaiting();

signals:
    // Everything handed to write() has been passed on to the system.
    void allWritten();

protected:
    QByteArray takeArrived() override;
    qsizetype arrivedCount() const override { return port_.isOpen() ? port_.bytesAvailable() : 0; }

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void hangUp(int opening);

    QSerialPort port_;
    int openings_ = 0;
    bool hangUpPending_ = false;
};

} // namespace zarnet
