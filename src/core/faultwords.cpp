#include "faultwords.h"

using namespace Qt::StringLiterals;

namespace zarnet {

QString describe(AddressFault fault) {
    switch (fault) {
    case AddressFault::UnknownScheme:
        return u"unknown scheme: only tcp://HOST:PORT is a network link"_s;
    case AddressFault::EmptyHost:
        return u"no host in the address, or blanks in it"_s;
    case AddressFault::NoPort:
        return u"no port in the address (tcp://HOST:PORT)"_s;
    case AddressFault::BadPort:
        return u"the port must be a number 1..65535"_s;
    }
    return {};
}

QString describe(Reply::Rejection rejection) {
    switch (rejection) {
    case Reply::Rejection::None:
        return {};
    case Reply::Rejection::TooShort:
        return u"too short for a frame"_s;
    case Reply::Rejection::WrongStart:
        return u"no start byte"_s;
    case Reply::Rejection::WrongEnd:
        return u"no end byte where the block ends"_s;
    case Reply::Rejection::WrongMarker:
        return u"no 0xEE in byte 3"_s;
    case Reply::Rejection::Length:
        return u"the length field differs from the bytes waiting (bytes missing or left over)"_s;
    case Reply::Rejection::CheckByte:
        return u"bad check byte"_s;
    case Reply::Rejection::UnknownCode:
        return u"a command code the program does not know"_s;
    case Reply::Rejection::LineError:
        return u"line error"_s;
    }
    return {};
}

QString describe(const FrameCutter::Piece& rejected) {
    using Fault = FrameCutter::Fault;
    switch (rejected.fault) {
    case Fault::None:
        return {};
    case Fault::Garbage:
        return u"garbage"_s;
    case Fault::LengthOutOfRange:
        return u"length %1 out of range"_s.arg(rejected.length);
    case Fault::BadEnd:
        return u"bad end byte"_s;
    case Fault::BadCheck:
        return u"bad check byte"_s;
    case Fault::Truncated:
        return u"truncated"_s;
    }
    return {};
}

} // namespace zarnet
