#pragma once

#include "seriallink.h"

#include <QByteArray>
#include <cstdint>

namespace zarnet {

// What became of a frame handed to the link.
enum class SendResult {
    Sent,
    PortClosed,  // nothing went out: no port is open
    WriteFailed, // the port refused the frame
};

// The addressed controller: the device number every request carries, and the
// one way frames reach the line.
class ControllerLink {
public:
    explicit ControllerLink(SerialLink& serial) : serial_(serial) {}

    uint8_t device() const { return device_; }
    void setDevice(uint8_t device) { device_ = device; }

    // Writes the frame whole; a closed port or a refused write sends nothing.
    SendResult send(const QByteArray& frame);
    // Sends a request that expects a reply of `replyLength` bytes, then arms the
    // receive threshold for it. A frame that did not go out leaves it as it was.
    SendResult sendExpectingReply(const QByteArray& frame, int replyLength);

private:
    SerialLink& serial_;
    uint8_t device_ = 255;
};

} // namespace zarnet
