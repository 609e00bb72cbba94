#pragma once

#include "config.h"
#include "lease.h"
#include "topics.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

namespace zarnet::gateway {

class MqttClient;

// Keeps a group's lease on the broker for this gateway, or watches the gateway
// that holds it and takes over when the lease falls vacant or is not renewed.
// MQTT has no compare-and-swap: a claim is read back after a settling time, and
// of claims for one epoch every gateway picks the same winner.
class LeaseKeeper : public QObject {
    Q_OBJECT
public:
    enum class Role { Waiting, Claiming, Owner, Standby };
    // How long a claim is read back before it counts.
    static constexpr int SettleMs = 1000;
    // The most a new connection waits for the retained lease before it decides.
    static constexpr int SyncLimitMs = 5000;
    // The subscription identifier of the lease and the holder's status.
    static constexpr int LeaseId = 3;

    LeaseKeeper(const StandbyConfig& config, const QString& clientId, const Topics& topics,
                MqttClient& mqtt, QObject* parent = nullptr);

    Role role() const { return role_; }
    // The owner, connected, with a renewal sent less than the lease time ago
    // confirmed by the broker: a gateway paused or cut off from the broker for
    // longer may have been replaced.
    bool mayWrite() const;

    void connected();
    void disconnected();
    // Takes the message when it is the lease's, the holder's status or its own
    // sync token; false when not.
    bool seen(const QString& topic, const QByteArray& payload);
    // Keeps still from now on: the service is stopping.
    void stop();
    // Says the lease is vacant, when this gateway holds it: the last word on a clean stop.
    void release();

signals:
    void roleChanged();
    // The broker confirmed the lease again after it had gone unconfirmed.
    void confirmed();

private:
    void leaseSeen(const Lease& lease);
    void ownLeaseSeen(const Lease& lease);
    void decide();
    void claim(quint64 epoch);
    void settleClaim();
    void renew();
    void tick();
    void follow(const Lease& lease);
    void setRole(Role role);
    qint64 now() const { return clock_.elapsed(); }
    int leaseMs() const { return config_.leaseSeconds * 1000; }

    StandbyConfig config_;
    QString me_;
    Topics topics_;
    QString leaseTopic_;
    QString syncTopic_;
    MqttClient& mqtt_;
    Role role_ = Role::Waiting;
    Lease held_;              // the holder's lease as last seen (vacant: no owner)
    quint64 epoch_ = 0;       // of this gateway's lease, while it owns or claims it
    quint64 highest_ = 0;     // the highest epoch seen
    Lease best_;              // while claiming: the winning claim seen for epoch_
    Lease lastClaim_;         // the last claim of another seen, for a tie
    QString ownerStatus_;     // the holder's status topic, followed for its will
    bool holderGone_ = false; // the holder's will said it went offline
    bool synced_ = false;     // the retained lease, if any, has come on this connection
    bool renewedThisTick_ = false;
    bool claimSeen_ = false; // this gateway's claim came back from the broker
    bool stopped_ = false;
    QElapsedTimer clock_;
    QElapsedTimer renewedSeen_;   // since the holder's lease was last seen
    QHash<quint64, qint64> sent_; // the renewals not confirmed yet: when each went out
    quint64 serial_ = 0;
    qint64 confirmedAt_ = -1; // when the newest renewal confirmed went out; -1: none
    qint64 ownedAt_ = 0;
    quint64 token_ = 0;
    QTimer settle_;
    QTimer syncLimit_;
    QTimer tick_;
};

} // namespace zarnet::gateway
