#include "virtualcontroller.h"

#include <link/frame.h>

#include <QSocketNotifier>
#include <QTimer>

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
