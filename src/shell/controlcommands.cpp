#include "controlcommands.h"

#include <core/requests.h>
#include <link/controllerlink.h>
#include <ui/messages.h>

#include <QPushButton>

namespace zarnet {

ControlCommands::ControlCommands(const ControlGroup& group, QPushButton* clearDots,
                                 ControllerLink& link, Messages& messages, Clock clock,
                                 QObject* parent)
    : QObject(parent), link_(link), messages_(messages), clock_(std::move(clock)) {
    connect(group.powerOn, &QPushButton::clicked, this, &ControlCommands::powerOn);
    connect(group.powerOff, &QPushButton::clicked, this, &ControlCommands::powerOff);
    connect(group.setTime, &QPushButton::clicked, this, &ControlCommands::setTime);
    connect(group.find, &QPushButton::clicked, this, &ControlCommands::find);
    connect(clearDots, &QPushButton::clicked, this, &ControlCommands::clearDots);
}

void ControlCommands::powerOn() {
    reportSend(messages_, link_.send(powerFrame(link_.device(), true)));
}

void ControlCommands::powerOff() {
    reportSend(messages_, link_.send(powerFrame(link_.device(), false)));
}

void ControlCommands::setTime() {
    reportSend(messages_, link_.send(clockFrame(link_.device(), clock_())));
}

void ControlCommands::find() {
    reportSend(messages_, link_.sendExpectingReply(findFrame(link_.device()), FindReplyLength));
}

void ControlCommands::clearDots() {
    reportSend(messages_, link_.send(clearFrame(link_.device())));
}

} // namespace zarnet
