#include "board.h"

#include "boardschedule.h"

#include <core/frame.h>

#include <QStringList>

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

QString hhmm(int minutes) {
    return u"%1:%2"_s.arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
}

QString describeSchedule(const QByteArray& frame) {
    const FrameView f(frame);
    const int mode = f.payloadAt(0) >> 4;
    const int start = (f.payloadAt(0) & 0x0F) * 256 + f.payloadAt(1);
    const int end = f.payloadAt(2) * 256 + f.payloadAt(3);
    switch (mode) {
    case 0:
        return u"always"_s;
    case 1:
        return u"daily %1–%2"_s.arg(hhmm(start), hhmm(end));
    case 2:
        return u"weekdays %1–%2"_s.arg(start).arg(end);
    case 3:
        return u"days %1–%2"_s.arg(start).arg(end);
    default:
        return u"schedule mode %1"_s.arg(mode);
    }
}

QString valueList(const QByteArray& frame, int count) {
    QStringList values;
    for (int i = 0; i < count && 11 + 4 * i < frame.size() - 2; ++i)
        values.append(QString::number(valueAt(frame, 8 + 4 * i)));
    return values.join(u", ");
}

// The length each request must have for its command code; 0 when unknown.
int expectedLength(const QByteArray& frame) {
    const FrameView f(frame);
    switch (f.code()) {
    case PowerCode:
    case FindCode:
    case ClearDotsCode:
        return 9;
    case SetClockCode:
        return 14;
    case UnitShowNowCode:
    case UnitFixedCode:
        return 10 + 4 * f.payloadAt(1);
    case UnitReadCode:
        return 10;
    case DotImageCode:
        return 16 + f.payloadAt(6) * f.payloadAt(7);
    default:
        return 0;
    }
}

} // namespace

QString describeFrame(const QByteArray& frame, bool reply) {
    const FrameView f(frame);
    const uint8_t code = f.code();
    const QString prefix = u"0x%1 "_s.arg(code, 2, 16, QChar(u'0'));
    if (reply) {
        if (code == FindCode)
            return prefix + u"reply: device %1"_s.arg(f.payloadAt(0));
        if (code == UnitReadCode)
            return prefix + u"reply: %1 values %2"_s.arg(f.payloadAt(1))
                                .arg(valueList(frame, f.payloadAt(1)));
        return prefix + u"reply"_s;
    }
    switch (code) {
    case PowerCode:
        return prefix + (f.payloadAt(0) ? u"power on"_s : u"power off"_s);
    case SetClockCode:
        return prefix + u"clock 20%1-%2-%3 %4:%5:%6"_s.arg(f.payloadAt(0), 2, 10, QChar(u'0'))
                            .arg(f.payloadAt(1), 2, 10, QChar(u'0'))
                            .arg(f.payloadAt(2), 2, 10, QChar(u'0'))
                            .arg(f.payloadAt(3), 2, 10, QChar(u'0'))
                            .arg(f.payloadAt(4), 2, 10, QChar(u'0'))
                            .arg(f.payloadAt(5), 2, 10, QChar(u'0'));
    case FindCode:
        return prefix + u"connection test"_s;
    case UnitShowNowCode:
    case UnitFixedCode: {
        const int count = f.payloadAt(1);
        const QString kind = code == UnitShowNowCode ? u"show at once"_s : u"fixed display"_s;
        if (count == 0)
            return prefix + u"no units (%1)"_s.arg(kind);
        return prefix + u"units %1..%2 = %3 (%4)"_s.arg(f.payloadAt(0))
                            .arg(f.payloadAt(0) + count - 1)
                            .arg(valueList(frame, count), kind);
    }
    case UnitReadCode:
        return prefix + u"read %1 units from %2"_s.arg(f.payloadAt(1)).arg(f.payloadAt(0));
    case ClearDotsCode:
        return prefix + u"clear"_s;
    case DotImageCode:
        return prefix + u"image %1×%2 at (%3,%4), %5"_s.arg(8 * f.payloadAt(6))
                            .arg(f.payloadAt(7))
                            .arg(f.payloadAt(4))
                            .arg(f.payloadAt(5))
                            .arg(describeSchedule(frame));
    default:
        return prefix + u"unknown command"_s;
    }
}

Board::Board(uint8_t device, QSize panel) : device_(device), panel_(panel) {}

Board::Outcome Board::handle(const QByteArray& frame, const QDateTime& systemNow) {
    const FrameView f(frame);
    Outcome outcome;
    outcome.log = describeFrame(frame, false);
    if (f.device() != device_) {
        outcome.log += u" — for device %1, ignored"_s.arg(f.device());
        return outcome;
    }
    if (f.marker() != Marker || expectedLength(frame) != frame.size()) {
        outcome.log += u" — malformed, ignored"_s;
        return outcome;
    }
    switch (f.code()) {
    case PowerCode:
        outcome.changed = powered_ != (f.payloadAt(0) != 0);
        powered_ = f.payloadAt(0) != 0;
        break;
    case SetClockCode: {
        const QDateTime set(QDate(2000 + f.payloadAt(0), f.payloadAt(1), f.payloadAt(2)),
                            QTime(f.payloadAt(3), f.payloadAt(4), f.payloadAt(5)));
        if (!set.isValid()) {
            outcome.log += u" — not a valid time, ignored"_s;
            return outcome;
        }
        clockOffset_ = systemNow.secsTo(set);
        outcome.changed = true;
        break;
    }
    case FindCode:
        outcome.reply = buildReply(device_, FindCode, QByteArray(1, char(device_)));
        break;
    case UnitShowNowCode:
    case UnitFixedCode:
        for (int i = 0; i < f.payloadAt(1); ++i)
            units_[(f.payloadAt(0) + i) % 256] = valueAt(frame, 8 + 4 * i);
        outcome.changed = true;
        break;
    case UnitReadCode: {
        QByteArray payload;
        payload.append(char(f.payloadAt(0)));
        payload.append(char(f.payloadAt(1)));
        for (int i = 0; i < f.payloadAt(1); ++i) {
            appendValue(payload, units_.value((f.payloadAt(0) + i) % 256, 0));
        }
        outcome.reply = buildReply(device_, UnitReadCode, payload);
        break;
    }
    case ClearDotsCode:
        outcome.changed = image_.has_value();
        image_.reset();
        break;
    case DotImageCode: {
        BoardImage image;
        image.schedule = {f.payloadAt(0), f.payloadAt(1), f.payloadAt(2), f.payloadAt(3)};
        image.x = f.payloadAt(4);
        image.y = f.payloadAt(5);
        image.bytesPerRow = f.payloadAt(6);
        image.rows = f.payloadAt(7);
        image.dots = frame.mid(14, qsizetype(image.bytesPerRow) * image.rows);
        image_ = image;
        outcome.changed = true;
        break;
    }
    }
    return outcome;
}

} // namespace zarnet
