#include "payloads.h"

#include <canvas/dotcanvas.h>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

QString describe(const PayloadRefusal& refusal) {
    using Fault = PayloadRefusal::Fault;
    switch (refusal.fault) {
    case Fault::NotJson:
        return u"not JSON: %1 at byte %2"_s.arg(refusal.detail).arg(refusal.number);
    case Fault::NotObject:
        return u"not a JSON object"_s;
    case Fault::NoUnits:
        return u"no units given"_s;
    case Fault::UnknownUnit:
        return u"unknown unit \"%1\": units are 0..255, or a name the sign gives one"_s.arg(
            refusal.detail);
    case Fault::Value:
        return u"a unit value takes a whole number 0..%1"_s.arg(MaxUnitValue);
    case Fault::UnitValue:
        return u"unit %1 takes a whole number 0..%2"_s.arg(refusal.detail).arg(MaxUnitValue);
    case Fault::Power:
        return u"power takes on or off"_s;
    case Fault::Clock:
        return u"clock takes nothing (now) or \"YYYY-MM-DD hh:mm:ss\", years 2000..2099"_s;
    case Fault::ShowFor:
        return u"for takes a time such as \"30s\", \"10m\" or \"2h\", at most 24h"_s;
    case Fault::UnknownKey:
        return u"unknown key \"%1\""_s.arg(refusal.detail);
    case Fault::TextOrPicture:
        return u"give one of \"text\" or \"bmp\""_s;
    case Fault::TextType:
        return u"text takes a string"_s;
    case Fault::TextLength:
        return u"text takes at most %1 characters"_s.arg(MaxTextLength);
    case Fault::Font:
        return u"font takes a family name"_s;
    case Fault::Size:
        return u"size takes points, more than 0 and at most 1000"_s;
    case Fault::FontWithPicture:
        return u"font and size go with text"_s;
    case Fault::Picture:
        return u"bmp takes a picture file in base64"_s;
    case Fault::WindowShape:
        return u"window takes [x, y, w, h]"_s;
    case Fault::WindowNumbers:
        return u"window takes [x, y, w, h], each a number"_s;
    case Fault::ScheduleText:
        return u"schedule: a text schedule can only be \"always\""_s;
    case Fault::ScheduleShape:
        return u"schedule: takes \"always\" or {\"mode\", \"start\", \"end\"}"_s;
    case Fault::ScheduleKey:
        return u"schedule: unknown key \"%1\""_s.arg(refusal.detail);
    case Fault::ScheduleMode:
        return u"schedule: mode takes always, daily, weekdays or dates"_s;
    case Fault::ScheduleField:
        return u"schedule: %1 takes a number or a text"_s.arg(refusal.detail);
    case Fault::Image:
        break;
    }
    return describe(refusal.image);
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

} // namespace zarnet::gateway
