#include "messages.h"

using namespace Qt::StringLiterals;

namespace zarnet::text {

// The number stands with one leading blank, where the sign of a negative number would go.
QString foundDevice(int device) {
    return u"找到  %1 号设备~！"_s.arg(device);
}

QString unitValue(int index) {
    return u"第 %1 个数据须为 0 到 2147483647 之间的数~!"_s.arg(index + 1);
}

QString badAddress(AddressFault fault) {
    switch (fault) {
    case AddressFault::UnknownScheme:
        return u"地址无效：网络连接只支持 tcp://主机:端口~!"_s;
    case AddressFault::EmptyHost:
        return u"地址无效：缺少主机名~!"_s;
    case AddressFault::NoPort:
        return u"地址无效：缺少端口号（tcp://主机:端口）~!"_s;
    case AddressFault::BadPort:
        return u"地址无效：端口须为 1 到 65535 的整数~!"_s;
    }
    return {};
}

QString refusal(const fields::Refusal& refusal) {
    using fields::Field;
    switch (refusal.field) {
    case Field::DownloadStart:
    case Field::ReadStart:
        return StartUnit;
    case Field::DownloadCount:
        return UnitCountDownload;
    case Field::ReadCount:
        return UnitCountRead;
    case Field::UnitValue:
        return unitValue(refusal.index);
    case Field::XStart:
        return XStart;
    case Field::YStart:
        return YStart;
    case Field::Width:
        return Width;
    case Field::Height:
        return Height;
    case Field::ImageSize:
        return ImageTooLarge;
    case Field::DailyStart:
        return DailyStart;
    case Field::DailyEnd:
        return DailyEnd;
    case Field::RangeStart:
        return RangeStart;
    case Field::RangeEnd:
        return RangeEnd;
    }
    return {};
}

} // namespace zarnet::text

namespace zarnet {

bool reportSend(Messages& messages, SendResult result) {
    switch (result) {
    case SendResult::Sent:
        return true;
    case SendResult::PortClosed:
        messages.error(text::PortClosed);
        return false;
    case SendResult::WriteFailed:
        messages.error(text::SendFailed);
        return false;
    }
    return false;
}

} // namespace zarnet
