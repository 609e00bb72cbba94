#include "framecutter.h"

#include <core/frame.h>

namespace zarnet {

QList<FrameCutter::Piece> FrameCutter::feed(const QByteArray& bytes) {
    buffer_.append(bytes);
    QList<Piece> pieces;
    qsizetype pos = 0; // cut in place; the buffer is shortened once, at the end
    qsizetype rejectedUpTo = -1;
    // `count` bytes from pos are rejected, `examined` of them shown in the log. A
    // run of rejected bytes is one piece, named by its first reason, so a flood
    // comes back as a few pieces however its bytes fail.
    auto reject = [&](qsizetype count, qsizetype examined, Fault fault, int length = 0) {
        if (rejectedUpTo == pos) {
            pieces.last().size += count;
        } else {
            pieces.append({false, buffer_.mid(pos, qMin<qsizetype>(examined, KeptOfRejected)),
                           fault, length, count});
        }
        pos += count;
        rejectedUpTo = pos;
    };
    while (pos < buffer_.size()) {
        const qsizetype left = buffer_.size() - pos;
        const qsizetype start = buffer_.indexOf(char(StartByte), pos);
        if (start != pos) {
            const qsizetype count = start < 0 ? left : start - pos;
            reject(count, count, Fault::Garbage);
            continue;
        }
        if (left < 3)
            break;
        const int length = uint8_t(buffer_[pos + 1]) * 256 + uint8_t(buffer_[pos + 2]);
        if (length <= FrameOverhead || length > MaxLength) {
            // Only the start byte goes: a frame may begin among the bytes after it.
            reject(1, 3, Fault::LengthOutOfRange, length);
            continue;
        }
        if (left < length)
            break;
        // A view, not a copy: a flood may try every byte as a start.
        const QByteArray candidate = QByteArray::fromRawData(buffer_.constData() + pos, length);
        if (uint8_t(candidate[length - 1]) != EndByte) {
            reject(1, length, Fault::BadEnd);
            continue;
        }
        if (checkByte(candidate) != uint8_t(candidate[length - 2])) {
            reject(1, length, Fault::BadCheck);
            continue;
        }
        pieces.append({true, buffer_.mid(pos, length), Fault::None, 0, length});
        pos += length;
    }
    buffer_.remove(0, pos);
    return pieces;
}

QList<FrameCutter::Piece> FrameCutter::flush() {
    QList<Piece> pieces;
    if (!buffer_.isEmpty())
        pieces.append({false, buffer_.left(KeptOfRejected), Fault::Truncated, 0, buffer_.size()});
    buffer_.clear();
    return pieces;
}

} // namespace zarnet
