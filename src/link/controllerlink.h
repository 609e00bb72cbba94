#pragma once

#include "seriallink.h"

#include <QByteArray>
#include <cstdint>

namespace zarnet {

class Messages;

// The addressed controller: the device number every request carries, and the
// one way frames reach the line.
class ControllerLink {
public:
    ControllerLink(SerialLink& serial, Messages& messages) : serial_(serial), messages_(messages) {}

    uint8_t device() const { return device_; }
    void setDevice(uint8_t device) { device_ = device; }

    SerialLink& serial() { return serial_; }

    // Writes the frame whole. A closed port or a refused write sends nothing
    // and tells the operator; returns whether the frame went out.
    bool send(const QByteArray& frame);
    // Sends a request that expects a reply of `replyLength` bytes, then arms the
    // receive threshold for it. A frame that did not go out leaves it as it was.
    bool sendExpectingReply(const QByteArray& frame, int replyLength);

private:
    SerialLink& serial_;
    Messages& messages_;
    uint8_t device_ = 255;
};

} // namespace zarnet
