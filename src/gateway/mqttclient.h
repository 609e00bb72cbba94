#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

struct mosquitto;
struct mosquitto_message;
struct ssl_st;
typedef struct ssl_st SSL;
struct mqtt5__property; // NOLINT(bugprone-reserved-identifier): libmosquitto's name
typedef struct mqtt5__property mosquitto_property; // NOLINT(bugprone-reserved-identifier)
class QSocketNotifier;

namespace zarnet::gateway {

// An MQTT 5 client on libmosquitto, driven by the event loop: its socket in two
// notifiers, its keep-alive on a timer. It connects, and after a loss reconnects
// with back-off (1, 2, 4 … 30 s); nothing ever waits.
class MqttClient : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString host = QStringLiteral("127.0.0.1");
        uint16_t port = 1883;
        bool tls = false;
        QString caFile;   // with tls; empty: the system's certificates
        QString certFile; // with tls: a client certificate and its key; empty: none
        QString keyFile;
        QByteArray keyPassword; // for an encrypted key
        QString clientId;
        QString username;
        QString password;
        QString willTopic; // published with QoS 1 when the connection is lost
        QByteArray willPayload;
        bool willRetained = true;
        int keepAliveSeconds = 30;
        // Declared to the broker, which then drops larger messages instead of
        // sending them; 0: no limit.
        quint32 maxPacketSize = 0;
    };

    // How a subscription takes the messages the broker keeps: Send hands them over on
    // subscribing, marked retained, and marks live ones not retained; Never hands
    // over live ones only, marked not retained; NeverAsPublished live ones only, each
    // marked as its publisher sent it; SendAsPublished both, each kept one and each
    // live one published with retain marked retained.
    enum class Retained { Send, Never, NeverAsPublished, SendAsPublished };

    static constexpr int MaxBackOffMs = 30000;

    explicit MqttClient(const Settings& settings, QObject* parent = nullptr);
    ~MqttClient() override;

    // Starts connecting; false when the client cannot be set up (see setupError()).
    bool start();
    const QString& setupError() const { return setupError_; }
    // Connects anew with other settings; false, with the reason in `error`, when
    // they cannot be set up: the connection with the old ones then stays.
    bool reconfigure(const Settings& settings, QString* error);
    const Settings& settings() const { return settings_; }
    // The will of the connection attempts from now on (see aboutToConnect()).
    void setWill(const QByteArray& payload);
    bool isConnected() const { return connected_; }
    // Whether the broker marks messages with the identifiers of their subscriptions.
    bool hasSubscriptionIds() const { return subscriptionIds_; }
    // QoS 1 unless told (0: sent once, never waited for); false (and nothing kept)
    // while not connected.
    bool publish(const QString& topic, const QByteArray& payload, bool retain, int qos = 1);
    bool subscribe(const QString& filter);
    // One request for many filters. `id` (1..31) comes back with each message the
    // subscription brings, as bit `id` of `subscriptions`.
    bool subscribe(const QStringList& filters, int id, Retained retained);
    bool unsubscribe(const QStringList& filters);
    // Publications sent and not acknowledged yet.
    int unacknowledged() const { return unacknowledged_; }
    // Waits (at most `timeoutMs`) for every publication to be acknowledged, then
    // disconnects cleanly, `withWill` asking the broker to publish the will;
    // stopped() follows in every case.
    void stop(int timeoutMs, bool withWill = false);

signals:
    // A connection attempt is about to start: the last moment to change the will it carries.
    void aboutToConnect();
    void connected();
    // A connection attempt has ended, made or not.
    void tried();
    void disconnected(const QString& reason);
    // `retained`: a stored message the broker hands over on subscribing, not a live
    // one. `subscriptions`: bit N for each subscription with id N that brought it.
    void message(const QString& topic, const QByteArray& payload, bool retained,
                 quint32 subscriptions);
    void stopped();
    void publishRefused(const QString& topic);

private:
    static void onConnect(mosquitto*, void* self, int rc, const mosquitto_property* properties);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message,
                          const mosquitto_property* properties);
    static void onPublish(mosquitto*, void* self, int mid, int reason,
                          const mosquitto_property* properties);
    static void onLog(mosquitto*, void* self, int level, const char* text);
    static int giveKeyPassword(char* buffer, int size, int, void* mosq);
    static void onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted,
                            const mosquitto_property* properties);

    QString configure(mosquitto* mosq, const Settings& settings);
    void connectNow();
    void watchSocket();
    void dropSocket();
    void readAvailable();
    void ackNow();
    const SSL* tls() const; // none without TLS
    const SSL* handshaking() const;
    bool handshakeFailed();
    int writeOut();
    void lost(const QString& what);
    void afterCall(int rc);
    void wantWrite();
    void finishStop();

    Settings settings_;
    QString setupError_;
    mosquitto* mosq_ = nullptr;
    QSocketNotifier* readable_ = nullptr;
    QSocketNotifier* writable_ = nullptr;
    int socket_ = -1;
    QTimer misc_;      // keep-alive and retries inside libmosquitto
    QTimer reconnect_; // the back-off
    QTimer stopLimit_;
    QTimer steady_;                   // the back-off starts again only once a connection has held
    QHash<int, QString> subscribing_; // what each subscription request asked for
    QString brokerReason_;            // why the broker ended the connection, if it said
    QHash<int, QString> publishing_;  // the topic of each publication not acknowledged yet
    bool subscriptionIds_ = true;
    int backOffMs_ = 1000;
    int shortLived_ = 0; // connections in a row lost before they held for a while
    int unacknowledged_ = 0;
    quint64 packetsIn_ = 0; // packets the library has handed over, counted by the callbacks
    int queued_ = 0;        // about how many packets wait to be written: a hint, not a count
    bool connected_ = false;
    bool stopping_ = false;
    bool begun_ = false;
    bool stoppedSent_ = false;
    bool stopWithWill_ = false;
};

} // namespace zarnet::gateway
