#include "unitframes.h"

#include <fields/fieldnumber.h>
#include <link/frame.h>
#include <link/messages.h>

using namespace Qt::StringLiterals;

namespace zarnet {

std::variant<UnitWrite, fields::Refusal>
readUnitWrite(const QString& startText, const QString& countText, const QStringList& valueTexts) {
    const auto start = fields::readByte(startText);
    if (!start)
        return fields::Refusal{u"RsAddText_0"_s, text::StartUnit};
    const auto count = fields::readByte(countText);
    if (!count || *count > UnitValueFields)
        return fields::Refusal{u"RsAddText_1"_s, text::UnitCountDownload};
    UnitWrite write;
    write.start = *start;
    for (int i = 0; i < *count; ++i) {
        const QString valueText = i < valueTexts.size() ? valueTexts[i] : QString();
        const auto value =
            fields::roundToRange(fields::readLeadingNumber(valueText), 0, MaxUnitValue);
        if (!value)
            return fields::Refusal{u"RsDataText_%1"_s.arg(i), text::unitValue(i)};
        write.values.append(uint32_t(*value));
    }
    return write;
}

std::variant<UnitRead, fields::Refusal> readUnitRead(const QString& startText,
                                                     const QString& countText) {
    const auto start = fields::readByte(startText);
    if (!start)
        return fields::Refusal{u"RsGetAddText_0"_s, text::StartUnit};
    const auto count = fields::readByte(countText);
    if (!count)
        return fields::Refusal{u"RsGetAddText_1"_s, text::UnitCountRead};
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
