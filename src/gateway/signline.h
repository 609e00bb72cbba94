#pragma once

#include "commandqueue.h"
#include "config.h"
#include "plantclock.h"
#include "unittable.h"

#include <link/controllerlink.h>
#include <link/qtseriallink.h>
#include <link/replyreception.h>

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

namespace zarnet {
class PortCatalog;
}

namespace zarnet::gateway {

// One sign on its line, kept current: the only writer to that line. Commands
// wait in a table (the latest of each kind wins) and go out one frame at a time
// while the line is free. The connection test runs every health interval; a
// sign that does not answer is offline, and its link is opened again with
// back-off. When it answers again every known value goes out anew.
class SignLine : public QObject {
    Q_OBJECT
public:
    enum class State { Connecting, Online, Offline };

    static constexpr int ReplyTimeoutMs = 2000;
    static constexpr int MaxBackOffMs = 30000;
    static constexpr int WriteMarginMs = 2000;

    SignLine(const SignConfig& config, const PortCatalog& ports, const PlantClock& clock,
             QObject* parent = nullptr);

    const QString& name() const { return config_.name; }
    uint8_t device() const { return config_.device; }
    State state() const { return state_; }
    const QString& reason() const { return reason_; }
    QDateTime since() const { return since_; }
    std::optional<uint32_t> unitOnSign(uint8_t unit) const { return table_.onSign(unit); }
    // The value the unit holds or is about to get.
    std::optional<uint32_t> unitWanted(uint8_t unit) const { return table_.value(unit); }
    // Milliseconds since the sign last answered the connection test; none before the first.
    std::optional<qint64> sinceLastAnswerMs() const;

    void start();
    // A value from a plant system (unitArrived() follows).
    void setUnit(uint8_t unit, uint32_t value);
    // A value the service itself puts in place of a stale one: not news of the plant.
    void substitute(uint8_t unit, uint32_t value);
    // Also sent again after a reconnect.
    void setPower(bool on);
    // nullopt: the time at which the frame goes out.
    void setClock(const std::optional<QDateTime>& at);
    void clear();
    // Draws the sign's image; nullopt when it cannot be drawn (and says why itself).
    using ImageDrawing = std::function<std::optional<QByteArray>()>;

    // An image frame built for this sign; it is also sent again after a reconnect,
    // until the sign is cleared.
    void setImage(const QByteArray& frame);
    // The same, drawn only when the line takes it: of images that come faster than
    // the line sends them, only the latest is drawn.
    void drawImage(ImageDrawing drawing);
    // Shows `frame` in place of the sign's own image until showOwn(); an image set
    // meanwhile is kept for then.
    void showInstead(const QByteArray& frame);
    void showOwn();
    // Lets the frame on its way finish, then closes the line; stopped() follows.
    void stop();

signals:
    void stateChanged();
    void unitArrived(uint8_t unit, uint32_t value);
    void unitsWritten(const zarnet::UnitWrite& run);
    void stopped();

private:
    enum class Action { Clear, Image, Power, Clock };
    struct Pending {
        Action action;
        QByteArray frame; // empty for a clock set to "now"
    };

    void open();
    void onOpened(OpenResult result);
    void pump();
    void pumpSoon();
    void send(const QByteArray& frame);
    void onWritten();
    void frameDone();
    void onDeviceFound(int device);
    void answered();
    void fail(const QString& reason);
    void setState(State state, const QString& reason);
    void checkClockSync();
    QByteArray ownImage();
    void finishStop();

    SignConfig config_;
    const PortCatalog& ports_;
    QtSerialLink serial_;
    ControllerLink link_;
    ReplyReception reception_;
    UnitTable table_;
    CommandQueue commands_;
    const PlantClock& clock_;
    QByteArray image_;     // the latest image, sent again after a reconnect; empty after a clear
    ImageDrawing drawing_; // a newer image than image_, not drawn yet
    QByteArray instead_;   // shown in place of image_ while not empty
    std::optional<bool> power_;
    std::optional<UnitWrite> runOnWire_;
    std::optional<CommandQueue::Command> commandOnWire_;
    bool writing_ = false;    // a frame is on its way: the line is busy
    bool handedOver_ = false; // the system has taken all of it
    bool testDue_ = false;
    bool awaitingReply_ = false;
    bool stopping_ = false;
    bool stoppedSent_ = false;
    bool pumpQueued_ = false;
    State state_ = State::Connecting;
    QString reason_;
    QDateTime since_;
    QElapsedTimer lastAnswer_;
    QTimer health_;
    QTimer replyTimeout_;
    QTimer writeTimeout_;
    QTimer onWire_;
    QTimer reopen_;
    QTimer clockCheck_;
    QDate clockSetOn_;
    int backOffMs_ = 1000;
};

} // namespace zarnet::gateway
