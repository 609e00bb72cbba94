#pragma once

#include <core/linkaddress.h>
#include <core/refusal.h>
#include <link/controllerlink.h>

#include <QString>

namespace zarnet {

// What the operator is told: modal boxes titled "Zarnet" with one OK button.
// The window goes through this seam so that tests can stand in for the boxes.
class Messages {
public:
    virtual ~Messages() = default;
    // No icon: refusals and failures.
    virtual void error(const QString& text) = 0;
    // Information icon: the found-device report.
    virtual void information(const QString& text) = 0;
};

// Every text the window shows, in one place.
namespace text {
inline const QString NoUsablePort = QStringLiteral("没有可以使用的通讯端口");
inline const QString PortOpenError = QStringLiteral("端口打开错误~!");
inline const QString PortClosed = QStringLiteral("串口未打开，请先打开串口~!");
inline const QString SendFailed = QStringLiteral("数据发送失败~!");
// A tcp:// address in the port box that names no link, and why.
QString badAddress(AddressFault fault);

QString foundDevice(int device);

inline const QString StartUnit = QStringLiteral("起始单元须为 0 到 255 的整数~!");
inline const QString UnitCountDownload = QStringLiteral("单元数量须为 0 到 9 的整数~!");
inline const QString UnitCountRead = QStringLiteral("单元数量须为 0 到 255 的整数~!");
QString unitValue(int index);
// What the window says of a refused field: one table for every request.
QString refusal(const fields::Refusal& refusal);

inline const QString XStart = QStringLiteral("X起点须为 0 到 255 的整数~!");
inline const QString YStart = QStringLiteral("Y起点须为 0 到 255 的整数~!");
inline const QString Width = QStringLiteral("宽度须为 0 到 2047 的整数~!");
inline const QString Height = QStringLiteral("高度须为 0 到 255 的整数~!");
inline const QString ImageTooLarge = QStringLiteral("图像过大：宽度/8 × 高度不能超过 2048 字节~!");
inline const QString DailyStart =
    QStringLiteral("开始时间须为 hhmm：前两位为时，后两位为分，时×60+分在 0 到 4095 之间~!");
inline const QString DailyEnd =
    QStringLiteral("结束时间须为 hhmm：前两位为时，后两位为分，时×60+分在 0 到 4095 之间~!");
inline const QString RangeStart = QStringLiteral("开始值须为 0 到 255 的整数~!");
inline const QString RangeEnd = QStringLiteral("结束值须为 0 到 255 的整数~!");
} // namespace text

// Tells the operator why a frame did not go out; true when it did.
bool reportSend(Messages& messages, SendResult result);

} // namespace zarnet
