#include "line.h"

#include "gatewaylog.h"
#include "linescheduler.h"
#include "sign.h"

#include <core/requests.h>
#include <link/linklog.h>
#include <link/portcatalog.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

QString openFailure(OpenResult result) {
    switch (result) {
    case OpenResult::NoSuchPort:
        return u"no such port"_s;
    case OpenResult::PortInUse:
        return u"the port is in use by another program"_s;
    case OpenResult::Opened:
    case OpenResult::Failed:
    case OpenResult::Connecting:
        break;
    }
    return u"the link cannot be opened"_s;
}

} // namespace

Line::Line(const LineConfig& config, const PortCatalog& ports, QObject* parent)
    : QObject(parent), config_(config), ports_(ports), reception_(serial_) {
    clock_.start();
    load_ = LineLoad(nowUs());
    for (QTimer* timer : {&onWire_, &writeTimeout_, &answerWait_, &gap_, &reopen_})
        timer->setSingleShot(true);
    onWire_.setTimerType(Qt::PreciseTimer);
    answerWait_.setTimerType(Qt::PreciseTimer);
    gap_.setTimerType(Qt::PreciseTimer);
    connect(&onWire_, &QTimer::timeout, this, [this] {
        if (turn_ == Turn::Writing && handedOver_)
            commandDone();
    });
    connect(&writeTimeout_, &QTimer::timeout, this,
            [this] { fail(u"a frame could not be written to the line in time"_s); });
    connect(&answerWait_, &QTimer::timeout, this,
            [this] { testOver(TestOutcome::NoAnswer, config_.responseMs); });
    connect(&gap_, &QTimer::timeout, this, [this] {
        turn_ = Turn::Idle;
        pump();
    });
    connect(&reopen_, &QTimer::timeout, this, &Line::open);
    connect(&serial_, &SerialLink::opened, this, &Line::onOpened);
    connect(&serial_, &SerialLink::hungUp, this, [this] { fail(u"the line hung up"_s); });
    connect(&serial_, &SerialLink::allWritten, this, &Line::onWritten);
    connect(&reception_, &ReplyReception::deviceFound, this, &Line::onDeviceFound);
    connect(&reception_, &ReplyReception::rejected, this, &Line::onRejected);
    connect(&reception_, &ReplyReception::unitValues, this, &Line::onRejected);
}

void Line::add(Sign& sign) {
    signs_.append(&sign);
    connect(&sign, &Sign::wantsLine, this, &Line::wake);
    // A sign joining a running line learns where it stands.
    if (state_ == State::Open)
        sign.lineUp();
    else if (state_ == State::Down)
        sign.lineDown(downReason_);
}

void Line::remove(Sign& sign) {
    disconnect(&sign, nullptr, this, nullptr);
    signs_.removeOne(&sign);
    silent_.remove(&sign);
    for (auto it = unanswered_.begin(); it != unanswered_.end();)
        it = it.value() == &sign ? unanswered_.erase(it) : std::next(it);
    if (current_ != &sign)
        return;
    // The wait for its answer runs out as it would have: an answer now is no other
    // sign's.
    current_ = nullptr;
    if (turn_ == Turn::Writing)
        sign.commandLost(); // it may not have arrived: it goes again when the sign is served
}

double Line::load() const {
    return load_.share(nowUs());
}

void Line::start() {
    open();
}

void Line::open() {
    if (stopping_)
        return;
    state_ = State::Opening;
    const auto device = ports_.device(config_.link);
    const OpenResult result = device ? serial_.open(*device) : OpenResult::NoSuchPort;
    if (result != OpenResult::Connecting)
        onOpened(result);
}

void Line::onOpened(OpenResult result) {
    emit tried();
    if (result != OpenResult::Opened) {
        fail(openFailure(result));
        return;
    }
    qCDebug(lcGateway).noquote() << "line" << config_.link << "open";
    state_ = State::Open;
    turn_ = Turn::Idle;
    silent_.clear();
    serial_.discardWaiting();
    for (Sign* sign : signs_)
        sign->lineUp(); // each is online once it answers
}

// Work that comes together (a batch, or messages read in one go) is taken
// together, so consecutive units share frames.
void Line::wake() {
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

void Line::pump() {
    while (state_ == State::Open && turn_ == Turn::Idle && !stopping_) {
        if (writeGate_ && !writeGate_())
            return;
        QList<LineWant> wants;
        wants.reserve(signs_.size());
        for (const Sign* sign : signs_)
            wants.append({sign->hasCommand(), sign->testDue(), sign->testWaitingMs()});
        const auto turn = nextTurn(wants, next_);
        if (!turn)
            return;
        next_ = turn->sign + 1;
        Sign& sign = *signs_[turn->sign];
        if (turn->test) {
            if (lineSilent())
                openAgain();
            else
                sendTest(sign);
            return;
        }
        // An image that could not be drawn leaves nothing to send: the next turn.
        if (const QByteArray frame = sign.takeCommand(); !frame.isEmpty()) {
            sendCommand(sign, frame);
            return;
        }
    }
}

// The line counts as busy until the system has taken the frame and the frame has
// had its time on the wire at 115200 baud, and the gap after it. Otherwise frames
// would pile up in the system's buffer, where a newer value can no longer replace
// an older one. One timer covers both, so a frame costs one wake-up.
void Line::sendCommand(Sign& sign, const QByteArray& frame) {
    serial_.discardWaiting();
    turn_ = Turn::Writing;
    current_ = &sign;
    handedOver_ = false;
    busyFromUs_ = nowUs();
    wireUs_ = SerialLink::wireUs(frame.size());
    const int wireAndGap = int((wireUs_ + qint64{config_.gapMs} * 1000 + 999) / 1000);
    writeTimeout_.start(wireAndGap + WriteMarginMs);
    onWire_.start(wireAndGap);
    put(frame);
}

// A stray byte left on the line would spoil the answer: the input is emptied first.
void Line::sendTest(Sign& sign) {
    serial_.discardWaiting();
    const QByteArray frame = sign.takeTest();
    turn_ = Turn::Answer;
    current_ = &sign;
    unanswered_.remove(sign.device()); // a fresh wait
    busyFromUs_ = nowUs();
    wireUs_ = 0;
    answerWait_.start(SerialLink::wireMs(frame.size()) + config_.responseMs);
    serial_.setReceiveThreshold(FindReplyLength);
    put(frame);
}

void Line::put(const QByteArray& frame) {
    qCDebug(lcLinkBytes).noquote() << ">" << frame.toHex(' ').toUpper();
    if (!serial_.write(frame)) {
        fail(u"the line refused a frame"_s);
        return;
    }
    ++framesSent_;
    bytesSent_ += quint64(frame.size());
    serial_.flush(); // over TCP on its way now, not when the loop comes round
}

// Taken by the system later than its time on the wire: the gap still follows it.
void Line::onWritten() {
    if (turn_ != Turn::Writing || handedOver_)
        return;
    handedOver_ = true;
    if (!onWire_.isActive())
        onWire_.start(config_.gapMs);
}

void Line::commandDone() {
    writeTimeout_.stop();
    Sign* sign = std::exchange(current_, nullptr);
    load_.busy(busyFromUs_, busyFromUs_ + wireUs_);
    turn_ = Turn::Idle; // the gap has passed with the frame's time
    if (sign)
        sign->commandWritten();
    if (stopping_)
        finishStop();
    else
        pump();
}

// The answer of a sign whose wait ran out, coming during the next test, is that
// sign's late answer: the next one's answer may still come.
void Line::onDeviceFound(int device) {
    silent_.clear(); // the line works
    if (stopping_)
        return;
    const bool current = turn_ == Turn::Answer && current_ &&
                         (current_->device() == device || current_->device() == 255);
    if (!current && (unanswered_.contains(device) || unanswered_.contains(255))) {
        lateAnswer(device);
        return;
    }
    if (turn_ != Turn::Answer)
        return;
    if (current)
        testOver(TestOutcome::Answered, 0);
    else
        testOver(TestOutcome::OtherDevice, device);
}

// The controller is there, only slow: its line works.
void Line::lateAnswer(int device) {
    Sign* sign = unanswered_.contains(device) ? unanswered_.take(device) : unanswered_.take(255);
    sign->tested(TestOutcome::Late, config_.responseMs);
}

// Bytes that are no reply while an answer is awaited: two controllers answered
// at once, or noise. At any other time they are dropped before the next frame.
void Line::onRejected() {
    silent_.clear();
    if (turn_ == Turn::Answer)
        testOver(TestOutcome::Garbled, 0);
}

void Line::testOver(TestOutcome outcome, int detail) {
    answerWait_.stop();
    busyUntilNow();
    Sign* sign = std::exchange(current_, nullptr);
    if (!sign) { // it left the line during the wait
        rest();
        return;
    }
    if (outcome == TestOutcome::NoAnswer) {
        unanswered_.insert(sign->device(), sign);
        silent_.insert(sign);
    }
    if (outcome == TestOutcome::Answered) {
        backOffMs_ = 1000;
        if (std::exchange(failing_, false))
            qCInfo(lcGateway).noquote() << "line" << config_.link << "works again";
    }
    if (!stopping_)
        sign->tested(outcome, detail);
    rest();
}

// Every sign offline, each one's last test unanswered, and nothing heard since,
// not even a late answer: the link itself may be gone.
bool Line::lineSilent() const {
    return silent_.size() == signs_.size() &&
           std::all_of(signs_.begin(), signs_.end(),
                       [](const Sign* s) { return s->state() == Sign::State::Offline; });
}

// No controller on the line answers: the link itself may have gone stale (a device
// server that lost its line keeps the connection), so it is opened again.
void Line::openAgain() {
    gap_.stop();
    turn_ = Turn::Idle;
    unanswered_.clear();
    serial_.close();
    state_ = State::Down;
    // Said once; until the line works again, only with --verbose.
    if (!std::exchange(failing_, true))
        qCWarning(lcGateway).noquote() << "line" << config_.link
                                       << ": no controller answers - opening it again with "
                                          "back-off up to"
                                       << MaxBackOffMs / 1000 << "s";
    else
        qCDebug(lcGateway).noquote()
            << "line" << config_.link << "opened again in" << backOffMs_ / 1000 << "s";
    reopen_.start(backOffMs_);
    backOffMs_ = std::min(backOffMs_ * 2, MaxBackOffMs);
}

// The silence between two frames.
void Line::rest() {
    turn_ = Turn::Gap;
    if (stopping_) {
        finishStop();
        return;
    }
    gap_.start(config_.gapMs);
}

void Line::busyUntilNow() {
    load_.busy(busyFromUs_, nowUs());
}

void Line::fail(const QString& reason) {
    if (turn_ == Turn::Writing || turn_ == Turn::Answer)
        busyUntilNow();
    for (QTimer* timer : {&onWire_, &writeTimeout_, &answerWait_, &gap_})
        timer->stop();
    if (Sign* sign = std::exchange(current_, nullptr); sign && turn_ == Turn::Writing)
        sign->commandLost();
    unanswered_.clear();
    turn_ = Turn::Idle;
    serial_.close();
    if (stopping_) {
        finishStop();
        return;
    }
    // Said once; until the line works again, only with --verbose.
    if (!std::exchange(failing_, true))
        qCWarning(lcGateway).noquote()
            << "line" << config_.link << "down:" << reason
            << "- opening it again with back-off up to" << MaxBackOffMs / 1000 << "s";
    else
        qCDebug(lcGateway).noquote() << "line" << config_.link << "still down:" << reason
                                     << "- again in" << backOffMs_ / 1000 << "s";
    state_ = State::Down;
    downReason_ = reason;
    for (Sign* sign : signs_)
        sign->lineDown(reason);
    reopen_.start(backOffMs_);
    backOffMs_ = std::min(backOffMs_ * 2, MaxBackOffMs);
}

void Line::stop() {
    stopping_ = true;
    reopen_.stop();
    answerWait_.stop();
    gap_.stop();
    if (turn_ == Turn::Writing)
        return; // the frame's end or the write timeout ends it
    QMetaObject::invokeMethod(this, &Line::finishStop, Qt::QueuedConnection);
}

void Line::finishStop() {
    if (stoppedSent_)
        return;
    stoppedSent_ = true;
    state_ = State::Stopped;
    serial_.close();
    emit stopped();
}

} // namespace zarnet::gateway
