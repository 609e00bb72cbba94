#include "boardline.h"

#include <core/logging.h>
#include <link/pseudoterminal.h>

#include <QSocketNotifier>

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

// A frame still incomplete after this long without a byte will not be completed.
constexpr int QuietMs = 200;
constexpr int HexShown = 48;

QString hex(const QByteArray& bytes, qsizetype size) {
    QString text = QString::fromLatin1(bytes.left(qMin<qsizetype>(HexShown, size)).toHex(' '));
    if (size > HexShown)
        text += u" … (%1 bytes)"_s.arg(size);
    return text.toUpper();
}

} // namespace

BoardLine::BoardLine(Board& board, QObject* parent) : QObject(parent), board_(board) {
    quiet_.setSingleShot(true);
    quiet_.setInterval(QuietMs);
    connect(&quiet_, &QTimer::timeout, this, [this] { take(cutter_.flush()); });
    reopen_.setInterval(ReopenMs);
    connect(&reopen_, &QTimer::timeout, this, &BoardLine::reopen);
}

BoardLine::~BoardLine() = default;

QString BoardLine::openPseudoTerminal() {
#ifdef Q_OS_UNIX
    pty_ = std::make_unique<PseudoTerminal>();
    if (!pty_->isValid())
        return {};
    readable_ = new QSocketNotifier(pty_->masterFd(), QSocketNotifier::Read, this);
    connect(readable_, &QSocketNotifier::activated, this,
            [this] { received(pty_->readAvailable(MaxRead)); });
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
    connect(port_, &QSerialPort::readyRead, this, [this] { received(port_->readAll()); });
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
            log(u"!!"_s, piece.bytes, piece.size, u"rejected: "_s + piece.reason);
            continue;
        }
        const Board::Outcome outcome = board_.handle(piece.bytes, clock());
        log(u">>"_s, piece.bytes, piece.size, outcome.log);
        if (!outcome.reply.isEmpty())
            send(outcome.reply);
        changed = changed || outcome.changed;
    }
    if (changed)
        emit this->changed();
}

void BoardLine::send(const QByteArray& bytes) {
    const qsizetype waiting = pty_                       ? queued_.size()
                              : port_ && port_->isOpen() ? port_->bytesToWrite()
                                                         : -1;
    if (waiting < 0 || waiting + bytes.size() > MaxQueued) {
        log(u"xx"_s, bytes, bytes.size(),
            waiting < 0 ? u"dropped: the line is closed"_s
                        : u"dropped: nobody reads the line (%1 bytes wait)"_s.arg(waiting));
        return;
    }
    log(u"<<"_s, bytes, bytes.size(), describeFrame(bytes, true));
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
