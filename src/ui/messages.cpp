#include "messages.h"

#include <QCoreApplication>

namespace zarnet::text {

namespace {

QString translated(const char* source) {
    return QCoreApplication::translate("Messages", source);
}

} // namespace

QString noUsablePort() {
    return translated(QT_TRANSLATE_NOOP("Messages", "没有可以使用的通讯端口"));
}

QString portOpenError() {
    return translated(QT_TRANSLATE_NOOP("Messages", "端口打开错误~!"));
}

QString portClosed() {
    return translated(QT_TRANSLATE_NOOP("Messages", "串口未打开，请先打开串口~!"));
}

QString sendFailed() {
    return translated(QT_TRANSLATE_NOOP("Messages", "数据发送失败~!"));
}

// The number stands with one leading blank, where the sign of a negative number would go.
QString foundDevice(int device) {
    return translated(QT_TRANSLATE_NOOP("Messages", "找到  %1 号设备~！")).arg(device);
}

QString startUnit() {
    return translated(QT_TRANSLATE_NOOP("Messages", "起始单元须为 0 到 255 的整数~!"));
}

QString unitCountDownload() {
    return translated(QT_TRANSLATE_NOOP("Messages", "单元数量须为 0 到 9 的整数~!"));
}

QString unitCountRead() {
    return translated(QT_TRANSLATE_NOOP("Messages", "单元数量须为 0 到 255 的整数~!"));
}

QString unitValue(int index) {
    return translated(QT_TRANSLATE_NOOP("Messages", "第 %1 个数据须为 0 到 2147483647 之间的数~!"))
        .arg(index + 1);
}

QString xStart() {
    return translated(QT_TRANSLATE_NOOP("Messages", "X起点须为 0 到 255 的整数~!"));
}

QString yStart() {
    return translated(QT_TRANSLATE_NOOP("Messages", "Y起点须为 0 到 255 的整数~!"));
}

QString width() {
    return translated(QT_TRANSLATE_NOOP("Messages", "宽度须为 0 到 2047 的整数~!"));
}

QString height() {
    return translated(QT_TRANSLATE_NOOP("Messages", "高度须为 0 到 255 的整数~!"));
}

QString imageTooLarge() {
    return translated(QT_TRANSLATE_NOOP("Messages", "图像过大：宽度/8 × 高度不能超过 2048 字节~!"));
}

QString dailyStart() {
    return translated(QT_TRANSLATE_NOOP(
        "Messages", "开始时间须为 hhmm：前两位为时，后两位为分，时×60+分在 0 到 4095 之间~!"));
}

QString dailyEnd() {
    return translated(QT_TRANSLATE_NOOP(
        "Messages", "结束时间须为 hhmm：前两位为时，后两位为分，时×60+分在 0 到 4095 之间~!"));
}

QString rangeStart() {
    return translated(QT_TRANSLATE_NOOP("Messages", "开始值须为 0 到 255 的整数~!"));
}

QString rangeEnd() {
    return translated(QT_TRANSLATE_NOOP("Messages", "结束值须为 0 到 255 的整数~!"));
}

QString badAddress(AddressFault fault) {
    switch (fault) {
    case AddressFault::UnknownScheme:
        return translated(
            QT_TRANSLATE_NOOP("Messages", "地址无效：网络连接只支持 tcp://主机:端口~!"));
    case AddressFault::EmptyHost:
        return translated(QT_TRANSLATE_NOOP("Messages", "地址无效：缺少主机名~!"));
    case AddressFault::NoPort:
        return translated(
            QT_TRANSLATE_NOOP("Messages", "地址无效：缺少端口号（tcp://主机:端口）~!"));
    case AddressFault::BadPort:
        return translated(QT_TRANSLATE_NOOP("Messages", "地址无效：端口须为 1 到 65535 的整数~!"));
    }
    return {};
}

QString refusal(const fields::Refusal& refusal) {
    using fields::Field;
    switch (refusal.field) {
    case Field::DownloadStart:
    case Field::ReadStart:
        return startUnit();
    case Field::DownloadCount:
        return unitCountDownload();
    case Field::ReadCount:
        return unitCountRead();
    case Field::UnitValue:
        return unitValue(refusal.index);
    case Field::XStart:
        return xStart();
    case Field::YStart:
        return yStart();
    case Field::Width:
        return width();
    case Field::Height:
        return height();
    case Field::ImageSize:
        return imageTooLarge();
    case Field::DailyStart:
        return dailyStart();
    case Field::DailyEnd:
        return dailyEnd();
    case Field::RangeStart:
        return rangeStart();
    case Field::RangeEnd:
        return rangeEnd();
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
        messages.error(text::portClosed());
        return false;
    case SendResult::WriteFailed:
        messages.error(text::sendFailed());
        return false;
    }
    return false;
}

} // namespace zarnet
