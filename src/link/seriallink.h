#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace zarnet {

enum class OpenResult {
    Opened,
    NoSuchPort, // the device does not exist
    PortInUse,  // another program holds it
    Failed,     // any other refusal
    Connecting, // a network link: opened() tells the outcome later
};

// The kinds of communication event; data received is 2, as the window expects.
enum class CommEvent { Receive = 2, LineError = 1004 };

// The serial control the window talks to: one port, opened with fixed line
// settings, a receive buffer of its own and a receive threshold. A data event is
// raised once at least `threshold` bytes wait; threshold 0 raises none. Opening
// and closing change neither the threshold nor the way bytes are delivered.
class SerialLink : public QObject {
    Q_OBJECT
public:
    static constexpr int BaudRate = 115200;
    // The longest reply is 10 + 4 × 255 bytes; the buffer keeps the newest bytes
    // up to four of those, so a chattering line cannot grow it.
    static constexpr int MaxKept = 4 * (10 + 4 * 255);

    // How long `bytes` take on the line: 10 bits a byte at BaudRate, in µs, and
    // rounded up to ms.
    static constexpr qint64 wireUs(qsizetype bytes) {
        return qint64(bytes) * 10 * 1'000'000 / BaudRate;
    }
    static constexpr int wireMs(qsizetype bytes) {
        return int((bytes * 10 * 1000 + BaudRate - 1) / BaudRate);
    }

    using QObject::QObject;

    // A device, or a tcp:// address whose connection is finished by opened().
    virtual OpenResult open(const QString& device) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString portName() const = 0;
    // Hands the whole array to the line in one piece; false when the port is
    // closed or refuses it.
    virtual bool write(const QByteArray& bytes) = 0;
    // Bytes handed to write() that have not been passed on yet.
    virtual qint64 pendingOutput() const { return 0; }
    // Empties the input, also what the system holds for the port and has not
    // handed over yet: bytes left on the line before this program came.
    virtual void discardWaiting() { clearInput(); }

    void setReceiveThreshold(int threshold);
    int receiveThreshold() const { return threshold_; }
    // How many bytes wait, also those the port holds and has not announced yet;
    // asking changes nothing.
    int inBufferCount() const;
    // All waiting bytes, removed from the buffer.
    QByteArray input();
    // All waiting bytes, left in the buffer.
    QByteArray peekInput();
    void clearInput();

    // While held, events wait; they are delivered from the event loop once the
    // last hold is released. The window holds them while a handler shows a box.
    void holdEvents() { ++held_; }
    void releaseEvents();

signals:
    void commEvent(zarnet::CommEvent kind);
    // The port was closed because the line failed under it.
    void hungUp();
    // The outcome of an open that answered Connecting: Opened or Failed.
    void opened(zarnet::OpenResult result);
    // Everything handed to write() has been passed on to the system.
    void allWritten();

protected:
    // Implementations hand every received byte here.
    void received(const QByteArray& bytes);
    // Bytes the port holds but has not handed to received() yet: they are
    // announced from the event loop, after the handler that is running.
    virtual QByteArray takeArrived() { return {}; }
    virtual qsizetype arrivedCount() const { return 0; }
    void raiseEvent(CommEvent kind);

private:
    void keepNewest();
    void deliverHeld();

    QByteArray buffer_;
    int threshold_ = 0;
    int held_ = 0;
    bool receivePending_ = false;
    bool lineErrorPending_ = false;
};

// Holds the link's events for as long as it lives.
class EventHold {
public:
    explicit EventHold(SerialLink& link) : link_(link) { link_.holdEvents(); }
    ~EventHold() { link_.releaseEvents(); }
    EventHold(const EventHold&) = delete;
    EventHold& operator=(const EventHold&) = delete;

private:
    SerialLink& link_;
};

} // namespace zarnet
