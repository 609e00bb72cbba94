#include "virtualcontroller.h"

#include <core/frame.h>

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <memory>
#include <unistd.h>

namespace zarnet::test {

VirtualController::VirtualController(QObject* parent) : QObject(parent) {
    notifier_ = new QSocketNotifier(pty_.masterFd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &VirtualController::onReadable);
}

void VirtualController::hangUp() {
    notifier_->setEnabled(false);
    pty_.hangUp();
}

void VirtualController::clearReceived() {
    received_.clear();
    cutter_ = FrameCutter();
    frames_.clear();
}

void VirtualController::send(const QByteArray& bytes) {
    pty_.write(bytes);
}

void VirtualController::sendInPieces(const QByteArray& bytes, const QList<int>& sizes,
                                     int pauseMs) {
    int offset = 0;
    int delay = 0;
    for (const int size : sizes) {
        const QByteArray piece = bytes.mid(offset, size);
        offset += size;
        QTimer::singleShot(delay, this, [this, piece] { send(piece); });
        delay += pauseMs;
    }
}

void VirtualController::sendLater(const QByteArray& bytes, int delayMs) {
    QTimer::singleShot(delayMs, this, [this, bytes] { send(bytes); });
}

void VirtualController::flood(qint64 total, std::function<void()> done) {
    static const QByteArray noise = [] {
        QByteArray bytes(64 * 1024, '\0');
        quint32 x = 2463534242u; // xorshift: the same noise every run
        for (char& byte : bytes) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            byte = char(x);
        }
        return bytes;
    }();
    delete flooder_;
    flooder_ = new QSocketNotifier(pty_.masterFd(), QSocketNotifier::Write, this);
    auto left = std::make_shared<qint64>(total);
    connect(flooder_, &QSocketNotifier::activated, this, [this, left, done] {
        const auto n =
            ::write(pty_.masterFd(), noise.constData(), size_t(qMin<qint64>(*left, noise.size())));
        if (n > 0)
            *left -= n;
        if (*left > 0 && (n > 0 || errno == EAGAIN))
            return;
        flooder_->deleteLater();
        flooder_ = nullptr;
        done();
    });
}

QByteArray VirtualController::reply(uint8_t code, const QByteArray& payload) {
    return buildReply(0, code, payload);
}

QByteArray VirtualController::findReply(uint8_t device) {
    return reply(FindCode, QByteArray(1, char(device)));
}

QByteArray VirtualController::unitReply(uint8_t start, const QList<uint32_t>& values) {
    QByteArray payload;
    payload.append(char(start));
    payload.append(char(values.size()));
    for (const uint32_t value : values)
        appendValue(payload, value);
    return reply(UnitReadCode, payload);
}

void VirtualController::onReadable() {
    const QByteArray bytes = pty_.readAvailable();
    received_.append(bytes);
    for (const FrameCutter::Piece& piece : cutter_.feed(bytes)) {
        if (!piece.isFrame)
            continue;
        frames_.append(piece.bytes);
        emit frameReceived(piece.bytes);
        if (!answering_)
            continue;
        const QByteArray reply = board_.handle(piece.bytes, QDateTime::currentDateTime()).reply;
        if (!reply.isEmpty())
            send(reply);
    }
}

} // namespace zarnet::test
