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

} // namespace zarnet
