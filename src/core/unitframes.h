#pragma once

#include <core/refusal.h>

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <cstdint>
#include <variant>

// Writing values into the controller's numbered data units, and reading them back.
namespace zarnet {

constexpr int UnitValueFields = 9;
constexpr int UnitReadFields = 10;
constexpr uint32_t MaxUnitValue = 2147483647;

struct UnitWrite {
    uint8_t start = 0;
    QList<uint32_t> values;
};

struct UnitRead {
    uint8_t start = 0;
    uint8_t count = 0;
};

// Start and count are whole numbers 0..255, the count at most 9; value i is the
// number at the start of valueTexts[i], rounded, 0..2147483647. Only the first
// `count` value texts are read.
std::variant<UnitWrite, fields::Refusal>
readUnitWrite(const QString& startText, const QString& countText, const QStringList& valueTexts);
std::variant<UnitRead, fields::Refusal> readUnitRead(const QString& startText,
                                                     const QString& countText);

// code is 0x23 (show at once) or 0x24 (fixed display); values go high byte first.
QByteArray unitWriteFrame(uint8_t device, uint8_t code, const UnitWrite& write);
QByteArray unitReadFrame(uint8_t device, const UnitRead& read);
constexpr int unitReplyLength(int count) {
    return 4 * count + 10;
}

} // namespace zarnet
