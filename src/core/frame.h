#pragma once

#include <QByteArray>
#include <cstdint>

// The command frame every request travels in:
// 0x02, length (16 bits, high byte first), device number, 0xEE, command code,
// payload, check byte, 0x03. The length counts every byte of the frame.
namespace zarnet {

constexpr uint8_t StartByte = 0x02;
constexpr uint8_t EndByte = 0x03;
constexpr uint8_t Marker = 0xEE;
constexpr int FrameOverhead = 8;
constexpr int MaxFrameLength = 0xFFFF;

enum CommandCode : uint8_t {
    PowerCode = 0x12,
    SetClockCode = 0x20,
    FindCode = 0x21,
    UnitShowNowCode = 0x23,
    UnitFixedCode = 0x24,
    UnitReadCode = 0x30,
    ClearDotsCode = 0x40,
    DotImageCode = 0x41,
};

// XOR of bytes 1 to size−3: everything between the start byte and the check byte.
uint8_t checkByte(const QByteArray& frame);

// The whole frame for one request. Empty when the payload would make the
// length overflow its 16 bits; such a frame cannot be described on the wire.
QByteArray buildFrame(uint8_t device, uint8_t code, const QByteArray& payload);

// Unit values travel as four bytes, high byte first.
void appendValue(QByteArray& bytes, uint32_t value);
// The value whose four bytes start at `first`; the caller keeps them inside `bytes`.
uint32_t valueAt(const QByteArray& bytes, qsizetype first);

// A controller's reply: 0xEE in byte 3 and the answering device in byte 4.
QByteArray buildReply(uint8_t device, uint8_t code, const QByteArray& payload);

// A frame's fields by name. A request carries its device in byte 3 and 0xEE in
// byte 4, a reply the other way round. A byte past the end reads as 0, so a
// short frame is never read beyond; check its size where that matters.
class FrameView {
public:
    explicit FrameView(const QByteArray& bytes) : bytes_(bytes) {}

    qsizetype size() const { return bytes_.size(); }
    uint8_t start() const { return at(0); }
    int length() const { return at(1) * 256 + at(2); } // what the length field says
    uint8_t device() const { return at(3); }           // of a request
    uint8_t marker() const { return at(4); }           // of a request
    uint8_t replyMarker() const { return at(3); }
    uint8_t replyDevice() const { return at(4); }
    uint8_t code() const { return at(5); }
    uint8_t payloadAt(qsizetype i) const { return at(6 + i); }
    qsizetype payloadSize() const { return qMax<qsizetype>(0, size() - FrameOverhead); }
    uint8_t check() const { return at(size() - 2); }
    uint8_t end() const { return at(size() - 1); }

private:
    uint8_t at(qsizetype i) const { return i >= 0 && i < size() ? uint8_t(bytes_[i]) : 0; }

    const QByteArray& bytes_;
};

} // namespace zarnet
