#include "framecutter.h"

#include <link/frame.h>

using namespace Qt::StringLiterals;

namespace zarnet {

QList<FrameCutter::Piece> FrameCutter::feed(const QByteArray& bytes) {
    buffer_.append(bytes);
    QList<Piece> pieces;
    auto reject = [&](qsizetype count, const QString& reason) {
        pieces.append({false, buffer_.left(count), reason});
        buffer_.remove(0, count);
    };
    while (!buffer_.isEmpty()) {
        const qsizetype start = buffer_.indexOf(char(StartByte));
        if (start != 0) {
            reject(start < 0 ? buffer_.size() : start, u"garbage"_s);
            continue;
        }
        if (buffer_.size() < 3)
            break;
        const int length = uint8_t(buffer_[1]) * 256 + uint8_t(buffer_[2]);
        if (length <= FrameOverhead || length > MaxLength) {
            // Only the start byte goes: a frame may begin among the bytes after it.
            pieces.append({false, buffer_.left(3), u"length %1 out of range"_s.arg(length)});
            buffer_.remove(0, 1);
            continue;
        }
        if (buffer_.size() < length)
            break;
        const QByteArray candidate = buffer_.left(length);
        QString reason;
        if (uint8_t(candidate[length - 1]) != EndByte)
            reason = u"bad end byte"_s;
        else if (checkByte(candidate) != uint8_t(candidate[length - 2]))
            reason = u"bad check byte"_s;
        if (!reason.isEmpty()) {
            pieces.append({false, candidate, reason});
            buffer_.remove(0, 1);
            continue;
        }
        pieces.append({true, candidate, QString()});
        buffer_.remove(0, length);
    }
    return pieces;
}

QList<FrameCutter::Piece> FrameCutter::flush() {
    QList<Piece> pieces;
    if (!buffer_.isEmpty())
        pieces.append({false, buffer_, u"truncated"_s});
    buffer_.clear();
    return pieces;
}

} // namespace zarnet
