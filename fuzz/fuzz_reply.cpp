// Any block of received bytes, taken as one reply.
#include <core/reply.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray block(reinterpret_cast<const char*>(data), qsizetype(size));
    const zarnet::Reply reply = zarnet::parseReply(block);
    if (reply.kind == zarnet::Reply::Kind::None && !reply.values.isEmpty())
        std::abort();
    // Values come only from the payload, between byte 8 and the check byte.
    if (reply.values.size() * 4 > qMax<qsizetype>(0, block.size() - 10))
        std::abort();
    if (reply.device < 0 || reply.device > 255)
        std::abort();
    return 0;
}
