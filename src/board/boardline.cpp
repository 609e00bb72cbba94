#include "boardline.h"

#include "pseudoterminal.h"

#include <QSerialPort>
#include <QSocketNotifier>

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

// A frame still incomplete after this long without a byte will not be completed.
constexpr int QuietMs = 200;
constexpr int HexShown = 48;

QString hex(const QByteArray& bytes) {
    QString text = QString::fromLatin1(bytes.left(HexShown).toHex(' ')).toUpper();
    if (bytes.size() > HexShown)
        text += u" … (%1 bytes)"_s.arg(bytes.size());
    return text;
}

} // namespace

BoardLine::BoardLine(Board& board, QObject* parent) : QObject(parent), board_(board) {
    quiet_.setSingleShot(true);
    quiet_.setInterval(QuietMs);
    connect(&quiet_, &QTimer::timeout, this, [this] { take(cutter_.flush()); });
}

BoardLine::~BoardLine() = default;

QString BoardLine::openPseudoTerminal() {
#ifdef Q_OS_UNIX
    pty_ = std::make_unique<PseudoTerminal>();
    if (!pty_->isValid())
        return {};
    notifier_ = new QSocketNotifier(pty_->masterFd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this,
            [this] { received(pty_->readAvailable()); });
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
    if (!port_->open(QIODevice::ReadWrite)) {
        if (error)
            *error = port_->errorString();
        return false;
    }
    connect(port_, &QSerialPort::readyRead, this, [this] { received(port_->readAll()); });
    return true;
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
            log(u"!!"_s, piece.bytes, u"rejected: "_s + piece.reason);
            continue;
        }
        const Board::Outcome outcome = board_.handle(piece.bytes, clock());
        log(u">>"_s, piece.bytes, outcome.log);
        if (!outcome.reply.isEmpty()) {
            send(outcome.reply);
            log(u"<<"_s, outcome.reply, describeFrame(outcome.reply, true));
        }
        changed = changed || outcome.changed;
    }
    if (changed)
        emit this->changed();
}

void BoardLine::send(const QByteArray& bytes) {
    if (pty_)
        pty_->write(bytes);
    else if (port_)
        port_->write(bytes);
}

void BoardLine::log(const QString& direction, const QByteArray& bytes, const QString& meaning) {
    emit logged(u"%1 %2 %3  %4"_s.arg(clock().toString(u"yyyy-MM-dd hh:mm:ss.zzz"_s), direction,
                                      hex(bytes), meaning));
}

} // namespace zarnet
