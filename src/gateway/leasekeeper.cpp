#include "leasekeeper.h"

#include "mqttclient.h"

#include <core/logging.h>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

LeaseKeeper::LeaseKeeper(const StandbyConfig& config, const QString& clientId, const Topics& topics,
                         MqttClient& mqtt, QObject* parent)
    : QObject(parent), config_(config), me_(clientId), topics_(topics),
      leaseTopic_(topics.lease(config.group)), mqtt_(mqtt) {
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, [this] {
        if (role_ == Role::Claiming)
            settleClaim();
        else
            decide();
    });
    tick_.setInterval(std::max(leaseMs() / 3, 500));
    connect(&tick_, &QTimer::timeout, this, &LeaseKeeper::tick);
    tick_.start();
}

bool LeaseKeeper::mayWrite() const {
    return role_ == Role::Owner && confirmed_.isValid() && confirmed_.elapsed() < leaseMs();
}

qint64 LeaseKeeper::unconfirmedMs() const {
    return confirmed_.isValid() ? confirmed_.elapsed() : owned_.elapsed();
}

void LeaseKeeper::connected() {
    leaseKnown_ = false;
    QStringList filters{leaseTopic_};
    if (!ownerStatus_.isEmpty())
        filters.append(ownerStatus_);
    mqtt_.subscribe(filters, LeaseId, MqttClient::Retained::Send);
    if (role_ == Role::Owner)
        renew(); // the broker hears at once that the lease is still held
    else
        settle_.start(SettleMs);
}

void LeaseKeeper::disconnected() {
    settle_.stop();
    if (role_ == Role::Claiming)
        setRole(Role::Waiting);
}

bool LeaseKeeper::seen(const QString& topic, const QByteArray& payload) {
    if (topic == leaseTopic_) {
        const auto lease = readLease(payload);
        if (!lease)
            qCWarning(lcGateway).noquote()
                << "the lease on" << topic << "cannot be read; taken as vacant";
        leaseSeen(lease.value_or(Lease{}));
        return true;
    }
    if (topic == ownerStatus_) {
        // The holder's will: its lease is vacant.
        holderGone_ = payload == "offline";
        if (holderGone_ && role_ == Role::Standby) {
            qCInfo(lcGateway).noquote() << held_.owner << "went offline: taking over";
            claim(highest_ + 1);
        }
        return true;
    }
    return false;
}

void LeaseKeeper::leaseSeen(const Lease& lease) {
    leaseKnown_ = true;
    highest_ = std::max(highest_, lease.epoch);
    if (lease.claim && lease.owner != me_) {
        lastClaim_ = lease;
        // A tie: two gateways claiming one epoch, the first perhaps owning by now.
        // The better priority wins it, whichever came first.
        const bool better = winsOver({me_, lease.epoch, config_.priority, true}, lease);
        if (role_ == Role::Owner && lease.epoch == epoch_) {
            if (better) {
                renew();
                return;
            }
            qCWarning(lcGateway).noquote() << lease.owner << "wins the lease of" << config_.group
                                           << "by priority: standing down";
            follow(lease);
            setRole(Role::Standby);
            return;
        }
        if (better && (role_ == Role::Waiting || role_ == Role::Standby)) {
            claim(lease.epoch);
            return;
        }
    }
    if (role_ == Role::Claiming && lease.epoch == epoch_ && !lease.owner.isEmpty()) {
        if (winsOver(lease, best_))
            best_ = lease;
        return;
    }
    const bool mine = lease.owner == me_ && lease.epoch == epoch_ && epoch_ > 0;
    if (mine) {
        const bool was = mayWrite();
        confirmed_.start();
        if (!was && mayWrite())
            emit confirmed();
        return;
    }
    if (lease.owner.isEmpty()) { // vacant
        if (role_ == Role::Standby)
            claim(highest_ + 1);
        return;
    }
    if (role_ == Role::Owner || role_ == Role::Claiming) {
        if (lease.epoch > epoch_) {
            qCWarning(lcGateway).noquote()
                << lease.owner << "took over the lease of" << config_.group << "with epoch"
                << lease.epoch << ": standing down";
            follow(lease);
            setRole(Role::Standby);
        } else if (role_ == Role::Owner) {
            renew(); // an older holder woke up: the broker keeps this lease again
        }
        return;
    }
    if (lease.epoch >= held_.epoch || lease.owner == held_.owner)
        follow(lease);
    if (role_ == Role::Waiting && !settle_.isActive())
        decide();
}

// After a connection settled: a vacant lease, or this gateway's own from before a
// restart, is claimed; another's is followed until it lapses.
void LeaseKeeper::decide() {
    if (role_ != Role::Waiting && role_ != Role::Standby)
        return;
    if (!leaseKnown_ || held_.owner.isEmpty() || held_.owner == me_ || holderGone_) {
        claim(highest_ + 1);
        return;
    }
    if (role_ == Role::Waiting) {
        qCInfo(lcGateway).noquote()
            << "standby for" << config_.group << ":" << held_.owner << "holds the lease";
        setRole(Role::Standby);
    }
}

void LeaseKeeper::follow(const Lease& lease) {
    held_ = lease;
    renewedSeen_.start();
    const QString status = topics_.gatewayStatus(lease.owner);
    if (status == ownerStatus_)
        return;
    if (!ownerStatus_.isEmpty())
        mqtt_.unsubscribe({ownerStatus_});
    ownerStatus_ = status;
    holderGone_ = false;
    // Retained too: a holder whose will was published before this gateway came
    // has left its lease vacant.
    mqtt_.subscribe({ownerStatus_}, LeaseId, MqttClient::Retained::Send);
}

void LeaseKeeper::claim(quint32 epoch) {
    if (!mqtt_.isConnected())
        return;
    epoch_ = epoch;
    best_ = Lease{me_, epoch_, config_.priority, true};
    // Another's claim for the same epoch seen just before counts as well.
    if (lastClaim_.epoch == epoch_ && winsOver(lastClaim_, best_))
        best_ = lastClaim_;
    qCInfo(lcGateway).noquote() << "claiming the lease of" << config_.group << "with epoch"
                                << epoch_;
    mqtt_.publish(leaseTopic_, leasePayload(best_, QDateTime::currentDateTime()), true);
    setRole(Role::Claiming);
    settle_.start(SettleMs);
}

void LeaseKeeper::settleClaim() {
    if (best_.owner != me_) {
        qCInfo(lcGateway).noquote() << best_.owner << "won the lease of" << config_.group;
        follow(best_);
        setRole(Role::Standby);
        return;
    }
    qCWarning(lcGateway).noquote() << "owner of" << config_.group << "with epoch" << epoch_;
    setRole(Role::Owner);
    renew(); // the retained lease may be a losing claim that came last
}

void LeaseKeeper::renew() {
    mqtt_.publish(leaseTopic_,
                  leasePayload({me_, epoch_, config_.priority}, QDateTime::currentDateTime()),
                  true);
}

void LeaseKeeper::tick() {
    if (role_ == Role::Owner) {
        // Unconfirmed for the whole lease time: another may own the lines by now.
        if (unconfirmedMs() >= leaseMs()) {
            qCWarning(lcGateway).noquote()
                << "the lease of" << config_.group << "was not confirmed for"
                << config_.leaseSeconds << "s: closing the lines";
            setRole(Role::Waiting);
            return;
        }
        renew();
        return;
    }
    if (role_ == Role::Standby && renewedSeen_.isValid() && renewedSeen_.elapsed() > leaseMs()) {
        qCInfo(lcGateway).noquote() << held_.owner << "did not renew the lease of" << config_.group
                                    << "for" << config_.leaseSeconds << "s: taking over";
        claim(highest_ + 1);
    }
}

void LeaseKeeper::release() {
    if (role_ != Role::Owner)
        return;
    mqtt_.publish(leaseTopic_, leasePayload({QString(), epoch_, 0}, QDateTime::currentDateTime()),
                  true);
}

void LeaseKeeper::setRole(Role role) {
    if (role == role_)
        return;
    const bool owned = role_ == Role::Owner;
    role_ = role;
    if (role != Role::Owner && role != Role::Claiming)
        epoch_ = 0;
    confirmed_.invalidate();
    if (role == Role::Owner)
        owned_.start();
    if (owned != (role == Role::Owner))
        emit roleChanged();
}

} // namespace zarnet::gateway
