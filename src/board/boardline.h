#pragma once

#include <core/board.h>
#include <core/framecutter.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

namespace zarnet {

class PseudoTerminal;

// Puts a Board on a line: a pseudo-terminal it creates, or a serial device.
// Every frame in and out, and everything rejected or dropped, is logged. Like a
// controller's UART it never waits for the far end: replies nobody reads are
// queued up to a bound and then dropped.
class BoardLine : public QObject {
    Q_OBJECT
public:
    // What one read takes from the line, and what may wait to be sent.
    static constexpr qsizetype MaxRead = qsizetype{64} * 1024;
    static constexpr qsizetype MaxQueued = qsizetype{64} * 1024;
    static constexpr int ReopenMs = 1000;

    explicit BoardLine(Board& board, QObject* parent = nullptr);
    // Several controllers on one line (an RS-485 bus): each frame is for the ones
    // whose number it carries. Two on one number answer at once, and their
    // replies garble each other: they go out interleaved byte by byte.
    explicit BoardLine(QList<Board*> boards, QObject* parent = nullptr);
    ~BoardLine() override;

    // The path the other program opens; empty when no pseudo-terminal could be had.
    QString openPseudoTerminal();
    // A real port (the far end of a null-modem cable), at 115200 8N1. When it
    // hangs up it is closed and opened again each second until it is back.
    bool openDevice(const QString& path, QString* error);
    // Answers as a serial device server: one TCP client at a time; a second
    // connection is closed at once while the first is open. Port 0 picks a free
    // port. Gives the address to connect to, or empty with `error` set.
    QString listen(const QString& host, uint16_t port, QString* error);

    // Reads the line no faster than 115200 baud carries it, as a real controller's
    // UART does, so that the far end sees a real line's time.
    void setPaced(bool paced);
    // A muted controller neither takes nor answers anything, as if it were dead;
    // false when no controller on the line has that number.
    bool setMuted(uint8_t device, bool muted);

    std::function<QDateTime()> clock = &QDateTime::currentDateTime;

signals:
    void logged(const QString& line);
    // Something the panel or the side bar shows may have changed.
    void changed();

private:
    void readSome();
    QByteArray readFromLine(qsizetype most);
    void received(const QByteArray& bytes);
    void take(const QList<FrameCutter::Piece>& pieces);
    void handle(const QByteArray& frame, bool& changed);
    void adopt(QTcpSocket* client);
    void send(const QByteArray& bytes);
    void writeQueued();
    void onPortError(QSerialPort::SerialPortError error);
    void reopen();
    void log(const QString& direction, const QByteArray& bytes, qsizetype size,
             const QString& meaning);
    void note(const QString& text);

    QList<Board*> boards_;
    FrameCutter cutter_;
    std::unique_ptr<PseudoTerminal> pty_;
    QSocketNotifier* readable_ = nullptr;
    QSocketNotifier* writable_ = nullptr;
    QByteArray queued_; // replies the pseudo-terminal has not taken yet
    QSerialPort* port_ = nullptr;
    QTcpServer* server_ = nullptr;
    QTcpSocket* client_ = nullptr;
    QTimer quiet_;
    QTimer reopen_;
    QTimer pace_; // reads on once the line has carried what was read
    QElapsedTimer paceClock_;
    double paceBudget_ = 0; // bytes the line has carried and not read yet
    bool paced_ = false;
    bool lineEmpty_ = true; // a paced read found nothing more waiting
    QSet<uint8_t> muted_;
    bool closing_ = false; // a hang-up is being handled
};

} // namespace zarnet
