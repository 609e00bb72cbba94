#pragma once

#include "commandqueue.h"
#include "config.h"
#include "plantclock.h"
#include "powertimetable.h"
#include "signhealth.h"
#include "stalewatch.h"
#include "unitaccess.h"
#include "unittable.h"

#include <core/board.h>

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

namespace zarnet::gateway {

// One controller on a line, and what it should show. Commands wait in a table
// (the latest of each kind wins) until its line gives the sign a turn; the line
// tells it how its connection tests went. While offline its values wait instead
// of taking the line's time; when it answers again every known value goes out anew.
// The watch over its figures' ages and its power timetable belong to it.
class Sign : public QObject, public UnitAccess {
    Q_OBJECT
public:
    using State = SignHealth::State;

    // `staleFrame` is the built stale image, when the sign shows one.
    Sign(const SignConfig& config, const PlantClock& clock, const QByteArray& staleFrame = {},
         QObject* parent = nullptr);

    const QString& name() const { return config_.name; }
    const SignConfig& config() const { return config_; }
    uint8_t device() const { return config_.device; }
    State state() const override { return health_.state(); }
    const QString& reason() const { return reason_; }
    // The connection test the reason comes from; none when the line is down.
    const std::optional<TestResult>& reasonTest() const { return reasonTest_; }
    QDateTime since() const { return since_; }
    std::optional<uint32_t> unitOnSign(uint8_t unit) const { return table_.onSign(unit); }
    std::optional<uint32_t> unitWanted(uint8_t unit) const override { return table_.value(unit); }
    std::optional<qint64> sinceLastAnswerMs() const override;

    // What the sign shows as far as the frames written to it tell: power, image and
    // clock, kept by the same controller logic the virtual board runs.
    const Board& panel() const { return panel_; }

    StaleWatch& staleWatch() { return stale_; }
    const StaleWatch& staleWatch() const { return stale_; }
    PowerTimetable& timetable() { return timetable_; }
    const PowerTimetable& timetable() const { return timetable_; }

    void start();
    void stop();
    // A value from a plant system (unitArrived() follows).
    void setUnit(uint8_t unit, uint32_t value) override;
    // A value the service itself puts in place of a stale one: not news of the plant.
    void substitute(uint8_t unit, uint32_t value);
    // Also sent again after a reconnect; a command goes through timetable().
    void setPower(bool on);
    // nullopt: the time at which the frame goes out.
    void setClock(const std::optional<QDateTime>& at);
    void clear();
    // Draws the sign's image; nullopt when it cannot be drawn (and says why itself).
    using ImageDrawing = std::function<std::optional<QByteArray>()>;
    // An image frame built for this sign; it is also sent again after a reconnect,
    // until the sign is cleared. `text`: the line of text it shows, if it is one.
    void setImage(const QByteArray& frame, const QString& text = {});
    // The same, drawn only when the line takes it: of images that come faster than
    // the line sends them, only the latest is drawn.
    void drawImage(ImageDrawing drawing, const QString& text = {});
    // Shows `frame` in place of the sign's own image until showOwn(); an image set
    // meanwhile is kept for then.
    void showInstead(const QByteArray& frame);
    void showOwn();
    // Shows the drawn image for `ms` (plant time), then the sign's own image again,
    // or a cleared sign when it has none. An image set meanwhile becomes its own.
    void showFor(ImageDrawing drawing, int64_t ms, const QString& text = {});

    enum class Showing { Nothing, Own, Timed, Instead };
    Showing showing() const;
    // When the timed image ends; invalid when none shows.
    QDateTime timedUntil() const { return timedUntil_; }
    // The text of the image showing(), as far as it was given as text; empty for a
    // picture or a cleared sign.
    QString shownText() const;

    // The line's side.
    bool hasCommand() const;
    bool testDue() const { return testDue_; }
    qint64 testWaitingMs() const { return testDue_ ? dueFor_.elapsed() : 0; }
    // The next frame for the sign; empty when nothing can go.
    QByteArray takeCommand();
    // The frame taken last is on the sign, or may not be (the line failed under it).
    void commandWritten();
    void commandLost();
    QByteArray takeTest();
    // `detail`: the other device's number, or the line's answer time in milliseconds.
    void tested(TestOutcome outcome, int detail = 0);
    void lineDown(const QString& reason);
    void lineUp();
    // Another gateway serves the sign now: its state is unknown here until this one
    // owns its line again, and then everything it knows goes out anew.
    void standBy();

signals:
    void stateChanged();
    // The sign has something for its line.
    void wantsLine();
    void unitArrived(uint8_t unit, uint32_t value);
    void unitsWritten(const zarnet::UnitWrite& run);
    // A written frame changed panel().
    void panelChanged();
    // What showing() says changed.
    void showingChanged();
    // It answered a connection test.
    void answered();

private:
    void testIn(int ms);
    void comeBack();
    void setState(const QString& reason, const std::optional<TestResult>& test = std::nullopt);
    void setState(const TestResult& test) { setState(describe(test), test); }
    void checkClockSync();
    QByteArray ownImage();
    void endTimed();
    // Tells showingChanged() when showing() is not what it said last.
    void noteShowing();
    bool standingImage() const { return !image_.isEmpty() || drawing_; }

    SignConfig config_;
    const PlantClock& clock_;
    SignHealth health_;
    UnitTable table_;
    CommandQueue commands_;
    QByteArray image_;     // the latest image, sent again after a reconnect; empty after a clear
    ImageDrawing drawing_; // a newer image than image_, not drawn yet
    QString imageText_;    // the text of image_, and of drawing_
    QString drawingText_;
    QByteArray instead_; // shown in place of image_ while not empty
    // A timed image, shown in place of image_ while timedEnd_ runs (unless instead_
    // is shown); drawn when it goes out.
    ImageDrawing timedDrawing_;
    QByteArray timed_;
    QString timedText_;
    QTimer timedEnd_;
    QDateTime timedUntil_;
    Showing showingSaid_ = Showing::Nothing;
    std::optional<bool> power_;
    std::optional<UnitWrite> runOnWire_;
    std::optional<CommandQueue::Command> commandOnWire_;
    QByteArray frameOnWire_; // commandOnWire_'s frame as it was written
    Board panel_;
    bool testDue_ = false;
    State shown_ = State::Connecting; // the state last reported
    QString reason_;
    std::optional<TestResult> reasonTest_;
    std::optional<TestResult> late_; // the last answer came late: the next one may too
    QDateTime since_;
    QElapsedTimer lastAnswer_;
    QElapsedTimer dueFor_;
    QTimer nextTest_;
    QTimer clockCheck_;
    QDate clockSetOn_;
    StaleWatch stale_;
    PowerTimetable timetable_;
};

} // namespace zarnet::gateway
