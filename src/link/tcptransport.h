#pragma once

#include "transport.h"

#include <QTimer>

class QTcpSocket;

namespace zarnet {

// A tcp://HOST:PORT connection to a serial device server, whose line settings
// are the server's business.
class TcpTransport : public Transport {
    Q_OBJECT
public:
    static constexpr int ConnectTimeoutMs = 3000;

    explicit TcpTransport(QObject* parent = nullptr);

    OpenResult open(const QString& address) override;
    void close() override;
    bool isOpen() const override;
    // A server may send its last reply and close at once: what the socket holds
    // is read whatever its state.
    bool readable() const override { return socket_ != nullptr; }
    QIODevice& device() const override;
    QString name() const override { return name_; }
    void discardWaiting() override;
    void flush() override;

private:
    void onConnected();
    void connectFailed();
    void dropSocket();

    QTcpSocket* socket_ = nullptr; // a child, while a connection is open or opening
    QTimer connectTimeout_;
    QString name_;
};

} // namespace zarnet
