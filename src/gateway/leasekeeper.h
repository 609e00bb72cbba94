#pragma once

#include "config.h"
#include "lease.h"
#include "topics.h"

#include <QElapsedTimer>
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
    // How long a claim, or a new connection's retained lease, is waited for.
    static constexpr int SettleMs = 1000;
    // The subscription identifier of the lease and the holder's status.
    static constexpr int LeaseId = 3;

    LeaseKeeper(const StandbyConfig& config, const QString& clientId, const Topics& topics,
                MqttClient& mqtt, QObject* parent = nullptr);

    Role role() const { return role_; }
    quint32 epoch() const { return epoch_; }
    // The owner, while the broker has confirmed its lease within the lease time: a
    // gateway paused or cut off from the broker for longer may have been replaced.
    bool mayWrite() const;

    void connected();
    void disconnected();
    // Takes the message when it is the lease's or the holder's status; false when not.
    bool seen(const QString& topic, const QByteArray& payload);
    // Says the lease is vacant, on a clean stop.
    void release();

signals:
    void roleChanged();
    // The broker confirmed the lease again after it had gone unconfirmed.
    void confirmed();

private:
    void leaseSeen(const Lease& lease);
    void decide();
    void claim(quint32 epoch);
    void settleClaim();
    void renew();
    void tick();
    void follow(const Lease& lease);
    void setRole(Role role);
    int leaseMs() const { return config_.leaseSeconds * 1000; }
    qint64 unconfirmedMs() const;

    StandbyConfig config_;
    QString me_;
    Topics topics_;
    QString leaseTopic_;
    MqttClient& mqtt_;
    Role role_ = Role::Waiting;
    Lease held_;                // the holder's lease as last seen (vacant: no owner)
    quint32 epoch_ = 0;         // of this gateway's lease, while it owns or claims it
    quint32 highest_ = 0;       // the highest epoch seen
    Lease best_;                // while claiming: the winning claim seen for epoch_
    Lease lastClaim_;           // the last claim of another seen, for a tie
    QString ownerStatus_;       // the holder's status topic, followed for its will
    QElapsedTimer renewedSeen_; // since the holder's lease was last seen
    QElapsedTimer confirmed_;   // since this gateway's own lease came back from the broker
    QElapsedTimer owned_;       // since this gateway became the owner
    bool leaseKnown_ = false;
    bool holderGone_ = false; // the holder's will said it went offline
    QTimer settle_;
    QTimer tick_;
};

} // namespace zarnet::gateway
