#pragma once

#include "board.h"
#include "framecutter.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class QSerialPort;
class QSocketNotifier;

namespace zarnet {

class PseudoTerminal;

// Puts a Board on a line: a pseudo-terminal it creates, or a serial device.
// Every frame in and out, and everything rejected, is logged.
class BoardLine : public QObject {
    Q_OBJECT
public:
    explicit BoardLine(Board& board, QObject* parent = nullptr);
    ~BoardLine() override;

    // The path the other program opens; empty when no pseudo-terminal could be had.
    QString openPseudoTerminal();
    // A real port (the far end of a null-modem cable), at 115200 8N1.
    bool openDevice(const QString& path, QString* error);

    std::function<QDateTime()> clock = &QDateTime::currentDateTime;

signals:
    void logged(const QString& line);
    // Something the panel or the side bar shows may have changed.
    void changed();

private:
    void received(const QByteArray& bytes);
    void take(const QList<FrameCutter::Piece>& pieces);
    void send(const QByteArray& bytes);
    void log(const QString& direction, const QByteArray& bytes, const QString& meaning);

    Board& board_;
    FrameCutter cutter_;
    std::unique_ptr<PseudoTerminal> pty_;
    QSocketNotifier* notifier_ = nullptr;
    QSerialPort* port_ = nullptr;
    QTimer quiet_;
};

} // namespace zarnet
