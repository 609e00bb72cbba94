#pragma once

#include "seriallink.h"
#include "serialporttransport.h"
#include "tcptransport.h"

namespace zarnet {

// SerialLink on a serial device, or, for a tcp://HOST:PORT address, on a TCP
// connection to a serial device server: the text opened chooses the transport.
// Both behave the same above this class; everything runs on signals, nothing waits.
class QtSerialLink : public SerialLink {
    Q_OBJECT
public:
    static constexpr int ConnectTimeoutMs = TcpTransport::ConnectTimeoutMs;

    explicit QtSerialLink(QObject* parent = nullptr);
    ~QtSerialLink() override;

    OpenResult open(const QString& device) override;
    void close() override;
    bool isOpen() const override;
    QString portName() const override { return transport_ ? transport_->name() : QString(); }
    bool write(const QByteArray& bytes) override;
    qint64 pendingOutput() const override;
    void discardWaiting() override;
    // Passes what write() queued on to the system at once; allWritten() may come
    // before it returns.
    void flush();

protected:
    QByteArray takeArrived() override;
    qsizetype arrivedCount() const override;

private:
    void attach(Transport& transport);
    void onReadyRead();
    void lineFailed();
    void hangUp(int opening);
    bool readable() const { return transport_ && transport_->readable(); }

    SerialPortTransport port_;
    TcpTransport tcp_;
    Transport* transport_ = nullptr; // the one last opened
    int openings_ = 0;
    bool hangUpPending_ = false;
};

} // namespace zarnet
