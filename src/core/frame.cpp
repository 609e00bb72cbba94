#include "frame.h"

namespace zarnet {

uint8_t checkByte(const QByteArray& frame) {
    uint8_t check = 0;
    for (qsizetype i = 1; i <= frame.size() - 3; ++i)
        check ^= uint8_t(frame[i]);
    return check;
}

QByteArray buildFrame(uint8_t device, uint8_t code, const QByteArray& payload) {
    const qsizetype length = payload.size() + FrameOverhead;
    if (length > MaxFrameLength)
        return {};
    QByteArray frame(length, '\0');
    frame[0] = char(StartByte);
    frame[1] = char(length / 256);
    frame[2] = char(length % 256);
    frame[3] = char(device);
    frame[4] = char(Marker);
    frame[5] = char(code);
    frame.replace(6, payload.size(), payload);
    frame[length - 2] = char(checkByte(frame));
    frame[length - 1] = char(EndByte);
    return frame;
}

void appendValue(QByteArray& bytes, uint32_t value) {
    bytes.append(char(value >> 24));
    bytes.append(char(value >> 16));
    bytes.append(char(value >> 8));
    bytes.append(char(value));
}

uint32_t valueAt(const QByteArray& bytes, qsizetype first) {
    return uint32_t(uint8_t(bytes[first])) << 24 | uint32_t(uint8_t(bytes[first + 1])) << 16 |
           uint32_t(uint8_t(bytes[first + 2])) << 8 | uint32_t(uint8_t(bytes[first + 3]));
}

QByteArray buildReply(uint8_t device, uint8_t code, const QByteArray& payload) {
    const qsizetype length = payload.size() + FrameOverhead;
    if (length > MaxFrameLength)
        return {};
    QByteArray reply;
    reply.reserve(length);
    reply.append(char(StartByte));
    reply.append(char(length / 256));
    reply.append(char(length % 256));
    reply.append(char(Marker));
    reply.append(char(device));
    reply.append(char(code));
    reply.append(payload);
    reply.append('\0'); // the check byte, over everything before it
    reply.append(char(EndByte));
    reply[length - 2] = char(checkByte(reply));
    return reply;
}

} // namespace zarnet
