#pragma once

#include <core/board.h>
#include <core/framecutter.h>
#include <link/pseudoterminal.h>

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <cstdint>
#include <functional>

class QSocketNotifier;

namespace zarnet::test {

// A sign controller on the far end of a pseudo-terminal. It records every byte
// and every whole frame it receives and, when answering is on, lets the virtual
// board act on each frame and sends back what the board answers.
class VirtualController : public QObject {
    Q_OBJECT
public:
    explicit VirtualController(QObject* parent = nullptr);

    QString path() const { return pty_.slavePath(); }
    // Like pulling the cable: the program's end sees the line hang up.
    void hangUp();

    void setAnswering(bool on) { answering_ = on; }
    void setDevice(uint8_t device) { board_ = Board(device); }

    QByteArray received() const { return received_; }
    QList<QByteArray> frames() const { return frames_; }
    void clearReceived();

    // Sends bytes to the program now, in one piece or in the given pieces with a
    // pause between them, or after a delay.
    void send(const QByteArray& bytes);
    void sendInPieces(const QByteArray& bytes, const QList<int>& sizes, int pauseMs);
    void sendLater(const QByteArray& bytes, int delayMs);
    // Writes `total` bytes of noise as fast as the program's end takes them,
    // never blocking, and calls `done` after the last one.
    void flood(qint64 total, std::function<void()> done);

    // A reply frame as the controller frames it: 0xEE in byte 3.
    static QByteArray reply(uint8_t code, const QByteArray& payload);
    static QByteArray findReply(uint8_t device);
    static QByteArray unitReply(uint8_t start, const QList<uint32_t>& values);

    QMap<int, uint32_t> units() const { return board_.units(); }

signals:
    void frameReceived(const QByteArray& frame);

private:
    void onReadable();

    PseudoTerminal pty_;
    QSocketNotifier* notifier_ = nullptr;
    QSocketNotifier* flooder_ = nullptr;
    QByteArray received_;
    FrameCutter cutter_;
    QList<QByteArray> frames_;
    Board board_;
    bool answering_ = false;
};

} // namespace zarnet::test
