#pragma once

#include <canvas/imagerequest.h>
#include <core/unitframes.h>

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <variant>

// What arrives from the broker, read into values or refused with a reason. Each
// reader is pure: the same bytes always give the same answer.
namespace zarnet::gateway {

// A payload above this is refused unread.
constexpr qsizetype MaxPayload = qsizetype{1024} * 1024;
constexpr qsizetype MaxTextLength = 1024;

// Why a payload cannot be carried out: the fault, and what a message needs of it.
struct PayloadRefusal {
    enum class Fault {
        NotJson,   // detail: the parser's words; number: the byte where it stopped
        NotObject, // JSON, but no object
        NoUnits,
        UnknownUnit, // detail: the unit as given
        Value,       // a unit value on its own
        UnitValue,   // a batch's value; detail: its unit as given
        Power,
        Clock,
        ShowFor,
        UnknownKey, // detail: the key
        TextOrPicture,
        TextType,
        TextLength,
        Font,
        Size,
        FontWithPicture,
        Picture,
        WindowShape,
        WindowNumbers,
        ScheduleText,
        ScheduleShape,
        ScheduleKey, // detail: the key
        ScheduleMode,
        ScheduleField, // detail: "start" or "end"
        Image,         // what the window would refuse: `image` says which field
    };
    Fault fault = Fault::NotJson;
    QString detail;
    qint64 number = 0;
    ImageRefusal image;

    bool operator==(Fault other) const { return fault == other; }
};

// The refusal in English, for the log, the error topic and the page.
QString describe(const PayloadRefusal& refusal);
QString describe(const ImageRefusal& refusal);

// A unit number 0..255; `plain`: without leading zeros, as a topic must name a
// unit, since the service takes retained units/N/set topics by their exact names.
std::optional<uint8_t> readUnitNumber(QStringView text, bool plain = false);

// A whole number 0..MaxUnitValue in plain decimal digits; blanks around it are allowed.
std::variant<uint32_t, PayloadRefusal> readUnitValue(const QByteArray& payload);
// A JSON object of unit numbers (0..255) to whole numbers 0..MaxUnitValue.
// The unit a sign gives a name; none when it gives no unit that name.
using UnitByName = std::function<std::optional<uint8_t>(QStringView name)>;
std::variant<std::map<uint8_t, uint32_t>, PayloadRefusal>
readUnitBatch(const QByteArray& payload, const UnitByName& byName = {});
// "on" or "off".
std::variant<bool, PayloadRefusal> readPower(const QByteArray& payload);
// Empty: the time when the frame is sent (nullopt); otherwise "YYYY-MM-DD hh:mm:ss", local time.
std::variant<std::optional<QDateTime>, PayloadRefusal> readClock(const QByteArray& payload);
// {"text", "font", "size", "window": [x, y, w, h], "schedule"} or "bmp" (base64)
// instead of "text". "schedule" is "always" or {"mode", "start", "end"} with mode
// always, daily, weekdays or dates.
std::variant<ImageRequest, PayloadRefusal> readImageRequest(const QByteArray& payload);
// An image/set payload's "for": how long the image shows before the sign's own
// comes back; nullopt without one.
std::variant<std::optional<int64_t>, PayloadRefusal> readShowFor(const QByteArray& payload);
inline constexpr int64_t MaxShowForMs = int64_t{24} * 3600 * 1000;

// An image/set payload read and checked as far as it can be without drawing it.
std::variant<ImageRequest, PayloadRefusal> checkedImageRequest(const QByteArray& payload);
// A request drawn into the frame for `device`, or why it cannot be sent. Needs a
// QGuiApplication.
std::variant<QByteArray, PayloadRefusal> drawImageFrame(uint8_t device,
                                                        const ImageRequest& request);

// A configured image's settings (window, font, schedule) without its text or
// picture: another text put in shows where and when it would.
QJsonObject imageSettings(const QByteArray& image);

} // namespace zarnet::gateway
