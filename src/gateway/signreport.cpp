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

QString stateWord(Sign::State state) {
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
            entry.insert(u"age_s"_s, double(*age / 1000));
        list.append(entry);
    }
    return list;
}

QJsonValue power(const Sign& sign) {
    const auto power = sign.timetable().power();
    if (!power)
        return QJsonValue();
    QJsonObject p{{u"state"_s, power->on ? u"on"_s : u"off"_s},
                  {u"by"_s, power->byCommand || !sign.timetable().hasSchedule() ? u"command"_s
                                                                                : u"schedule"_s}};
    if (power->until)
        p.insert(u"until"_s, isoTime(*power->until));
    return p;
}

QJsonArray refusals(const Gateway& gateway, const QString& sign) {
    QJsonArray list;
    for (const Refusal& r : gateway.refusals(sign))
        list.append(
            QJsonObject{{u"at"_s, isoTime(r.at)}, {u"topic"_s, r.topic}, {u"reason"_s, r.reason}});
    return list;
}

} // namespace

QImage signDots(const Sign& sign, const QDateTime& now) {
    return renderPanel(sign.panel(), now);
}

QString pictureKey(const QImage& dots) {
    return QString::number(qHash(QByteArrayView(dots.constBits(), dots.sizeInBytes())), 16);
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
    return {
        {u"name"_s, sign.name()},
        {u"device"_s, sign.device()},
        {u"gateway"_s, gateway.gatewayName()},
        {u"state"_s, stateWord(sign.state())},
        {u"since"_s, isoTime(sign.since())},
        {u"reason"_s, sign.reason()},
        {u"seconds_since_answer"_s, answered ? QJsonValue(double(*answered / 1000)) : QJsonValue()},
        {u"line"_s,
         QJsonObject{{u"link"_s, line.link()}, {u"load"_s, std::round(line.load() * 1000) / 1000}}},
        {u"power"_s, power(sign)},
        {u"units"_s, units(sign)},
        {u"refusals"_s, refusals(gateway, sign.name())},
        // Changes with what the sign shows, so that the page fetches the picture anew.
        {u"picture"_s, pictureKey(signDots(sign, now))},
    };
}

} // namespace zarnet::gateway
