#pragma once

#include "transport.h"

#include <QSerialPort>

namespace zarnet {

// A serial device at 115200 baud, no parity, 8 data bits, 1 stop bit, no flow control.
class SerialPortTransport : public Transport {
    Q_OBJECT
public:
    explicit SerialPortTransport(QObject* parent = nullptr);

    OpenResult open(const QString& name) override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    bool readable() const override { return port_.isOpen(); }
    QIODevice& device() const override { return const_cast<QSerialPort&>(port_); }
    QString name() const override { return port_.portName(); }
    void discardWaiting() override;

private:
    void onError(QSerialPort::SerialPortError error);
    bool onlyNothingToRead() const;
    void goOn();

    QSerialPort port_;
};

} // namespace zarnet
