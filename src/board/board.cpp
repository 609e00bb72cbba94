#include "board.h"

#include "boardschedule.h"

#include <link/frame.h>

#include <QStringList>

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

uint8_t at(const QByteArray& frame, qsizetype i) {
    return i >= 0 && i < frame.size() ? uint8_t(frame[i]) : 0;
}

QString hhmm(int minutes) {
    return u"%1:%2"_s.arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
}

QString describeSchedule(const QByteArray& frame) {
    const int mode = at(frame, 6) >> 4;
    const int start = (at(frame, 6) & 0x0F) * 256 + at(frame, 7);
    const int end = at(frame, 8) * 256 + at(frame, 9);
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
    switch (at(frame, 5)) {
    case PowerCode:
    case FindCode:
    case ClearDotsCode:
        return 9;
    case SetClockCode:
        return 14;
    case UnitShowNowCode:
    case UnitFixedCode:
        return 10 + 4 * at(frame, 7);
    case UnitReadCode:
        return 10;
    case DotImageCode:
        return 16 + at(frame, 12) * at(frame, 13);
    default:
        return 0;
    }
}

} // namespace

QString describeFrame(const QByteArray& frame, bool reply) {
    const uint8_t code = at(frame, 5);
    const QString prefix = u"0x%1 "_s.arg(code, 2, 16, QChar(u'0'));
    if (reply) {
        if (code == FindCode)
            return prefix + u"reply: device %1"_s.arg(at(frame, 6));
        if (code == UnitReadCode)
            return prefix +
                   u"reply: %1 values %2"_s.arg(at(frame, 7)).arg(valueList(frame, at(frame, 7)));
        return prefix + u"reply"_s;
    }
    switch (code) {
    case PowerCode:
        return prefix + (at(frame, 6) ? u"power on"_s : u"power off"_s);
    case SetClockCode:
        return prefix + u"clock 20%1-%2-%3 %4:%5:%6"_s.arg(at(frame, 6), 2, 10, QChar(u'0'))
                            .arg(at(frame, 7), 2, 10, QChar(u'0'))
                            .arg(at(frame, 8), 2, 10, QChar(u'0'))
                            .arg(at(frame, 9), 2, 10, QChar(u'0'))
                            .arg(at(frame, 10), 2, 10, QChar(u'0'))
                            .arg(at(frame, 11), 2, 10, QChar(u'0'));
    case FindCode:
        return prefix + u"connection test"_s;
    case UnitShowNowCode:
    case UnitFixedCode: {
        const int count = at(frame, 7);
        const QString kind = code == UnitShowNowCode ? u"show at once"_s : u"fixed display"_s;
        if (count == 0)
            return prefix + u"no units (%1)"_s.arg(kind);
        return prefix + u"units %1..%2 = %3 (%4)"_s.arg(at(frame, 6))
                            .arg(at(frame, 6) + count - 1)
                            .arg(valueList(frame, count), kind);
    }
    case UnitReadCode:
        return prefix + u"read %1 units from %2"_s.arg(at(frame, 7)).arg(at(frame, 6));
    case ClearDotsCode:
        return prefix + u"clear"_s;
    case DotImageCode:
        return prefix + u"image %1×%2 at (%3,%4), %5"_s.arg(8 * at(frame, 12))
                            .arg(at(frame, 13))
                            .arg(at(frame, 10))
                            .arg(at(frame, 11))
                            .arg(describeSchedule(frame));
    default:
        return prefix + u"unknown command"_s;
    }
}

Board::Board(uint8_t device, QSize panel) : device_(device), panel_(panel) {}

Board::Outcome Board::handle(const QByteArray& frame, const QDateTime& systemNow) {
    Outcome outcome;
    outcome.log = describeFrame(frame, false);
    if (at(frame, 3) != device_) {
        outcome.log += u" — for device %1, ignored"_s.arg(at(frame, 3));
        return outcome;
    }
    if (at(frame, 4) != Marker || expectedLength(frame) != frame.size()) {
        outcome.log += u" — malformed, ignored"_s;
        return outcome;
    }
    switch (at(frame, 5)) {
    case PowerCode:
        outcome.changed = powered_ != (at(frame, 6) != 0);
        powered_ = at(frame, 6) != 0;
        break;
    case SetClockCode: {
        const QDateTime set(QDate(2000 + at(frame, 6), at(frame, 7), at(frame, 8)),
                            QTime(at(frame, 9), at(frame, 10), at(frame, 11)));
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
        for (int i = 0; i < at(frame, 7); ++i)
            units_[(at(frame, 6) + i) % 256] = valueAt(frame, 8 + 4 * i);
        outcome.changed = true;
        break;
    case UnitReadCode: {
        QByteArray payload;
        payload.append(char(at(frame, 6)));
        payload.append(char(at(frame, 7)));
        for (int i = 0; i < at(frame, 7); ++i) {
            appendValue(payload, units_.value((at(frame, 6) + i) % 256, 0));
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
        image.schedule = {at(frame, 6), at(frame, 7), at(frame, 8), at(frame, 9)};
        image.x = at(frame, 10);
        image.y = at(frame, 11);
        image.bytesPerRow = at(frame, 12);
        image.rows = at(frame, 13);
        image.dots = frame.mid(14, image.bytesPerRow * image.rows);
        image_ = image;
        outcome.changed = true;
        break;
    }
    }
    return outcome;
}

QImage Board::renderPanel(const QDateTime& systemNow) const {
    QImage panel(panel_, QImage::Format_RGB32);
    panel.fill(Qt::black);
    if (!powered_ || !image_ || !scheduleActive(image_->schedule, clock(systemNow)))
        return panel;
    const BoardImage& image = *image_;
    const QRgb red = qRgb(255, 0, 0);
    for (int row = 0; row < image.rows; ++row) {
        for (int column = 0; column < 8 * image.bytesPerRow; ++column) {
            const uint8_t byte = uint8_t(image.dots[row * image.bytesPerRow + column / 8]);
            if (!(byte & (0x80 >> (column % 8))))
                continue;
            const int x = image.x + column;
            const int y = image.y + row;
            if (x < panel_.width() && y < panel_.height())
                panel.setPixel(x, y, red);
        }
    }
    return panel;
}

} // namespace zarnet
