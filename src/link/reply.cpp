#include "reply.h"

#include "frame.h"

namespace zarnet {

namespace {

uint8_t at(const QByteArray& block, qsizetype i) {
    return uint8_t(block[i]);
}

bool isWholeReply(const QByteArray& block) {
    const qsizetype n = block.size();
    if (n <= FrameOverhead)
        return false;
    return at(block, 0) == StartByte && at(block, n - 1) == EndByte && at(block, 3) == Marker &&
           at(block, 1) * 256 + at(block, 2) == n && checkByte(block) == at(block, n - 2);
}

} // namespace

Reply parseReply(const QByteArray& block) {
    Reply reply;
    if (!isWholeReply(block))
        return reply;
    const qsizetype n = block.size();
    switch (at(block, 5)) {
    case FindCode:
        reply.kind = Reply::Kind::FoundDevice;
        reply.device = at(block, 6);
        break;
    case UnitReadCode: {
        reply.kind = Reply::Kind::UnitValues;
        const int count = n > 9 ? at(block, 7) : 0;
        for (int i = 0; i < count; ++i) {
            const qsizetype first = 8 + 4 * qsizetype(i);
            if (first + 3 > n - 3)
                break;
            reply.values.append(valueAt(block, first));
        }
        break;
    }
    default:
        break;
    }
    return reply;
}

} // namespace zarnet
