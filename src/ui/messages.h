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

// Every text the window shows, in one place, in the window's language.
namespace text {
QString noUsablePort();
QString portOpenError();
QString portClosed();
QString sendFailed();
// A tcp:// address in the port box that names no link, and why.
QString badAddress(AddressFault fault);

QString foundDevice(int device);

QString startUnit();
QString unitCountDownload();
QString unitCountRead();
QString unitValue(int index);
// What the window says of a refused field: one table for every request.
QString refusal(const fields::Refusal& refusal);

QString xStart();
QString yStart();
QString width();
QString height();
QString imageTooLarge();
QString dailyStart();
QString dailyEnd();
QString rangeStart();
QString rangeEnd();
} // namespace text

// Tells the operator why a frame did not go out; true when it did.
bool reportSend(Messages& messages, SendResult result);

} // namespace zarnet
