#include "signline.h"

#include <core/frame.h>
#include <core/logging.h>
#include <core/requests.h>
#include <link/portcatalog.h>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

QString openFailure(OpenResult result) {
    switch (result) {
    case OpenResult::NoSuchPort:
        return u"no such port"_s;
    case OpenResult::PortInUse:
        return u"the port is in use by another program"_s;
    default:
        return u"the link cannot be opened"_s;
    }
}

} // namespace

SignLine::SignLine(const SignConfig& config, const PortCatalog& ports, const PlantClock& clock,
                   QObject* parent)
    : QObject(parent), config_(config), ports_(ports), link_(serial_), reception_(serial_),
      clock_(clock) {
    link_.setDevice(config_.device);
    since_ = clock_.now();
    health_.setInterval(config_.healthSeconds * 1000);
    connect(&health_, &QTimer::timeout, this, [this] {
        testDue_ = true;
        pump();
    });
    replyTimeout_.setSingleShot(true);
    connect(&replyTimeout_, &QTimer::timeout, this, [this] {
        fail(u"no answer to the connection test within %1 ms"_s.arg(replyTimeout_.interval()));
    });
    writeTimeout_.setSingleShot(true);
    connect(&writeTimeout_, &QTimer::timeout, this,
            [this] { fail(u"a frame could not be written to the line in time"_s); });
    reopen_.setSingleShot(true);
    connect(&reopen_, &QTimer::timeout, this, &SignLine::open);
    onWire_.setSingleShot(true);
    onWire_.setTimerType(Qt::PreciseTimer);
    connect(&onWire_, &QTimer::timeout, this, [this] {
        if (writing_ && handedOver_)
            frameDone();
    });
    clockCheck_.setInterval(clock_.realMs(15000));
    connect(&clockCheck_, &QTimer::timeout, this, &SignLine::checkClockSync);

    connect(&serial_, &SerialLink::opened, this, &SignLine::onOpened);
    connect(&serial_, &SerialLink::hungUp, this, [this] { fail(u"the line hung up"_s); });
    connect(&serial_, &QtSerialLink::allWritten, this, &SignLine::onWritten);
    connect(&reception_, &ReplyReception::deviceFound, this, &SignLine::onDeviceFound);
    connect(&reception_, &ReplyReception::rejected, this, [this](const QString& why) {
        if (awaitingReply_)
            fail(u"the answer to the connection test failed its checks: "_s + why);
    });
    connect(&reception_, &ReplyReception::unitValues, this, [this] {
        if (awaitingReply_)
            fail(u"a unit read reply came instead of the connection test's"_s);
    });
    if (!config_.image.isEmpty())
        qCDebug(lcGateway) << "sign" << config_.name << "has a configured image";
}

void SignLine::start() {
    if (config_.clockSync)
        clockCheck_.start();
    open();
}

void SignLine::open() {
    if (stopping_)
        return;
    const auto device = ports_.device(config_.link);
    const OpenResult result = device ? serial_.open(*device) : OpenResult::NoSuchPort;
    if (result != OpenResult::Connecting)
        onOpened(result);
}

void SignLine::onOpened(OpenResult result) {
    if (result != OpenResult::Opened) {
        fail(openFailure(result));
        return;
    }
    qCDebug(lcGateway).noquote() << config_.name << ": link" << config_.link << "open";
    serial_.discardWaiting();
    testDue_ = true; // the sign is online once it answers
    pump();
}

void SignLine::setUnit(uint8_t unit, uint32_t value) {
    table_.set(unit, value);
    pumpSoon();
    emit unitArrived(unit, value);
}

void SignLine::substitute(uint8_t unit, uint32_t value) {
    table_.set(unit, value);
    pumpSoon();
}

void SignLine::setPower(bool on) {
    power_ = on;
    commands_.put(CommandQueue::Kind::Power, powerFrame(config_.device, on));
    pumpSoon();
}

void SignLine::setClock(const std::optional<QDateTime>& at) {
    commands_.put(CommandQueue::Kind::Clock, at ? clockFrame(config_.device, *at) : QByteArray());
    pumpSoon();
}

// A cleared sign stays clear: its last image is not sent again after a reconnect.
void SignLine::clear() {
    // An image still waiting to be drawn goes out before the clear, as it came.
    if (drawing_ && instead_.isEmpty() && commands_.contains(CommandQueue::Kind::Image))
        if (const QByteArray frame = ownImage(); !frame.isEmpty())
            commands_.put(CommandQueue::Kind::Image, frame);
    image_.clear();
    drawing_ = nullptr;
    commands_.put(CommandQueue::Kind::Clear, clearFrame(config_.device));
    // A picture shown in place of the sign's own (a warning) stays, as it would
    // after a reconnect.
    if (!instead_.isEmpty())
        commands_.put(CommandQueue::Kind::Image, instead_);
    pumpSoon();
}

void SignLine::setImage(const QByteArray& frame) {
    image_ = frame;
    drawing_ = nullptr;
    if (!instead_.isEmpty())
        return;
    commands_.put(CommandQueue::Kind::Image, frame);
    pumpSoon();
}

// An image command with no frame stands for the sign's own image, drawn as it goes out.
void SignLine::drawImage(ImageDrawing drawing) {
    drawing_ = std::move(drawing);
    if (!instead_.isEmpty())
        return;
    commands_.put(CommandQueue::Kind::Image, {});
    pumpSoon();
}

// A drawing that fails leaves the image the sign already has.
QByteArray SignLine::ownImage() {
    if (drawing_) {
        const auto drawn = drawing_();
        drawing_ = nullptr;
        if (drawn)
            image_ = *drawn;
        else
            return {};
    }
    return image_;
}

void SignLine::showInstead(const QByteArray& frame) {
    instead_ = frame;
    commands_.put(CommandQueue::Kind::Image, frame);
    pumpSoon();
}

// Without an image of its own the sign is cleared, so the other picture goes.
void SignLine::showOwn() {
    if (instead_.isEmpty())
        return;
    instead_.clear();
    if (image_.isEmpty() && !drawing_)
        commands_.put(CommandQueue::Kind::Clear, clearFrame(config_.device));
    else
        commands_.put(CommandQueue::Kind::Image, {});
    pumpSoon();
}

// Commands that come together (a batch, or messages read in one go) are taken
// together, so consecutive units share frames.
void SignLine::pumpSoon() {
    if (pumpQueued_)
        return;
    pumpQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            pumpQueued_ = false;
            pump();
        },
        Qt::QueuedConnection);
}

// Sends the next frame when the line is free: the connection test when due, then
// the commands in the order they came, then the units.
void SignLine::pump() {
    if (writing_ || awaitingReply_ || !serial_.isOpen() || stopping_)
        return;
    if (testDue_) {
        testDue_ = false;
        awaitingReply_ = true;
        // A stray byte left on the line would spoil the answer and take the sign offline.
        serial_.clearInput();
        replyTimeout_.start(std::min(ReplyTimeoutMs, config_.healthSeconds * 1000));
        if (link_.sendExpectingReply(findFrame(config_.device), FindReplyLength) !=
            SendResult::Sent)
            fail(u"the connection test could not be written"_s);
        return;
    }
    if (state_ != State::Online)
        return;
    while (auto next = commands_.take()) {
        QByteArray frame = next->frame;
        if (frame.isEmpty() && next->kind == CommandQueue::Kind::Image)
            frame = ownImage();
        else if (frame.isEmpty())
            frame = clockFrame(config_.device, clock_.now());
        if (frame.isEmpty())
            continue; // an image that could not be drawn
        commandOnWire_ = next;
        send(frame);
        return;
    }
    if (auto run = table_.takeRun()) {
        runOnWire_ = *run;
        send(unitWriteFrame(config_.device, UnitShowNowCode, *run));
    }
}

// The line counts as busy until the system has taken the frame and the frame has
// had its time on the wire at 115200 baud. Otherwise frames would pile up in the
// system's buffer, where a newer value can no longer replace an older one.
void SignLine::send(const QByteArray& frame) {
    writing_ = true;
    handedOver_ = false;
    const int wire = SerialLink::wireMs(frame.size());
    writeTimeout_.start(wire + WriteMarginMs);
    onWire_.start(wire);
    if (link_.send(frame) != SendResult::Sent)
        fail(u"the line refused a frame"_s);
}

void SignLine::onWritten() {
    if (!writing_)
        return;
    handedOver_ = true;
    if (!onWire_.isActive())
        frameDone();
}

void SignLine::frameDone() {
    writing_ = false;
    writeTimeout_.stop();
    commandOnWire_.reset();
    if (runOnWire_) {
        const UnitWrite run = *runOnWire_;
        runOnWire_.reset();
        table_.written(run);
        emit unitsWritten(run);
    }
    if (stopping_) {
        finishStop();
        return;
    }
    pump();
}

void SignLine::onDeviceFound(int device) {
    if (!awaitingReply_)
        return;
    if (config_.device != 255 && device != config_.device) {
        fail(u"device %1 answered the connection test for device %2"_s.arg(device).arg(
            config_.device));
        return;
    }
    answered();
}

std::optional<qint64> SignLine::sinceLastAnswerMs() const {
    if (!lastAnswer_.isValid())
        return std::nullopt;
    return lastAnswer_.elapsed();
}

void SignLine::answered() {
    awaitingReply_ = false;
    lastAnswer_.start();
    replyTimeout_.stop();
    // The next test is one interval after this answer, not sooner.
    testDue_ = false;
    health_.start();
    if (state_ != State::Online) {
        backOffMs_ = 1000;
        // A controller that was away may have restarted: everything known goes again.
        table_.resendAll();
        if (!instead_.isEmpty() || !image_.isEmpty() || drawing_)
            commands_.putBack({CommandQueue::Kind::Image, instead_});
        if (power_)
            commands_.putBack({CommandQueue::Kind::Power, powerFrame(config_.device, *power_)});
        setState(State::Online, u"the sign answers the connection test"_s);
    }
    pump();
}

void SignLine::fail(const QString& reason) {
    writeTimeout_.stop();
    onWire_.stop();
    replyTimeout_.stop();
    health_.stop();
    if (runOnWire_) {
        table_.failed(*runOnWire_);
        runOnWire_.reset();
    }
    if (commandOnWire_) { // it may not have reached the sign: it goes again
        commands_.putBack(*commandOnWire_);
        commandOnWire_.reset();
    }
    writing_ = false;
    awaitingReply_ = false;
    testDue_ = false;
    serial_.close();
    if (stopping_) {
        finishStop();
        return;
    }
    qCWarning(lcGateway).noquote()
        << config_.name << "offline:" << reason << "- trying again in" << backOffMs_ / 1000 << "s";
    setState(State::Offline, reason);
    reopen_.start(backOffMs_);
    backOffMs_ = std::min(backOffMs_ * 2, MaxBackOffMs);
}

void SignLine::setState(State state, const QString& reason) {
    if (state == state_ && reason == reason_)
        return;
    if (state != state_)
        since_ = clock_.now();
    state_ = state;
    reason_ = reason;
    if (state == State::Online)
        qCInfo(lcGateway).noquote() << config_.name << "online";
    emit stateChanged();
}

void SignLine::stop() {
    stopping_ = true;
    health_.stop();
    reopen_.stop();
    clockCheck_.stop();
    replyTimeout_.stop();
    if (writing_)
        return; // onWritten() or the write timeout ends it
    QMetaObject::invokeMethod(this, &SignLine::finishStop, Qt::QueuedConnection);
}

void SignLine::finishStop() {
    if (stoppedSent_)
        return;
    stoppedSent_ = true;
    serial_.close();
    emit stopped();
}

void SignLine::checkClockSync() {
    const QDateTime now = clock_.now();
    if (!config_.clockSync || clockSetOn_ == now.date())
        return;
    const int late = config_.clockSync->secsTo(now.time());
    if (late >= 0 && late < 60) {
        clockSetOn_ = now.date();
        setClock(std::nullopt);
    }
}

} // namespace zarnet::gateway
