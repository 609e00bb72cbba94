#include "replycheck.h"

#include <core/faultwords.h>
#include <core/frame.h>
#include <core/framecutter.h>
#include <core/reply.h>

using namespace Qt::StringLiterals;

namespace zarnet::cli {

Answer checkReply(const QByteArray& block, const Request& request) {
    const Reply reply = parseReply(block);
    if (reply.kind == Reply::Kind::None)
        return describe(reply.rejection);
    if (request.awaits == Request::Awaits::Device) {
        if (reply.kind != Reply::Kind::FoundDevice)
            return u"a unit read reply came, not a connection test reply"_s;
        if (request.device != 255 && reply.device != request.device)
            return u"device %1 answered, not %2"_s.arg(reply.device).arg(request.device);
        return QStringList{QString::number(reply.device)};
    }
    if (reply.kind != Reply::Kind::UnitValues)
        return u"a connection test reply came, not a unit read reply"_s;
    const int start = uint8_t(block[6]);
    const int count = uint8_t(block[7]);
    if (start != request.start || count != request.count)
        return u"the reply is for %1 units from %2, not %3 from %4"_s.arg(count)
            .arg(start)
            .arg(request.count)
            .arg(request.start);
    if (reply.values.size() != count)
        return u"the reply holds %1 of the %2 values it counts"_s.arg(reply.values.size())
            .arg(count);
    QStringList lines;
    for (const uint32_t value : reply.values)
        lines.append(QString::number(value));
    return lines;
}

Found findAnswer(const QByteArray& bytes, const Request& request) {
    for (qsizetype at = bytes.indexOf(char(StartByte)); at >= 0 && at + 3 <= bytes.size();
         at = bytes.indexOf(char(StartByte), at + 1)) {
        const qsizetype length = uint8_t(bytes[at + 1]) * 256 + uint8_t(bytes[at + 2]);
        if (length <= FrameOverhead || at + length > bytes.size())
            continue; // no frame, or one still coming: a later start byte may begin the answer
        const Answer answer = checkReply(bytes.mid(at, length), request);
        if (const auto* lines = std::get_if<QStringList>(&answer))
            return {at, *lines};
    }
    return {};
}

QList<Skipped> describeSkipped(const QByteArray& bytes, const Request& request) {
    FrameCutter cutter;
    QList<FrameCutter::Piece> pieces = cutter.feed(bytes);
    pieces += cutter.flush();
    QList<Skipped> skipped;
    for (const FrameCutter::Piece& piece : pieces) {
        const Answer answer =
            piece.isFrame ? checkReply(piece.bytes, request) : Answer(describe(piece));
        const auto* why = std::get_if<QString>(&answer);
        skipped.append({piece.size, why ? *why : u"a frame"_s});
    }
    return skipped;
}

} // namespace zarnet::cli
