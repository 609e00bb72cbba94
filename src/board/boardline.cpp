#include "boardline.h"

#include <core/faultwords.h>
#include <core/frame.h>
#include <link/keepalive.h>
#include <link/pseudoterminal.h>

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

// zarnet.board: what the virtual controller takes and answers on its line.
Q_LOGGING_CATEGORY(lcBoard, "zarnet.board", QtWarningMsg)

namespace zarnet {

namespace {

// A frame still incomplete after this long without a byte will not be completed.
constexpr int QuietMs = 200;
// 115200 baud, ten bits a byte; a paced line reads again this often.
constexpr double PacedBytesPerMs = 11.52;
constexpr int PaceTickMs = 1;
constexpr int HexShown = 48;

QString hex(const QByteArray& bytes, qsizetype size) {
    QString text = QString::fromLatin1(bytes.left(qMin<qsizetype>(HexShown, size)).toHex(' '));
    if (size > HexShown)
        text += u" … (%1 bytes)"_s.arg(size);
    return text.toUpper();
}

} // namespace

BoardLine::BoardLine(Board& board, QObject* parent) : BoardLine(QList<Board*>{&board}, parent) {}

BoardLine::BoardLine(QList<Board*> boards, QObject* parent)
    : QObject(parent), boards_(std::move(boards)) {
    quiet_.setSingleShot(true);
    quiet_.setInterval(QuietMs);
    connect(&quiet_, &QTimer::timeout, this, [this] { take(cutter_.flush()); });
    reopen_.setInterval(ReopenMs);
    connect(&reopen_, &QTimer::timeout, this, &BoardLine::reopen);
    pace_.setSingleShot(true);
    pace_.setTimerType(Qt::PreciseTimer);
    connect(&pace_, &QTimer::timeout, this, [this] {
        if (readable_)
            readable_->setEnabled(true);
        readSome();
    });
}

void BoardLine::setPaced(bool paced) {
    paced_ = paced;
    paceClock_.start();
}

bool BoardLine::setMuted(uint8_t device, bool muted) {
    if (std::none_of(boards_.begin(), boards_.end(),
                     [device](const Board* board) { return board->device() == device; })) {
        note(u"no controller %1 on this line to %2"_s.arg(device).arg(muted ? u"mute"_s
                                                                            : u"unmute"_s));
        return false;
    }
    if (muted)
        muted_.insert(device);
    else
        muted_.remove(device);
    note(u"controller %1 %2"_s.arg(device).arg(muted ? u"muted: it takes and answers nothing"_s
                                                     : u"answers again"_s));
    return true;
}

// Paced, a read takes only what the line has carried since the last one; the rest
// waits where it is (in the pseudo-terminal, the socket or the port) for the next
// tick. A quiet line carries nothing: bytes that come after a pause begin their
// time on the wire when they are first seen.
void BoardLine::readSome() {
    qsizetype most = MaxRead;
    if (paced_) {
        if (lineEmpty_) {
            lineEmpty_ = false;
            paceBudget_ = 0;
            paceClock_.start();
        }
        paceBudget_ =
            std::min(paceBudget_ + double(paceClock_.nsecsElapsed()) / 1e6 * PacedBytesPerMs,
                     PacedBytesPerMs * PaceTickMs * 8);
        paceClock_.start();
        most = qsizetype(paceBudget_);
    }
    const QByteArray bytes = most > 0 ? readFromLine(most) : QByteArray();
    if (paced_) {
        paceBudget_ -= double(bytes.size());
        if (bytes.size() < most) {
            lineEmpty_ = true;          // everything that came has been read
        } else if (!pace_.isActive()) { // more may wait
            if (readable_)
                readable_->setEnabled(false);
            pace_.start(PaceTickMs);
        }
    }
    received(bytes);
}

QByteArray BoardLine::readFromLine(qsizetype most) {
    if (pty_)
        return pty_->readAvailable(most);
    if (client_)
        return client_->read(most);
    if (port_ && port_->isOpen())
        return port_->read(most);
    return {};
}

BoardLine::~BoardLine() = default;

QString BoardLine::openPseudoTerminal() {
#ifdef Q_OS_UNIX
    pty_ = std::make_unique<PseudoTerminal>();
    if (!pty_->isValid())
        return {};
    readable_ = new QSocketNotifier(pty_->masterFd(), QSocketNotifier::Read, this);
    connect(readable_, &QSocketNotifier::activated, this, &BoardLine::readSome);
    writable_ = new QSocketNotifier(pty_->masterFd(), QSocketNotifier::Write, this);
    writable_->setEnabled(false);
    connect(writable_, &QSocketNotifier::activated, this, &BoardLine::writeQueued);
    return pty_->slavePath();
#else
    return {};
#endif
}

bool BoardLine::openDevice(const QString& path, QString* error) {
    port_ = new QSerialPort(path, this);
    port_->setBaudRate(115200);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    port_->setReadBufferSize(MaxRead);
    if (!port_->open(QIODevice::ReadWrite)) {
        if (error)
            *error = port_->errorString();
        return false;
    }
    connect(port_, &QSerialPort::readyRead, this, &BoardLine::readSome);
    connect(port_, &QSerialPort::errorOccurred, this, &BoardLine::onPortError);
    return true;
}

void BoardLine::onPortError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    if (!port_->isOpen() || reopen_.isActive() || closing_)
        return;
    closing_ = true;
    note(u"line hung up (%1); opening it again every second"_s.arg(port_->errorString()));
    // Closed once control has left QSerialPort's own notifier.
    QMetaObject::invokeMethod(
        this,
        [this] {
            closing_ = false;
            port_->close();
            port_->clearError();
            quiet_.stop();
            take(cutter_.flush()); // a frame cut off by the hang-up is logged, not lost silently
            reopen_.start();
        },
        Qt::QueuedConnection);
}

void BoardLine::reopen() {
    if (!port_->open(QIODevice::ReadWrite)) {
        port_->clearError();
        return; // quietly: the next try comes in a second
    }
    reopen_.stop();
    note(u"line is back"_s);
}

void BoardLine::received(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    take(cutter_.feed(bytes));
    if (cutter_.pending() > 0)
        quiet_.start();
    else
        quiet_.stop();
}

void BoardLine::take(const QList<FrameCutter::Piece>& pieces) {
    bool changed = false;
    for (const FrameCutter::Piece& piece : pieces) {
        if (!piece.isFrame) {
            log(u"!!"_s, piece.bytes, piece.size, u"rejected: "_s + describe(piece));
            continue;
        }
        handle(piece.bytes, changed);
    }
    if (changed)
        emit this->changed();
}

void BoardLine::handle(const QByteArray& frame, bool& changed) {
    const uint8_t device = FrameView(frame).device();
    QList<QByteArray> replies;
    int handled = 0;
    for (Board* board : boards_) {
        if (boards_.size() > 1 && device != board->device())
            continue; // another controller's frame
        if (muted_.contains(board->device())) {
            ++handled;
            log(u">>"_s, frame, frame.size(),
                describeFrame(frame, false) +
                    u" — controller %1 is muted: no answer"_s.arg(board->device()));
            continue;
        }
        ++handled;
        const Board::Outcome outcome = board->handle(frame, clock());
        log(u">>"_s, frame, frame.size(), outcome.log);
        if (!outcome.reply.isEmpty())
            replies.append(outcome.reply);
        changed = changed || outcome.changed;
    }
    if (handled == 0)
        log(u">>"_s, frame, frame.size(),
            describeFrame(frame, false) +
                u" — no controller %1 on this line, ignored"_s.arg(device));
    if (replies.size() == 1) {
        send(replies.first());
    } else if (replies.size() > 1) {
        // Two transmitters at once: the line carries neither reply whole.
        QByteArray garbled;
        qsizetype longest = 0;
        for (const QByteArray& reply : replies)
            longest = qMax(longest, reply.size());
        for (qsizetype i = 0; i < longest; ++i)
            for (const QByteArray& reply : replies)
                if (i < reply.size())
                    garbled.append(reply[i]);
        note(u"%1 controllers answer at once: their replies collide"_s.arg(replies.size()));
        send(garbled);
    }
}

QString BoardLine::listen(const QString& host, uint16_t port, QString* error) {
    const QHostAddress address(host);
    if (address.isNull()) { // a name could resolve to every interface: only numbers
        if (error)
            *error = u"give a numeric address such as 127.0.0.1 or [::1]"_s;
        return {};
    }
    server_ = new QTcpServer(this);
    if (!server_->listen(address, port)) {
        if (error)
            *error = server_->errorString();
        return {};
    }
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* client = server_->nextPendingConnection()) {
            if (client_) {
                note(u"second connection from %1 refused: one client at a time"_s.arg(
                    client->peerAddress().toString()));
                client->abort();
                client->deleteLater();
                continue;
            }
            adopt(client);
        }
    });
    const QHostAddress bound = server_->serverAddress();
    const QString shown = bound.protocol() == QAbstractSocket::IPv6Protocol
                              ? u"[%1]"_s.arg(bound.toString())
                              : bound.toString();
    return u"tcp://%1:%2"_s.arg(shown).arg(server_->serverPort());
}

void BoardLine::adopt(QTcpSocket* client) {
    client_ = client;
    client_->setReadBufferSize(MaxRead);
    // A client that vanished without closing must not keep the line for long.
    keepAlive(*client_);
    note(u"client %1 connected"_s.arg(client->peerAddress().toString()));
    connect(client_, &QTcpSocket::readyRead, this, &BoardLine::readSome);
    connect(client_, &QTcpSocket::disconnected, this, [this, client] {
        if (client_ != client)
            return;
        note(u"client disconnected"_s);
        // What a paced line had not read yet was sent before the end: it is taken.
        if (client->bytesAvailable() > 0)
            received(client->readAll());
        client_ = nullptr;
        quiet_.stop();
        take(cutter_.flush());
        client->deleteLater();
    });
}

void BoardLine::send(const QByteArray& bytes) {
    const qsizetype waiting = pty_                       ? queued_.size()
                              : client_                  ? client_->bytesToWrite()
                              : port_ && port_->isOpen() ? port_->bytesToWrite()
                                                         : -1;
    if (waiting < 0 || waiting + bytes.size() > MaxQueued) {
        log(u"xx"_s, bytes, bytes.size(),
            waiting < 0 ? u"dropped: the line is closed"_s
                        : u"dropped: nobody reads the line (%1 bytes wait)"_s.arg(waiting));
        return;
    }
    log(u"<<"_s, bytes, bytes.size(), describeFrame(bytes, true));
    if (client_) {
        client_->write(bytes);
        return;
    }
    if (!pty_) {
        port_->write(bytes);
        return;
    }
    queued_.append(bytes);
    writeQueued();
}

void BoardLine::writeQueued() {
    const qsizetype written = queued_.isEmpty() ? 0 : pty_->writeSome(queued_);
    if (written < 0) {
        log(u"xx"_s, queued_, queued_.size(), u"dropped: the line failed"_s);
        queued_.clear();
    } else {
        queued_.remove(0, written);
    }
    // Woken when the line takes more, and only then: no busy loop.
    writable_->setEnabled(!queued_.isEmpty());
}

void BoardLine::log(const QString& direction, const QByteArray& bytes, qsizetype size,
                    const QString& meaning) {
    note(u"%1 %2  %3"_s.arg(direction, hex(bytes, size), meaning));
}

void BoardLine::note(const QString& text) {
    qCDebug(lcBoard).noquote() << text;
    emit logged(clock().toString(u"yyyy-MM-dd hh:mm:ss.zzz "_s) + text);
}

} // namespace zarnet
