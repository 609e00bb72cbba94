#include "controlcommands.h"

#include <link/controllerlink.h>
#include <link/requests.h>

#include <QPushButton>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace zarnet {

ControlCommands::ControlCommands(QWidget* form, ControllerLink& link, Clock clock)
    : QObject(form), link_(link), clock_(std::move(clock)) {
    auto wire = [this, form](const QString& name, void (ControlCommands::*handler)()) {
        connect(form->findChild<QPushButton*>(name), &QPushButton::clicked, this, handler);
    };
    wire(u"OpenPowCommand"_s, &ControlCommands::powerOn);
    wire(u"ClosePowCommand"_s, &ControlCommands::powerOff);
    wire(u"SeTimeCommand"_s, &ControlCommands::setTime);
    wire(u"FindCommand"_s, &ControlCommands::find);
    wire(u"ClsDotCommand"_s, &ControlCommands::clearDots);
}

void ControlCommands::powerOn() {
    link_.send(powerFrame(link_.device(), true));
}

void ControlCommands::powerOff() {
    link_.send(powerFrame(link_.device(), false));
}

void ControlCommands::setTime() {
    link_.send(clockFrame(link_.device(), clock_()));
}

void ControlCommands::find() {
    link_.sendExpectingReply(findFrame(link_.device()), FindReplyLength);
}

void ControlCommands::clearDots() {
    link_.send(clearFrame(link_.device()));
}

} // namespace zarnet
