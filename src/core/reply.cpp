#include "reply.h"

#include "frame.h"

namespace zarnet {

namespace {

Reply::Rejection framingFault(const QByteArray& block) {
    using R = Reply::Rejection;
    const FrameView f(block);
    if (f.size() <= FrameOverhead)
        return R::TooShort;
    if (f.start() != StartByte)
        return R::WrongStart;
    // The length first: where it disagrees, the end byte is looked for in the wrong place.
    if (f.length() != f.size())
        return R::Length;
    if (f.end() != EndByte)
        return R::WrongEnd;
    if (f.replyMarker() != Marker)
        return R::WrongMarker;
    if (checkByte(block) != f.check())
        return R::CheckByte;
    return R::None;
}

} // namespace

Reply parseReply(const QByteArray& block) {
    Reply reply;
    reply.rejection = framingFault(block);
    if (reply.rejection != Reply::Rejection::None)
        return reply;
    const FrameView f(block);
    switch (f.code()) {
    case FindCode:
        reply.kind = Reply::Kind::FoundDevice;
        reply.device = f.payloadAt(0);
        break;
    case UnitReadCode: {
        reply.kind = Reply::Kind::UnitValues;
        const int count = f.payloadSize() > 1 ? f.payloadAt(1) : 0;
        for (int i = 0; i < count; ++i) {
            const qsizetype first = 8 + 4 * qsizetype(i);
            if (first + 3 > f.size() - 3)
                break;
            reply.values.append(valueAt(block, first));
        }
        break;
    }
    default:
        reply.rejection = Reply::Rejection::UnknownCode;
        break;
    }
    return reply;
}

} // namespace zarnet
