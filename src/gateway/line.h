#pragma once

#include "config.h"
#include "lineload.h"
#include "signhealth.h"

#include <link/qtseriallink.h>
#include <link/replyreception.h>

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>

namespace zarnet {
class PortCatalog;
}

namespace zarnet::gateway {

class Sign;

// One link and the signs on it: the only writer to that link. It gives the signs
// turns in round robin, one frame at a time, with a silence between frames. The
// line is half duplex: while a connection test waits for its answer nothing else
// goes out. When the link fails every sign on it is offline, and the link is
// opened again with back-off.
class Line : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Opening, Open, Down, Stopped };
    // What the writer is doing.
    enum class Turn { Idle, Writing, Answer, Gap };

    static constexpr int MaxBackOffMs = 30000;
    static constexpr int WriteMarginMs = 2000;

    Line(const LineConfig& config, const PortCatalog& ports, QObject* parent = nullptr);

    void add(Sign& sign);
    // The sign leaves the line: a frame of its on the wire still finishes, an
    // answer it awaits is no longer waited for.
    void remove(Sign& sign);
    bool hasSigns() const { return !signs_.isEmpty(); }
    const QString& link() const { return config_.link; }
    const QString& port() const { return config_.port; }
    State state() const { return state_; }
    // The share of the last minute the line was busy: frames on the wire and
    // waits for answers.
    double load() const;
    // Frames and their bytes handed to the link since the line was made.
    quint64 framesSent() const { return framesSent_; }
    quint64 bytesSent() const { return bytesSent_; }

    void start();
    // Asked before every frame: while it says no, nothing is written.
    void setWriteGate(std::function<bool()> gate) { writeGate_ = std::move(gate); }
    // The gate opened again: what waits goes out.
    void resume() { wake(); }
    // Lets the frame on its way finish, then closes the link; stopped() follows.
    void stop();

signals:
    // An attempt to open the link has ended, opened or not.
    void tried();
    void stopped();

private:
    void open();
    void onOpened(OpenResult result);
    void fail(const QString& reason);
    bool lineSilent() const;
    void openAgain();
    void lateAnswer(int device);
    void wake();
    void pump();
    void sendCommand(Sign& sign, const QByteArray& frame);
    void sendTest(Sign& sign);
    void put(const QByteArray& frame);
    void onWritten();
    void commandDone();
    void onDeviceFound(int device);
    void onRejected();
    void testOver(TestOutcome outcome, int detail);
    void rest();
    void busyUntilNow();
    void finishStop();
    qint64 nowUs() const { return clock_.nsecsElapsed() / 1000; }

    LineConfig config_;
    const PortCatalog& ports_;
    QtSerialLink serial_;
    ReplyReception reception_;
    QList<Sign*> signs_;
    qsizetype next_ = 0; // whose turn comes first
    State state_ = State::Closed;
    Turn turn_ = Turn::Idle;
    Sign* current_ = nullptr; // whose frame is on the wire or whose answer is awaited
    // Signs whose last test went unanswered, by device number: an answer from one
    // of them now is late.
    QHash<int, Sign*> unanswered_;
    // Signs whose last test went unanswered with nothing heard on the line since.
    QSet<const Sign*> silent_;
    bool handedOver_ = false; // the system has taken all of the frame
    bool pumpQueued_ = false;
    bool stopping_ = false;
    bool stoppedSent_ = false;
    bool failing_ = false; // the link failed, and has not worked since
    QString downReason_;
    std::function<bool()> writeGate_;
    int backOffMs_ = 1000;
    quint64 framesSent_ = 0;
    quint64 bytesSent_ = 0;
    QElapsedTimer clock_;
    LineLoad load_;
    qint64 busyFromUs_ = 0;
    qint64 wireUs_ = 0; // the frame on the wire's time at 115200 baud
    QTimer onWire_;
    QTimer writeTimeout_;
    QTimer answerWait_;
    QTimer gap_;
    QTimer reopen_;
};

} // namespace zarnet::gateway
