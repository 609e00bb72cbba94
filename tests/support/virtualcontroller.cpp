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
    pending_.clear();
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
    for (const uint32_t value : values) {
        payload.append(char(value >> 24));
        payload.append(char(value >> 16));
        payload.append(char(value >> 8));
        payload.append(char(value));
    }
    return reply(UnitReadCode, payload);
}

void VirtualController::onReadable() {
    const QByteArray bytes = pty_.readAvailable();
    received_.append(bytes);
    pending_.append(bytes);
    cutFrames();
}

void VirtualController::cutFrames() {
    for (;;) {
        const qsizetype start = pending_.indexOf(char(StartByte));
        if (start < 0) {
            pending_.clear();
            return;
        }
        pending_.remove(0, start);
        if (pending_.size() < 3)
            return;
        const int length = uint8_t(pending_[1]) * 256 + uint8_t(pending_[2]);
        if (length < FrameOverhead + 1) {
            pending_.remove(0, 1);
            continue;
        }
        if (pending_.size() < length)
            return;
        const QByteArray frame = pending_.left(length);
        if (uint8_t(frame[length - 1]) != EndByte ||
            checkByte(frame) != uint8_t(frame[length - 2])) {
            pending_.remove(0, 1);
            continue;
        }
        pending_.remove(0, length);
        frames_.append(frame);
        emit frameReceived(frame);
        if (answering_)
            act(frame);
    }
}

void VirtualController::act(const QByteArray& frame) {
    if (uint8_t(frame[3]) != device_)
        return;
    const uint8_t code = uint8_t(frame[5]);
    if (code == FindCode) {
        send(findReply(device_));
    } else if (code == UnitShowNowCode || code == UnitFixedCode) {
        const int start = uint8_t(frame[6]);
        const int count = uint8_t(frame[7]);
        for (int i = 0; i < count; ++i) {
            const int at = 8 + 4 * i;
            units_[(start + i) % 256] =
                uint32_t(uint8_t(frame[at])) << 24 | uint32_t(uint8_t(frame[at + 1])) << 16 |
                uint32_t(uint8_t(frame[at + 2])) << 8 | uint32_t(uint8_t(frame[at + 3]));
        }
    } else if (code == UnitReadCode) {
        const int start = uint8_t(frame[6]);
        QList<uint32_t> values;
        for (int i = 0; i < uint8_t(frame[7]); ++i)
            values.append(units_.value((start + i) % 256, 0));
        send(unitReply(uint8_t(start), values));
    }
}

} // namespace zarnet::test
