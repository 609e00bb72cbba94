#include "unitframes.h"

#include <core/fieldnumber.h>
#include <core/frame.h>

using namespace Qt::StringLiterals;

namespace zarnet {

std::variant<UnitWrite, fields::Refusal>
readUnitWrite(const QString& startText, const QString& countText, const QStringList& valueTexts) {
    const auto start = fields::readByte(startText);
    if (!start)
        return fields::Refusal{fields::Field::DownloadStart};
    const auto count = fields::readByte(countText);
    if (!count || *count > UnitValueFields)
        return fields::Refusal{fields::Field::DownloadCount};
    UnitWrite write;
    write.start = *start;
    for (int i = 0; i < *count; ++i) {
        const QString valueText = i < valueTexts.size() ? valueTexts[i] : QString();
        const auto value =
            fields::roundToRange(fields::readLeadingNumber(valueText), 0, MaxUnitValue);
        if (!value)
            return fields::Refusal{fields::Field::UnitValue, i};
        write.values.append(uint32_t(*value));
    }
    return write;
}

std::variant<UnitRead, fields::Refusal> readUnitRead(const QString& startText,
                                                     const QString& countText) {
    const auto start = fields::readByte(startText);
    if (!start)
        return fields::Refusal{fields::Field::ReadStart};
    const auto count = fields::readByte(countText);
    if (!count)
        return fields::Refusal{fields::Field::ReadCount};
    return UnitRead{*start, *count};
}

QByteArray unitWriteFrame(uint8_t device, uint8_t code, const UnitWrite& write) {
    QByteArray payload;
    payload.append(char(write.start));
    payload.append(char(write.values.size()));
    for (const uint32_t value : write.values)
        appendValue(payload, value);
    return buildFrame(device, code, payload);
}

QByteArray unitReadFrame(uint8_t device, const UnitRead& read) {
    QByteArray payload;
    payload.append(char(read.start));
    payload.append(char(read.count));
    return buildFrame(device, UnitReadCode, payload);
}

} // namespace zarnet
