#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace zarnet::gateway {

class MqttClient;

// Takes what the broker keeps for this service in portions it will deliver: a
// broker queues every retained message a subscription matches at once and drops
// what exceeds its queue for one client. Each portion's topics are subscribed,
// then a token is published to the sync topic; once the token comes back, every
// retained message before it has come, and the next portion is asked for.
class RetainedTake : public QObject {
    Q_OBJECT
public:
    // The subscription identifiers of the portions and of the sync topic.
    static constexpr int TakeId = 2;
    static constexpr int SyncId = 3;
    // A portion whose token has not come back by then is given up.
    static constexpr int PortionLimitMs = 10000;

    struct Portion {
        QString name; // for the log
        QStringList filters;
    };

    RetainedTake(MqttClient& mqtt, const QString& syncTopic, QObject* parent = nullptr);

    // Subscribes the sync topic; once a connection, before the first start().
    void connected();
    void start(const QList<Portion>& portions);
    // The connection was lost: the take ends unfinished.
    void cancel();
    bool running() const { return !current_.filters.isEmpty() || !portions_.isEmpty(); }
    // Whether a portion of the last take was given up: its retained messages may
    // not all have come.
    bool gaveUp() const { return gaveUp_; }
    // A message on the sync topic.
    void syncSeen(const QByteArray& payload);
    bool isSyncTopic(const QString& topic) const { return topic == syncTopic_; }
    // For the next connection (the client id changed).
    void setSyncTopic(const QString& topic) { syncTopic_ = topic; }

signals:
    void finished();

private:
    void next();
    void endPortion();

    MqttClient& mqtt_;
    QString syncTopic_;
    QList<Portion> portions_;
    Portion current_;
    quint64 token_ = 0;
    bool gaveUp_ = false;
    QTimer limit_;
};

} // namespace zarnet::gateway
