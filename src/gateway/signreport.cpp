#include "signreport.h"

#include "gateway.h"
#include "line.h"
#include "sign.h"

#include <canvas/panelimage.h>

#include <QBuffer>
#include <QJsonArray>
#include <cmath>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

// Pixels from one LED to the next in the picture.
constexpr int PicturePitch = 4;

QString isoTime(const QDateTime& at) {
    return at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate);
}

QJsonArray units(const Sign& sign) {
    QJsonArray list;
    const StaleWatch& watch = sign.staleWatch();
    for (int n = 0; n < UnitTable::Units; ++n) {
        const auto unit = uint8_t(n);
        const auto wanted = sign.unitWanted(unit);
        const auto onSign = sign.unitOnSign(unit);
        if (!wanted && !onSign)
            continue;
        QJsonObject entry{{u"unit"_s, n},
                          {u"value"_s, wanted ? double(*wanted) : QJsonValue()},
                          {u"on_sign"_s, onSign ? double(*onSign) : QJsonValue()},
                          {u"stale"_s, watch.stale(unit)}};
        if (const auto age = watch.ageMs(unit))
            entry.insert(u"age_s"_s, std::floor(double(*age) / 1000)); // whole seconds
        if (const auto name = sign.config().unitNames.find(unit);
            name != sign.config().unitNames.end())
            entry.insert(u"name"_s, name->second);
        list.append(entry);
    }
    return list;
}

QJsonArray refusals(const Gateway& gateway, const QString& sign) {
    QJsonArray list;
    for (const Refusal& r : gateway.refusals(sign))
        list.append(
            QJsonObject{{u"at"_s, isoTime(r.at)}, {u"topic"_s, r.topic}, {u"reason"_s, r.reason}});
    return list;
}

} // namespace

QString stateWord(SignHealth::State state) {
    switch (state) {
    case Sign::State::Online:
        return u"online"_s;
    case Sign::State::Offline:
        return u"offline"_s;
    case Sign::State::Connecting:
        break;
    }
    return u"connecting"_s;
}

// Which power state is in force, what set it, and with a schedule until when.
QJsonValue powerReport(const Sign& sign) {
    const auto power = sign.timetable().power();
    if (!power)
        return QJsonValue();
    const bool byCommand = power->byCommand || !sign.timetable().hasSchedule();
    QJsonObject p{{u"state"_s, power->on ? u"on"_s : u"off"_s},
                  {u"by"_s, byCommand ? u"command"_s : u"schedule"_s}};
    if (power->until)
        p.insert(u"until"_s, isoTime(*power->until));
    return p;
}

QJsonObject showingReport(const Sign& sign) {
    switch (sign.showing()) {
    case Sign::Showing::Nothing:
        return {{u"image"_s, u"none"_s}};
    case Sign::Showing::Own:
        return {{u"image"_s, u"own"_s}};
    case Sign::Showing::Timed:
        return {{u"image"_s, u"timed"_s}, {u"until"_s, isoTime(sign.timedUntil())}};
    case Sign::Showing::Instead:
        break;
    }
    return {{u"image"_s, u"stale"_s}};
}

QImage signDots(const Sign& sign, const QDateTime& now) {
    return renderPanel(sign.panel(), now);
}

QString pictureKey(const Sign& sign, const QDateTime& now) {
    return QString::number(qHash(panelKey(sign.panel(), now)), 16);
}

QByteArray signPicture(const QImage& dots) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ledPicture(dots, PicturePitch).save(&buffer, "PNG");
    return png;
}

QJsonObject signReport(const Gateway& gateway, const Sign& sign, const QDateTime& now) {
    const Line& line = gateway.lineOf(sign.name());
    const auto answered = sign.sinceLastAnswerMs();
    const auto& test = sign.reasonTest();
    return {
        {u"name"_s, sign.name()},
        {u"device"_s, sign.device()},
        {u"gateway"_s, gateway.gatewayName()},
        {u"state"_s, stateWord(sign.state())},
        {u"since"_s, isoTime(sign.since())},
        {u"reason"_s, sign.reason()},
        // What the reason comes from, for a reader that words it in its own language.
        {u"test"_s,
         test ? QJsonObject{{u"outcome"_s, outcomeKey(test->outcome)}, {u"detail"_s, test->detail}}
              : QJsonValue()},
        {u"seconds_since_answer"_s,
         answered ? QJsonValue(std::floor(double(*answered) / 1000)) : QJsonValue()},
        {u"line"_s,
         QJsonObject{{u"link"_s, line.link()}, {u"load"_s, std::round(line.load() * 1000) / 1000}}},
        {u"power"_s, powerReport(sign)},
        {u"showing"_s, showingReport(sign)},
        {u"units"_s, units(sign)},
        {u"refusals"_s, refusals(gateway, sign.name())},
        // Changes with what the sign shows, so that the page fetches the picture anew.
        {u"picture"_s, pictureKey(sign, now)},
    };
}

} // namespace zarnet::gateway
