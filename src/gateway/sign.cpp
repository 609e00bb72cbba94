#include "sign.h"

#include "gatewaylog.h"

#include <core/frame.h>
#include <core/requests.h>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

Sign::Sign(const SignConfig& config, const PlantClock& clock, const QByteArray& staleFrame,
           QObject* parent)
    : QObject(parent), config_(config), clock_(clock), panel_(config.device),
      stale_(config_, *this, clock, staleFrame), timetable_(config_, *this, clock) {
    since_ = clock_.now();
    nextTest_.setSingleShot(true);
    connect(&nextTest_, &QTimer::timeout, this, [this] {
        testDue_ = true;
        dueFor_.start();
        emit wantsLine();
    });
    timedEnd_.setSingleShot(true);
    connect(&timedEnd_, &QTimer::timeout, this, &Sign::endTimed);
    clockCheck_.setInterval(clock_.realMs(15000));
    connect(&clockCheck_, &QTimer::timeout, this, &Sign::checkClockSync);
}

void Sign::start() {
    if (config_.clockSync)
        clockCheck_.start();
    timetable_.start();
}

void Sign::stop() {
    nextTest_.stop();
    clockCheck_.stop();
    stale_.stop();
    timetable_.stop();
    timedEnd_.stop();
    testDue_ = false;
}

std::optional<qint64> Sign::sinceLastAnswerMs() const {
    if (!lastAnswer_.isValid())
        return std::nullopt;
    return lastAnswer_.elapsed();
}

void Sign::setUnit(uint8_t unit, uint32_t value) {
    table_.set(unit, value);
    emit wantsLine();
    emit unitArrived(unit, value);
}

void Sign::substitute(uint8_t unit, uint32_t value) {
    table_.set(unit, value);
    emit wantsLine();
}

void Sign::setPower(bool on) {
    power_ = on;
    commands_.put(CommandQueue::Kind::Power, powerFrame(config_.device, on));
    emit wantsLine();
}

void Sign::setClock(const std::optional<QDateTime>& at) {
    commands_.put(CommandQueue::Kind::Clock, at ? clockFrame(config_.device, *at) : QByteArray());
    emit wantsLine();
}

// A cleared sign stays clear: its last image is not sent again after a reconnect.
void Sign::clear() {
    timedEnd_.stop(); // a clear ends a timed image too
    timedDrawing_ = nullptr;
    timed_.clear();
    timedUntil_ = {};
    // An image still waiting to be drawn goes out before the clear, as it came.
    if (drawing_ && instead_.isEmpty() && commands_.contains(CommandQueue::Kind::Image))
        if (const QByteArray frame = ownImage(); !frame.isEmpty())
            commands_.put(CommandQueue::Kind::Image, frame);
    image_.clear();
    imageText_.clear();
    drawing_ = nullptr;
    commands_.put(CommandQueue::Kind::Clear, clearFrame(config_.device));
    // A picture shown in place of the sign's own (a warning) stays, as it would
    // after a reconnect.
    if (!instead_.isEmpty())
        commands_.put(CommandQueue::Kind::Image, instead_);
    emit wantsLine();
    noteShowing();
}

void Sign::setImage(const QByteArray& frame, const QString& text) {
    image_ = frame;
    imageText_ = text;
    drawing_ = nullptr;
    noteShowing();
    if (!instead_.isEmpty() || timedEnd_.isActive())
        return;
    commands_.put(CommandQueue::Kind::Image, frame);
    emit wantsLine();
}

// An image command with no frame stands for the sign's own image, drawn as it goes out.
void Sign::drawImage(ImageDrawing drawing, const QString& text) {
    drawing_ = std::move(drawing);
    drawingText_ = text;
    noteShowing();
    if (!instead_.isEmpty() || timedEnd_.isActive())
        return;
    commands_.put(CommandQueue::Kind::Image, {});
    emit wantsLine();
}

// A drawing that fails leaves the image the sign already has; a timed one that
// fails is over.
QByteArray Sign::ownImage() {
    if (timedEnd_.isActive()) {
        if (timedDrawing_) {
            const auto drawn = std::exchange(timedDrawing_, nullptr)();
            timed_ = drawn.value_or(QByteArray());
        }
        if (!timed_.isEmpty())
            return timed_;
        timedEnd_.stop();
        timedUntil_ = {};
        noteShowing();
    }
    if (drawing_) {
        const auto drawn = drawing_();
        drawing_ = nullptr;
        if (!drawn)
            return {};
        image_ = *drawn;
        imageText_ = drawingText_;
    }
    return image_;
}

void Sign::showInstead(const QByteArray& frame) {
    instead_ = frame;
    commands_.put(CommandQueue::Kind::Image, frame);
    emit wantsLine();
    noteShowing();
}

void Sign::showFor(ImageDrawing drawing, int64_t ms, const QString& text) {
    timedDrawing_ = std::move(drawing);
    timedText_ = text;
    timed_.clear();
    timedUntil_ = clock_.now().addMSecs(ms);
    timedEnd_.start(clock_.realMs(ms));
    if (instead_.isEmpty()) {
        commands_.put(CommandQueue::Kind::Image, {});
        emit wantsLine();
    }
    // Said even when a timed image showed already: it ends at another time now.
    showingSaid_ = showing();
    emit showingChanged();
}

// The sign's own image comes back; without one the sign is cleared. An own image
// set meanwhile is drawn now: one that cannot be drawn must not leave the timed
// one up, so the one before it comes back instead.
void Sign::endTimed() {
    timedDrawing_ = nullptr;
    timed_.clear();
    timedUntil_ = {};
    if (drawing_)
        if (const auto drawn = std::exchange(drawing_, nullptr)()) {
            image_ = *drawn;
            imageText_ = drawingText_;
        }
    if (instead_.isEmpty()) {
        if (!image_.isEmpty())
            commands_.put(CommandQueue::Kind::Image, image_);
        else
            commands_.put(CommandQueue::Kind::Clear, clearFrame(config_.device));
        emit wantsLine();
    }
    noteShowing();
}

void Sign::noteShowing() {
    const Showing now = showing();
    if (std::exchange(showingSaid_, now) != now)
        emit showingChanged();
}

QString Sign::shownText() const {
    switch (showing()) {
    case Showing::Own:
        return imageText_;
    case Showing::Timed:
        return timedText_;
    case Showing::Nothing:
    case Showing::Instead:
        break;
    }
    return {};
}

Sign::Showing Sign::showing() const {
    if (!instead_.isEmpty())
        return Showing::Instead;
    if (timedEnd_.isActive())
        return Showing::Timed;
    return standingImage() ? Showing::Own : Showing::Nothing;
}

// Without an image of its own the sign is cleared, so the other picture goes.
void Sign::showOwn() {
    if (instead_.isEmpty())
        return;
    instead_.clear();
    if (!standingImage() && !timedEnd_.isActive())
        commands_.put(CommandQueue::Kind::Clear, clearFrame(config_.device));
    else
        commands_.put(CommandQueue::Kind::Image, {});
    emit wantsLine();
    noteShowing();
}

bool Sign::hasCommand() const {
    return state() == State::Online && (!commands_.isEmpty() || table_.hasPending());
}

// The commands in the order they came, then the units.
QByteArray Sign::takeCommand() {
    if (state() != State::Online)
        return {};
    while (auto next = commands_.take()) {
        QByteArray frame = next->frame;
        if (frame.isEmpty() && next->kind == CommandQueue::Kind::Image)
            frame = ownImage();
        else if (frame.isEmpty())
            frame = clockFrame(config_.device, clock_.now());
        if (frame.isEmpty())
            continue; // an image that could not be drawn
        commandOnWire_ = next;
        frameOnWire_ = frame;
        return frame;
    }
    if (auto run = table_.takeRun()) {
        runOnWire_ = *run;
        return unitWriteFrame(config_.device, UnitShowNowCode, *run);
    }
    return {};
}

void Sign::commandWritten() {
    if (std::exchange(commandOnWire_, std::nullopt) &&
        panel_.handle(std::exchange(frameOnWire_, {}), clock_.now()).changed)
        emit panelChanged();
    if (runOnWire_) {
        const UnitWrite run = *runOnWire_;
        runOnWire_.reset();
        table_.written(run);
        emit unitsWritten(run);
    }
}

// It may not have reached the sign: it goes again.
void Sign::commandLost() {
    if (runOnWire_)
        table_.failed(*runOnWire_);
    runOnWire_.reset();
    if (commandOnWire_)
        commands_.putBack(*commandOnWire_);
    commandOnWire_.reset();
}

QByteArray Sign::takeTest() {
    testDue_ = false;
    return findFrame(config_.device);
}

void Sign::testIn(int ms) {
    testDue_ = false;
    nextTest_.start(ms);
}

void Sign::tested(TestOutcome outcome, int detail) {
    TestResult result{outcome, detail};
    if (outcome == TestOutcome::Answered) {
        late_.reset();
        lastAnswer_.start();
        emit answered();
        // One missed test may have been a controller restarting.
        const bool back = state() != State::Online || health_.misses() > 0;
        testIn(health_.answered(config_.healthSeconds * 1000));
        if (back)
            comeBack();
        setState(result);
        emit wantsLine();
        return;
    }
    // The miss was counted when the wait ran out; now it is known why.
    if (outcome == TestOutcome::Late) {
        if (reason_ != describe(result))
            qCWarning(lcGateway).noquote() << config_.name << ":" << describe(result);
        late_ = result;
        if (state() != State::Online)
            setState(result);
        return;
    }
    // A slow controller's answer comes after the wait each time: its reason stays
    // rather than changing back and forth with every test.
    if (outcome == TestOutcome::NoAnswer && late_)
        result = *std::exchange(late_, std::nullopt);
    else
        late_.reset();
    const QString why = describe(result);
    const int next = health_.missed();
    testIn(next);
    if (state() != State::Offline) {
        qCInfo(lcGateway).noquote() << config_.name << ":" << why << "- testing again";
        return;
    }
    if (shown_ != State::Offline || reason_ != why)
        qCWarning(lcGateway).noquote()
            << config_.name << "offline:" << why << "- testing again in" << next / 1000 << "s";
    setState(result);
}

// A controller that was away may have restarted: everything known goes again.
void Sign::comeBack() {
    table_.resendAll();
    if (!instead_.isEmpty() || standingImage() || timedEnd_.isActive())
        commands_.putBack({CommandQueue::Kind::Image, instead_});
    if (power_)
        commands_.putBack({CommandQueue::Kind::Power, powerFrame(config_.device, *power_)});
}

void Sign::lineDown(const QString& reason) {
    if (shown_ != State::Offline)
        qCWarning(lcGateway).noquote() << config_.name << "offline:" << reason;
    health_.lineDown();
    nextTest_.stop();
    testDue_ = false;
    setState(reason);
}

void Sign::standBy() {
    nextTest_.stop();
    testDue_ = false;
    health_ = SignHealth{};
    shown_ = State::Connecting;
    reason_.clear();
    reasonTest_.reset();
    late_.reset();
    since_ = clock_.now();
    emit stateChanged();
}

void Sign::lineUp() {
    nextTest_.stop();
    testDue_ = true;
    dueFor_.start();
    emit wantsLine();
}

void Sign::setState(const QString& reason, const std::optional<TestResult>& test) {
    const State now = state();
    if (now == shown_ && reason == reason_)
        return;
    reasonTest_ = test;
    if (now != shown_)
        since_ = clock_.now();
    if (now == State::Online && shown_ != State::Online)
        qCInfo(lcGateway).noquote() << config_.name << "online";
    shown_ = now;
    reason_ = reason;
    emit stateChanged();
}

void Sign::checkClockSync() {
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
