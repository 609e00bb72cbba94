#include "framecutter.h"

#include <core/frame.h>

using namespace Qt::StringLiterals;

namespace zarnet {

QList<FrameCutter::Piece> FrameCutter::feed(const QByteArray& bytes) {
    buffer_.append(bytes);
    QList<Piece> pieces;
    qsizetype pos = 0; // cut in place; the buffer is shortened once, at the end
    qsizetype rejectedUpTo = -1;
    // `count` bytes from pos are rejected, `examined` of them shown in the log. A
    // run of rejected bytes is one piece, named by its first reason, so a flood
    // comes back as a few pieces however its bytes fail.
    auto reject = [&](qsizetype count, qsizetype examined, const QString& reason) {
        if (rejectedUpTo == pos) {
            pieces.last().size += count;
        } else {
            pieces.append({false, buffer_.mid(pos, qMin<qsizetype>(examined, KeptOfRejected)),
                           reason, count});
        }
        pos += count;
        rejectedUpTo = pos;
    };
    while (pos < buffer_.size()) {
        const qsizetype left = buffer_.size() - pos;
        const qsizetype start = buffer_.indexOf(char(StartByte), pos);
        if (start != pos) {
            const qsizetype count = start < 0 ? left : start - pos;
            reject(count, count, u"garbage"_s);
            continue;
        }
        if (left < 3)
            break;
        const int length = uint8_t(buffer_[pos + 1]) * 256 + uint8_t(buffer_[pos + 2]);
        if (length <= FrameOverhead || length > MaxLength) {
            // Only the start byte goes: a frame may begin among the bytes after it.
            reject(1, 3, u"length %1 out of range"_s.arg(length));
            continue;
        }
        if (left < length)
            break;
        // A view, not a copy: a flood may try every byte as a start.
        const QByteArray candidate = QByteArray::fromRawData(buffer_.constData() + pos, length);
        if (uint8_t(candidate[length - 1]) != EndByte) {
            reject(1, length, u"bad end byte"_s);
            continue;
        }
        if (checkByte(candidate) != uint8_t(candidate[length - 2])) {
            reject(1, length, u"bad check byte"_s);
            continue;
        }
        pieces.append({true, buffer_.mid(pos, length), QString(), length});
        pos += length;
    }
    buffer_.remove(0, pos);
    return pieces;
}

QList<FrameCutter::Piece> FrameCutter::flush() {
    QList<Piece> pieces;
    if (!buffer_.isEmpty())
        pieces.append({false, buffer_.left(KeptOfRejected), u"truncated"_s, buffer_.size()});
    buffer_.clear();
    return pieces;
}

} // namespace zarnet
