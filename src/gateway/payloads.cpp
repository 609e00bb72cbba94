#include "payloads.h"

#include "config.h"

#include <canvas/dotcanvas.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

using Fault = PayloadRefusal::Fault;

PayloadRefusal refused(Fault fault, const QString& detail = {}, qint64 number = 0) {
    PayloadRefusal refusal;
    refusal.fault = fault;
    refusal.detail = detail;
    refusal.number = number;
    return refusal;
}

PayloadRefusal refusedImage(const ImageRefusal& image) {
    PayloadRefusal refusal = refused(Fault::Image);
    refusal.image = image;
    return refusal;
}

constexpr double MaxValue = MaxUnitValue;

std::optional<uint32_t> jsonValue(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 0 || number > MaxValue || std::floor(number) != number)
        return std::nullopt;
    return uint32_t(number);
}

std::variant<QJsonObject, PayloadRefusal> jsonObject(const QByteArray& payload) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError)
        return refused(Fault::NotJson, error.errorString(), error.offset);
    if (!document.isObject())
        return refused(Fault::NotObject);
    return document.object();
}

// A window or schedule field as the window's text field would hold it.
std::optional<QString> fieldText(const QJsonValue& value) {
    if (value.isString())
        return value.toString();
    if (value.isDouble() && std::isfinite(value.toDouble()))
        return QString::number(value.toDouble(), 'g', 17);
    return std::nullopt;
}

std::optional<PayloadRefusal> readSchedule(const QJsonValue& value, ImageRequest& request) {
    static const QMap<QString, ScheduleMode> modes = {{u"always"_s, ScheduleMode::Always},
                                                      {u"daily"_s, ScheduleMode::DailyPeriod},
                                                      {u"weekdays"_s, ScheduleMode::WeekdayRange},
                                                      {u"dates"_s, ScheduleMode::MonthDates}};
    if (value.isString()) {
        if (value.toString() != u"always")
            return refused(Fault::ScheduleText);
        return std::nullopt;
    }
    if (!value.isObject())
        return refused(Fault::ScheduleShape);
    const QJsonObject schedule = value.toObject();
    for (const QString& key : schedule.keys())
        if (key != u"mode" && key != u"start" && key != u"end")
            return refused(Fault::ScheduleKey, key.left(40));
    const QString mode = schedule.value(u"mode"_s).toString();
    if (!modes.contains(mode))
        return refused(Fault::ScheduleMode);
    request.mode = modes[mode];
    if (request.mode == ScheduleMode::Always)
        return std::nullopt;
    for (const QString& key : {u"start"_s, u"end"_s}) {
        const QJsonValue field = schedule.value(key);
        std::optional<QString> text = fieldText(field);
        if (!text)
            return refused(Fault::ScheduleField, key);
        // 600 as a JSON number is the time 06:00, which the field reads as "0600".
        if (request.mode == ScheduleMode::DailyPeriod && field.isDouble())
            text = text->rightJustified(4, u'0');
        (key == u"start" ? request.start : request.end) = *text;
    }
    return std::nullopt;
}

} // namespace

std::optional<uint8_t> readUnitNumber(QStringView text, bool plain) {
    if (text.isEmpty() || text.size() > 3 || (plain && text.size() > 1 && text.front() == u'0'))
        return std::nullopt;
    int unit = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        unit = unit * 10 + (c.unicode() - u'0');
    }
    if (unit > 255)
        return std::nullopt;
    return uint8_t(unit);
}

// Read from the bytes themselves: a text decoder would drop a byte-order mark.
std::variant<uint32_t, PayloadRefusal> readUnitValue(const QByteArray& payload) {
    const QByteArray text = payload.trimmed();
    const bool digits =
        !text.isEmpty() && text.size() <= 10 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || text.toULongLong() > MaxUnitValue)
        return refused(Fault::Value);
    return uint32_t(text.toULongLong());
}

std::variant<std::map<uint8_t, uint32_t>, PayloadRefusal> readUnitBatch(const QByteArray& payload,
                                                                        const UnitByName& byName) {
    const auto parsed = jsonObject(payload);
    if (const auto* why = std::get_if<PayloadRefusal>(&parsed))
        return *why;
    const QJsonObject& object = std::get<QJsonObject>(parsed);
    if (object.isEmpty())
        return refused(Fault::NoUnits);
    std::map<uint8_t, uint32_t> values;
    for (auto it = object.begin(); it != object.end(); ++it) {
        auto unit = readUnitNumber(it.key());
        if (!unit && byName)
            unit = byName(it.key());
        if (!unit)
            return refused(Fault::UnknownUnit, it.key().left(40));
        const auto value = jsonValue(it.value());
        if (!value)
            return refused(Fault::UnitValue,
                           readUnitNumber(it.key()) ? QString::number(*unit) : it.key());
        values[*unit] = *value;
    }
    return values;
}

std::variant<bool, PayloadRefusal> readPower(const QByteArray& payload) {
    const QByteArray word = payload.trimmed();
    if (word == "on" || word == "off")
        return word == "on";
    return refused(Fault::Power);
}

std::variant<std::optional<QDateTime>, PayloadRefusal> readClock(const QByteArray& payload) {
    const QString text = QString::fromUtf8(payload).trimmed();
    if (text.isEmpty())
        return std::optional<QDateTime>();
    const QDateTime at = QDateTime::fromString(text, u"yyyy-MM-dd hh:mm:ss"_s);
    if (!at.isValid() || at.date().year() < 2000 || at.date().year() > 2099)
        return refused(Fault::Clock);
    return std::optional<QDateTime>(at);
}

std::variant<std::optional<int64_t>, PayloadRefusal> readShowFor(const QByteArray& payload) {
    const auto parsed = jsonObject(payload);
    if (const auto* why = std::get_if<PayloadRefusal>(&parsed))
        return *why;
    const QJsonValue value = std::get<QJsonObject>(parsed).value(u"for"_s);
    if (value.isUndefined())
        return std::optional<int64_t>();
    const auto ms = readDuration(value.toString());
    if (!value.isString() || !ms || *ms > MaxShowForMs)
        return refused(Fault::ShowFor);
    return ms;
}

std::variant<ImageRequest, PayloadRefusal> readImageRequest(const QByteArray& payload) {
    const auto parsed = jsonObject(payload);
    if (const auto* why = std::get_if<PayloadRefusal>(&parsed))
        return *why;
    const QJsonObject& object = std::get<QJsonObject>(parsed);
    static const QSet<QString> keys = {u"text"_s,   u"bmp"_s,      u"font"_s, u"size"_s,
                                       u"window"_s, u"schedule"_s, u"for"_s};
    for (const QString& key : object.keys())
        if (!keys.contains(key))
            return refused(Fault::UnknownKey, key.left(40));
    const bool text = object.contains(u"text"_s);
    if (text == object.contains(u"bmp"_s))
        return refused(Fault::TextOrPicture);

    ImageRequest request;
    if (text) {
        if (!object.value(u"text"_s).isString())
            return refused(Fault::TextType);
        // The canvas is 256 dots wide; a longer text only costs drawing time.
        if (object.value(u"text"_s).toString().size() > MaxTextLength)
            return refused(Fault::TextLength);
        request.text = object.value(u"text"_s).toString();
        if (object.contains(u"font"_s)) {
            if (!object.value(u"font"_s).isString())
                return refused(Fault::Font);
            request.family = object.value(u"font"_s).toString();
        }
        if (object.contains(u"size"_s)) {
            const double size = object.value(u"size"_s).toDouble(-1);
            if (!object.value(u"size"_s).isDouble() || !(size > 0) || size > MaxPointSize)
                return refused(Fault::Size);
            request.pointSize = size;
        }
    } else {
        if (object.contains(u"font"_s) || object.contains(u"size"_s))
            return refused(Fault::FontWithPicture);
        const auto decoded = QByteArray::fromBase64Encoding(
            object.value(u"bmp"_s).toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!object.value(u"bmp"_s).isString() || !decoded || decoded.decoded.isEmpty())
            return refused(Fault::Picture);
        request.picture = decoded.decoded;
    }
    if (object.contains(u"window"_s)) {
        const QJsonArray window = object.value(u"window"_s).toArray();
        if (!object.value(u"window"_s).isArray() || window.size() != 4)
            return refused(Fault::WindowShape);
        for (int i = 0; i < 4; ++i) {
            const auto field = fieldText(window[i]);
            if (!field)
                return refused(Fault::WindowNumbers);
            request.window[size_t(i)] = *field;
        }
    }
    if (object.contains(u"schedule"_s))
        if (const auto why = readSchedule(object.value(u"schedule"_s), request))
            return *why;
    return request;
}

std::variant<ImageRequest, PayloadRefusal> checkedImageRequest(const QByteArray& payload) {
    auto request = readImageRequest(payload);
    if (const auto* why = std::get_if<PayloadRefusal>(&request))
        return *why;
    if (const auto refusal = checkImageRequest(std::get<ImageRequest>(request)))
        return refusedImage(*refusal);
    return request;
}

std::variant<QByteArray, PayloadRefusal> drawImageFrame(uint8_t device,
                                                        const ImageRequest& request) {
    const auto frame = buildImageFrame(device, request);
    if (const auto* refusal = std::get_if<ImageRefusal>(&frame))
        return refusedImage(*refusal);
    return std::get<QByteArray>(frame);
}

QJsonObject imageSettings(const QByteArray& image) {
    QJsonObject settings = QJsonDocument::fromJson(image).object();
    settings.remove(u"text"_s);
    settings.remove(u"bmp"_s);
    return settings;
}

} // namespace zarnet::gateway
