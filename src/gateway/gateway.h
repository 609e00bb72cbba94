#pragma once

#include "config.h"
#include "mqttclient.h"
#include "plantclock.h"
#include "plantcounters.h"
#include "repeatlog.h"
#include "retainedtake.h"
#include "topics.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

namespace zarnet {
class PortCatalog;
struct UnitWrite;
} // namespace zarnet

namespace zarnet::gateway {

class LeaseKeeper;
class Line;
class ModbusService;
class SparkplugNode;

class Sign;
class UnitAccess;

// The broker connection the configuration asks for.
MqttClient::Settings mqttSettings(const Config& config);

// The service: commands from the broker to the signs, and each sign's state back
// to the broker. Input that cannot be used is published on the sign's error
// topic and logged; it never reaches a line.
class Gateway : public QObject {
    Q_OBJECT
public:
    // How long stop() waits for the broker to take the last publications.
    static constexpr int StopTimeoutMs = 3000;

    Gateway(const Config& config, const PortCatalog& ports, const PlantClock& clock,
            QObject* parent = nullptr);
    ~Gateway() override;

    // Starts serving; false, with the reason in `error`, when it cannot.
    bool start(QString* error);
    // Finishes the frames on the wire, publishes offline, disconnects; finished() follows.
    void stop();

    // Ready by then even if the broker or a link has not answered the first attempt.
    static constexpr int ReadyWithinMs = 10000;

    // Live command subscriptions carry this identifier.
    static constexpr int LiveId = 1;
    // Home Assistant's status and this gateway's announcements come with this one.
    static constexpr int HomeAssistantId = 4;
    // Groups' commands, kept and live, come with this one.
    static constexpr int GroupId = 5;
    // After a burst of this many live commands with no quiet second between them,
    // once the input has been quiet for QuietMs, the retained commands are read
    // again: the broker may have dropped some of the burst, and keeps every topic's
    // final value.
    static constexpr int BurstCommands = 500;
    static constexpr int QuietMs = 1000;

    // A command as it came from the broker; `retained`: the broker's replay of a
    // stored one. A replay of the retained value its topic last had is no news and
    // is passed over; a retained clock or clear command is a replay of one already
    // carried out, and is not carried out again.
    void command(const QString& topic, const QByteArray& payload, bool retained = false);

    // Takes a new configuration: signs and lines whose settings did not change go
    // on untouched; changed ones start again, removed ones are cleared from the
    // broker, new ones start as at start-up.
    void reload(const Config& next);

    // Said ready (see ready()).
    bool isReady() const { return readySaid_; }

    // The state in one line: the broker connection, signs online, units stale.
    QString summary() const;

    // For the readers of the service's state (the page, the metrics).
    const std::map<QString, std::unique_ptr<Sign>>& signs() const { return signs_; }
    const Line& lineOf(const QString& sign) const { return *lineOf_.at(sign); }
    const std::vector<std::unique_ptr<Line>>& lines() const { return lines_; }
    // The latest commands dropped for the sign, newest last.
    QList<Refusal> refusals(const QString& sign) const { return recentRefusals_.value(sign); }
    const PlantCounters& counters() const { return counters_; }
    bool brokerConnected() const { return mqtt_.isConnected(); }
    const QString& gatewayName() const { return config_.broker.clientId; }
    // It writes to the lines: it has no standby partner, or holds the lease.
    bool owner() const;
    static constexpr int RecentRefusals = 5;
    const QString& commandPrefix() const { return config_.broker.prefix; }
    // A write that came another way than a command topic and cannot be carried
    // out: logged, and published on the sign's error topic like a refused command.
    void refuseWrite(const QString& sign, const QString& topic, const QString& what,
                     const CommandRefusal& why);

signals:
    // The links have been opened once and the broker tried once, answering or not.
    void ready();
    void summaryChanged();
    // Something a reader of the sign's state shows changed: its state, power,
    // picture, a value, a stale flag or its refusals.
    void signChanged(const QString& sign);
    // Signs came or went with a new configuration.
    void signsChanged();
    // It took over the signs, or gave them up (see owner()).
    void ownerChanged();
    void finished();

private:
    void onConnected();
    void received(const QString& topic, const QByteArray& payload, bool retained,
                  quint32 subscriptions);
    void liveCommandSeen();
    void takeRetained(bool withStaleReports);
    void takeFinished();
    void live(const QString& topic, const QByteArray& payload, bool publishedRetained);
    bool replayIsNews(const QString& topic, const QByteArray& payload);
    bool isOwnCommandTopic(const QString& topic) const;
    bool keptUnderNumber(const QString& sign, uint8_t unit, const QByteArray& payload) const;
    // True when the command reached its sign's table; `own`: the topic is a command
    // topic of one of these signs.
    // `publishedRetained`: a live command its publisher marked retained.
    bool carryOut(const QString& topic, const QByteArray& payload, bool retained,
                  bool* own = nullptr, bool publishedRetained = false);
    void refuse(const QString& sign, const QString& topic, const QByteArray& payload,
                const CommandRefusal& why);
    bool isGroupTopic(const QString& topic) const;
    const GroupConfig* groupOf(const QString& topic) const;
    bool isHomeAssistantTopic(const QString& topic) const;
    void homeAssistantSeen(const QString& topic, const QByteArray& payload);
    // Announces every sign to Home Assistant, and clears what was announced before
    // and is gone from the configuration.
    void announce();
    void followHomeAssistant();
    void groupCommand(const QString& topic, const QByteArray& payload, bool retained);
    void subscribeGroups(const QStringList& filters);
    bool servesWholeGroup(const GroupConfig& group) const;
    std::optional<CommandRefusal> groupFault(const CommandTopic& command, const QByteArray& payload,
                                             const QList<const Sign*>& members,
                                             bool retained) const;
    // The live subscriptions of the groups naming one of these signs.
    QStringList groupFilters() const;
    void publishStatus(const Sign& sign);
    void publishLoads();
    void publishStale(const QString& sign, uint8_t unit, bool stale);
    void staleReportSeen(const QString& topic, const QByteArray& payload, bool retained);
    void publishUnits(const Sign& sign, const UnitWrite& run);
    void publishUnit(const Sign& sign, uint8_t unit, uint32_t value);
    void lineStopped();
    void checkReady();
    Line* addLine(const LineConfig& config);
    Sign& addSign(const SignConfig& config);
    std::map<uint8_t, UnitAccess*> modbusUnits() const;
    void retireLine(const QString& port);
    Line* lineOnPort(const QString& port) const;
    void moveToLine(Sign& sign, Line* line);
    void publishSign(const Sign& sign, bool units);
    void startClosedLines();
    std::unique_ptr<Sign> takeSign(const QString& name);
    // `unitNames`: the names its units had, whose state topics go too.
    void clearTopics(const QString& sign, const QStringList& unitNames);
    void forgetUnitNames(const SignConfig& old, const Config& next);
    void resubscribeGroups(const QStringList& before);
    QByteArray offlineStatus(const QString& sign, const QString& reason) const;
    void reloadBroker(const BrokerConfig& next);
    void reloadModbus(const std::optional<ModbusConfig>& next);
    void startSign(Sign& sign);
    QByteArray gatewayState() const;
    void roleChanged();
    // Starts, restarts or ends the Sparkplug node as the configuration says.
    void followSparkplug();

    Config config_;
    Topics topics_;
    MqttClient mqtt_;
    const PortCatalog& ports_;
    const PlantClock& clock_;
    std::map<QString, std::unique_ptr<Sign>> signs_;
    std::vector<std::unique_ptr<Line>> lines_; // hold signs: gone before them
    // Lines of an earlier configuration finishing their last frame; a new line on
    // the same link opens once its old one has closed.
    std::vector<std::unique_ptr<Line>> retiring_;
    std::map<QString, Line*> lineOf_;
    std::map<QString, double> loadSaid_; // the load each sign's status last gave
    QTimer loads_;
    std::unique_ptr<ModbusService> modbus_;
    std::unique_ptr<LeaseKeeper> keeper_; // with [standby]
    std::unique_ptr<SparkplugNode> sparkplug_;
    SparkplugConfig sparkplugConfig_; // the settings sparkplug_ was made with
    BrokerConfig sparkplugBroker_;
    RetainedTake take_;
    // The retained value each command topic of these signs last had, as far as this
    // service saw it (a digest for long payloads).
    QHash<QString, QByteArray> retainedSaid_;
    // Topics a live command came on since the current take began: their replays are older.
    QSet<QString> liveDuringTake_;
    RepeatLog refusals_;
    QHash<QString, QList<Refusal>> recentRefusals_;
    PlantCounters counters_;
    QSet<QString> announced_; // discovery topics announced under the configuration in force
    bool everConnected_ = false;
    int burst_ = 0; // live commands since the input was last quiet for QuietMs
    QElapsedTimer lastLive_;
    QTimer quiet_;
    bool rereadOwed_ = false;
    bool retriedGivenUp_ = false; // a take that gave up is tried again once a connection
    int corrected_ = 0;           // replays carried out in the current take that changed a value
    int linesRunning_ = 0;
    bool stopping_ = false;
    bool brokerTried_ = false;
    bool readySaid_ = false;
    QSet<const Line*> linesTried_;
    // Removed signs, with their units' names, whose topics wait for a connection to be cleared.
    QHash<QString, QStringList> toClear_;
};

} // namespace zarnet::gateway
