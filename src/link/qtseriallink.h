#pragma once

#include "seriallink.h"

#include <QSerialPort>
#include <QTimer>

class QTcpSocket;

namespace zarnet {

// SerialLink on QSerialPort (115200 baud, no parity, 8 data bits, 1 stop bit, no
// flow control), or, for a tcp://HOST:PORT address, on a TCP connection to a serial
// device server, whose line settings are the server's business. Both behave the
// same above this class; everything runs on signals, nothing waits.
class QtSerialLink : public SerialLink {
    Q_OBJECT
public:
    static constexpr int ConnectTimeoutMs = 3000;

    explicit QtSerialLink(QObject* parent = nullptr);
    ~QtSerialLink() override;

    OpenResult open(const QString& device) override;
    void close() override;
    bool isOpen() const override;
    QString portName() const override { return socket_ ? name_ : port_.portName(); }
    bool write(const QByteArray& bytes) override;
    // Bytes handed to write() that have not been passed on yet.
    qint64 pendingOutput() const;
    // Empties the input, also what the system holds for the port and has not
    // handed over yet: bytes left on the line before this program came.
    void discardWaiting();

signals:
    // Everything handed to write() has been passed on to the system.
    void allWritten();

protected:
    QByteArray takeArrived() override;
    qsizetype arrivedCount() const override;

private:
    OpenResult openTcp(const QString& address);
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void onConnected();
    void connectFailed();
    void lineFailed();
    void hangUp(int opening);
    void dropSocket();
    QIODevice* device() const;
    bool readable() const;

    QSerialPort port_;
    QTcpSocket* socket_ = nullptr; // a child, while a network link is open or opening
    QTimer connectTimeout_;
    QString name_;
    int openings_ = 0;
    bool hangUpPending_ = false;
};

} // namespace zarnet
