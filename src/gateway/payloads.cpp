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

constexpr double MaxValue = MaxUnitValue;

std::optional<uint32_t> jsonValue(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 0 || number > MaxValue || std::floor(number) != number)
        return std::nullopt;
    return uint32_t(number);
}

std::variant<QJsonObject, QString> jsonObject(const QByteArray& payload) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError)
        return u"not JSON: %1 at byte %2"_s.arg(error.errorString()).arg(error.offset);
    if (!document.isObject())
        return u"not a JSON object"_s;
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

std::optional<QString> readSchedule(const QJsonValue& value, ImageRequest& request) {
    static const QMap<QString, ScheduleMode> modes = {{u"always"_s, ScheduleMode::Always},
                                                      {u"daily"_s, ScheduleMode::DailyPeriod},
                                                      {u"weekdays"_s, ScheduleMode::WeekdayRange},
                                                      {u"dates"_s, ScheduleMode::MonthDates}};
    if (value.isString()) {
        if (value.toString() != u"always")
            return u"schedule: a text schedule can only be \"always\""_s;
        return std::nullopt;
    }
    if (!value.isObject())
        return u"schedule: takes \"always\" or {\"mode\", \"start\", \"end\"}"_s;
    const QJsonObject schedule = value.toObject();
    for (const QString& key : schedule.keys())
        if (key != u"mode" && key != u"start" && key != u"end")
            return u"schedule: unknown key \"%1\""_s.arg(key.left(40));
    const QString mode = schedule.value(u"mode"_s).toString();
    if (!modes.contains(mode))
        return u"schedule: mode takes always, daily, weekdays or dates"_s;
    request.mode = modes[mode];
    if (request.mode == ScheduleMode::Always)
        return std::nullopt;
    for (const QString& key : {u"start"_s, u"end"_s}) {
        const QJsonValue field = schedule.value(key);
        std::optional<QString> text = fieldText(field);
        if (!text)
            return u"schedule: %1 takes a number or a text"_s.arg(key);
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
std::variant<uint32_t, QString> readUnitValue(const QByteArray& payload) {
    const QByteArray text = payload.trimmed();
    const bool digits =
        !text.isEmpty() && text.size() <= 10 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || text.toULongLong() > MaxUnitValue)
        return u"a unit value takes a whole number 0..%1"_s.arg(MaxUnitValue);
    return uint32_t(text.toULongLong());
}

std::variant<std::map<uint8_t, uint32_t>, QString> readUnitBatch(const QByteArray& payload,
                                                                 const UnitByName& byName) {
    const auto parsed = jsonObject(payload);
    if (const auto* why = std::get_if<QString>(&parsed))
        return *why;
    const QJsonObject& object = std::get<QJsonObject>(parsed);
    if (object.isEmpty())
        return u"no units given"_s;
    std::map<uint8_t, uint32_t> values;
    for (auto it = object.begin(); it != object.end(); ++it) {
        auto unit = readUnitNumber(it.key());
        if (!unit && byName)
            unit = byName(it.key());
        if (!unit)
            return u"unknown unit \"%1\": units are 0..255, or a name the sign gives one"_s.arg(
                it.key().left(40));
        const auto value = jsonValue(it.value());
        if (!value)
            return u"unit %1 takes a whole number 0..%2"_s
                .arg(readUnitNumber(it.key()) ? QString::number(*unit) : it.key())
                .arg(MaxUnitValue);
        values[*unit] = *value;
    }
    return values;
}

std::variant<bool, QString> readPower(const QByteArray& payload) {
    const QByteArray word = payload.trimmed();
    if (word == "on" || word == "off")
        return word == "on";
    return u"power takes on or off"_s;
}

std::variant<std::optional<QDateTime>, QString> readClock(const QByteArray& payload) {
    const QString text = QString::fromUtf8(payload).trimmed();
    if (text.isEmpty())
        return std::optional<QDateTime>();
    const QDateTime at = QDateTime::fromString(text, u"yyyy-MM-dd hh:mm:ss"_s);
    if (!at.isValid() || at.date().year() < 2000 || at.date().year() > 2099)
        return u"clock takes nothing (now) or \"YYYY-MM-DD hh:mm:ss\", years 2000..2099"_s;
    return std::optional<QDateTime>(at);
}

std::variant<std::optional<int64_t>, QString> readShowFor(const QByteArray& payload) {
    const auto parsed = jsonObject(payload);
    if (const auto* why = std::get_if<QString>(&parsed))
        return *why;
    const QJsonValue value = std::get<QJsonObject>(parsed).value(u"for"_s);
    if (value.isUndefined())
        return std::optional<int64_t>();
    const auto ms = readDuration(value.toString());
    if (!value.isString() || !std::holds_alternative<int64_t>(ms) ||
        std::get<int64_t>(ms) > MaxShowForMs)
        return u"for takes a time such as \"30s\", \"10m\" or \"2h\", at most 24h"_s;
    return std::optional(std::get<int64_t>(ms));
}

std::variant<ImageRequest, QString> readImageRequest(const QByteArray& payload) {
    const auto parsed = jsonObject(payload);
    if (const auto* why = std::get_if<QString>(&parsed))
        return *why;
    const QJsonObject& object = std::get<QJsonObject>(parsed);
    static const QSet<QString> keys = {u"text"_s,   u"bmp"_s,      u"font"_s, u"size"_s,
                                       u"window"_s, u"schedule"_s, u"for"_s};
    for (const QString& key : object.keys())
        if (!keys.contains(key))
            return u"unknown key \"%1\""_s.arg(key.left(40));
    const bool text = object.contains(u"text"_s);
    if (text == object.contains(u"bmp"_s))
        return u"give one of \"text\" or \"bmp\""_s;

    ImageRequest request;
    if (text) {
        if (!object.value(u"text"_s).isString())
            return u"text takes a string"_s;
        // The canvas is 256 dots wide; a longer text only costs drawing time.
        if (object.value(u"text"_s).toString().size() > MaxTextLength)
            return u"text takes at most %1 characters"_s.arg(MaxTextLength);
        request.text = object.value(u"text"_s).toString();
        if (object.contains(u"font"_s)) {
            if (!object.value(u"font"_s).isString())
                return u"font takes a family name"_s;
            request.family = object.value(u"font"_s).toString();
        }
        if (object.contains(u"size"_s)) {
            const double size = object.value(u"size"_s).toDouble(-1);
            if (!object.value(u"size"_s).isDouble() || !(size > 0) || size > MaxPointSize)
                return u"size takes points, more than 0 and at most 1000"_s;
            request.pointSize = size;
        }
    } else {
        if (object.contains(u"font"_s) || object.contains(u"size"_s))
            return u"font and size go with text"_s;
        const auto decoded = QByteArray::fromBase64Encoding(
            object.value(u"bmp"_s).toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!object.value(u"bmp"_s).isString() || !decoded || decoded.decoded.isEmpty())
            return u"bmp takes a picture file in base64"_s;
        request.picture = decoded.decoded;
    }
    if (object.contains(u"window"_s)) {
        const QJsonArray window = object.value(u"window"_s).toArray();
        if (!object.value(u"window"_s).isArray() || window.size() != 4)
            return u"window takes [x, y, w, h]"_s;
        for (int i = 0; i < 4; ++i) {
            const auto field = fieldText(window[i]);
            if (!field)
                return u"window takes [x, y, w, h], each a number"_s;
            request.window[size_t(i)] = *field;
        }
    }
    if (object.contains(u"schedule"_s))
        if (const auto why = readSchedule(object.value(u"schedule"_s), request))
            return *why;
    return request;
}

QString describe(const ImageRefusal& refusal) {
    if (!refusal.field)
        return u"bmp cannot be read as a picture, or has more than %1 dots (2048 x 1024)"_s.arg(
            DotCanvas::MaxPictureDots);
    using fields::Field;
    switch (refusal.field->field) {
    case Field::XStart:
        return u"window: x takes a whole number 0..255"_s;
    case Field::YStart:
        return u"window: y takes a whole number 0..255"_s;
    case Field::Width:
    case Field::ImageSize:
        return u"window: w takes a whole number 0..2047, and w/8 x h at most 2048 bytes"_s;
    case Field::Height:
        return u"window: h takes a whole number 0..255"_s;
    case Field::DailyStart:
    case Field::DailyEnd:
        return u"schedule: daily start and end take hhmm, hours x 60 + minutes at most 4095"_s;
    case Field::RangeStart:
    case Field::RangeEnd:
        return u"schedule: start and end take whole numbers 0..255"_s;
    case Field::DownloadStart:
    case Field::DownloadCount:
    case Field::UnitValue:
    case Field::ReadStart:
    case Field::ReadCount:
        break; // not the image's fields
    }
    return u"the image cannot be sent"_s;
}

std::variant<ImageRequest, QString> checkedImageRequest(const QByteArray& payload) {
    auto request = readImageRequest(payload);
    if (const auto* why = std::get_if<QString>(&request))
        return *why;
    if (const auto refusal = checkImageRequest(std::get<ImageRequest>(request)))
        return describe(*refusal);
    return request;
}

std::variant<QByteArray, QString> drawImageFrame(uint8_t device, const ImageRequest& request) {
    const auto frame = buildImageFrame(device, request);
    if (const auto* refusal = std::get_if<ImageRefusal>(&frame))
        return describe(*refusal);
    return std::get<QByteArray>(frame);
}

QJsonObject imageSettings(const QByteArray& image) {
    QJsonObject settings = QJsonDocument::fromJson(image).object();
    settings.remove(u"text"_s);
    settings.remove(u"bmp"_s);
    return settings;
}

} // namespace zarnet::gateway
