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

// A unit number 0..255; `plain`: without leading zeros, as a topic must name a
// unit, since the service takes retained units/N/set topics by their exact names.
std::optional<uint8_t> readUnitNumber(QStringView text, bool plain = false);

// A whole number 0..MaxUnitValue in plain decimal digits; blanks around it are allowed.
std::variant<uint32_t, QString> readUnitValue(const QByteArray& payload);
// A JSON object of unit numbers (0..255) to whole numbers 0..MaxUnitValue.
// The unit a sign gives a name; none when it gives no unit that name.
using UnitByName = std::function<std::optional<uint8_t>(QStringView name)>;
std::variant<std::map<uint8_t, uint32_t>, QString> readUnitBatch(const QByteArray& payload,
                                                                 const UnitByName& byName = {});
// "on" or "off".
std::variant<bool, QString> readPower(const QByteArray& payload);
// Empty: the time when the frame is sent (nullopt); otherwise "YYYY-MM-DD hh:mm:ss", local time.
std::variant<std::optional<QDateTime>, QString> readClock(const QByteArray& payload);
// {"text", "font", "size", "window": [x, y, w, h], "schedule"} or "bmp" (base64)
// instead of "text". "schedule" is "always" or {"mode", "start", "end"} with mode
// always, daily, weekdays or dates.
std::variant<ImageRequest, QString> readImageRequest(const QByteArray& payload);
// An image/set payload's "for": how long the image shows before the sign's own
// comes back; nullopt without one.
std::variant<std::optional<int64_t>, QString> readShowFor(const QByteArray& payload);
inline constexpr int64_t MaxShowForMs = int64_t{24} * 3600 * 1000;

// Why an image the window would refuse cannot be sent, in words.
QString describe(const ImageRefusal& refusal);

// An image/set payload read and checked as far as it can be without drawing it.
std::variant<ImageRequest, QString> checkedImageRequest(const QByteArray& payload);
// A request drawn into the frame for `device`, or why it cannot be sent. Needs a
// QGuiApplication.
std::variant<QByteArray, QString> drawImageFrame(uint8_t device, const ImageRequest& request);

// A configured image's settings (window, font, schedule) without its text or
// picture: another text put in shows where and when it would.
QJsonObject imageSettings(const QByteArray& image);

} // namespace zarnet::gateway
