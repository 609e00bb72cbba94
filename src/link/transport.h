#pragma once

#include "seriallink.h"

#include <QObject>
#include <QString>

class QIODevice;

namespace zarnet {

// One way to a line beneath a link: the system's serial port, or a TCP connection
// to a serial device server. The link above keeps the bytes and raises the
// events; a transport moves bytes and says when the line failed under it.
class Transport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Connecting: opened() tells the outcome later.
    virtual OpenResult open(const QString& name) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // What it holds may be read, also after the far end has closed.
    virtual bool readable() const = 0;
    // Only while readable().
    virtual QIODevice& device() const = 0;
    virtual QString name() const = 0;
    // Drops what the system holds for the line and has not handed over yet.
    virtual void discardWaiting() = 0;
    // Passes what was written on to the system now, not on the event loop's next
    // turn; allWritten() may come before it returns. A serial port writes only
    // when the system says it can take bytes: written blind, a full buffer would
    // be a write error.
    virtual void flush() {}

signals:
    void readyRead();
    // Everything written has been passed on to the system.
    void allWritten();
    void opened(zarnet::OpenResult result);
    // The line failed under it (hung up, reset, read errors): it must be closed.
    void failed();
    // A fault on the line that leaves it open, such as a framing error.
    void lineFault();
};

} // namespace zarnet
