#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

// What one block of received bytes says, taken as exactly one reply frame.
// Replies carry 0xEE in byte 3 (requests carry it in byte 4); byte 4 is not examined.
namespace zarnet {

struct Reply {
    enum class Kind { None, FoundDevice, UnitValues };
    // Why a block is no reply the program knows.
    enum class Rejection {
        None,
        TooShort,
        WrongStart,
        WrongEnd,
        WrongMarker,
        Length,
        CheckByte,
        UnknownCode,
        LineError // a line error came instead of bytes
    };

    Kind kind = Kind::None;
    Rejection rejection = Rejection::None; // set when kind is None
    int device = 0;         // FoundDevice: the number of the controller that answered
    QList<uint32_t> values; // UnitValues: value i belongs to read-back field i
};

// The block must be one whole reply: start and end bytes, 0xEE in byte 3, a length
// field equal to the block's size and a matching check byte. Anything else, and
// any command code other than the connection test (0x21) and the unit read (0x30),
// gives Kind::None with the first test it failed. A unit read reply gives only
// the values whose four bytes lie inside its payload, whatever count it claims.
Reply parseReply(const QByteArray& block);

} // namespace zarnet
