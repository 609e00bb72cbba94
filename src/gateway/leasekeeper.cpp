#include "leasekeeper.h"

#include "gatewaylog.h"
#include "mqttclient.h"

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

LeaseKeeper::LeaseKeeper(const StandbyConfig& config, const QString& clientId, const Topics& topics,
                         MqttClient& mqtt, QObject* parent)
    : QObject(parent), config_(config), me_(clientId), topics_(topics),
      leaseTopic_(topics.lease(config.group)), syncTopic_(topics.sync() + u"/lease"_s),
      mqtt_(mqtt) {
    clock_.start();
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, &LeaseKeeper::settleClaim);
    syncLimit_.setSingleShot(true);
    connect(&syncLimit_, &QTimer::timeout, this, [this] {
        synced_ = true;
        decide();
    });
    tick_.setInterval(std::max(leaseMs() / 3, 500));
    connect(&tick_, &QTimer::timeout, this, &LeaseKeeper::tick);
    tick_.start();
}

bool LeaseKeeper::mayWrite() const {
    return role_ == Role::Owner && mqtt_.isConnected() && confirmedAt_ >= 0 &&
           now() - confirmedAt_ < leaseMs();
}

// The retained lease comes before the token published after subscribing: once
// the token is back, what the broker keeps is known.
void LeaseKeeper::connected() {
    if (stopped_)
        return;
    synced_ = false;
    QStringList filters{leaseTopic_, syncTopic_};
    if (!ownerStatus_.isEmpty())
        filters.append(ownerStatus_);
    mqtt_.subscribe(filters, LeaseId, MqttClient::Retained::Send);
    mqtt_.publish(syncTopic_, QByteArray::number(++token_), false);
    syncLimit_.start(SyncLimitMs);
}

// Without the broker nothing confirms the lease, and the other may own it any
// moment: the lines close until the lease is held again.
void LeaseKeeper::disconnected() {
    settle_.stop();
    syncLimit_.stop();
    synced_ = false;
    if (role_ == Role::Owner)
        qCWarning(lcGateway).noquote() << "the broker connection was lost: closing the lines of"
                                       << config_.group << "until the lease is held again";
    if (role_ == Role::Owner || role_ == Role::Claiming)
        setRole(Role::Waiting);
}

bool LeaseKeeper::seen(const QString& topic, const QByteArray& payload) {
    if (topic == syncTopic_) {
        if (!stopped_ && payload == QByteArray::number(token_) && !synced_) {
            synced_ = true;
            syncLimit_.stop();
            decide();
        }
        return true;
    }
    if (topic == leaseTopic_) {
        const auto lease = readLease(payload);
        if (!lease)
            qCWarning(lcGateway).noquote() << "the lease on" << topic << "cannot be read; ignored";
        else if (!stopped_)
            leaseSeen(*lease);
        return true;
    }
    if (topic == ownerStatus_) {
        // The holder's will: its lease is vacant.
        holderGone_ = payload == "offline";
        if (holderGone_ && role_ == Role::Standby && !stopped_) {
            qCInfo(lcGateway).noquote() << held_.owner << "went offline: taking over";
            claim(highest_ + 1);
        }
        return true;
    }
    return false;
}

void LeaseKeeper::leaseSeen(const Lease& lease) {
    // Whether this gateway would claim now anyway: then a tie is its to win.
    const bool wouldClaim =
        (role_ == Role::Waiting && (held_.owner.isEmpty() || held_.owner == me_)) ||
        (role_ == Role::Standby && holderGone_);
    highest_ = std::max(highest_, lease.epoch);
    if (lease.owner == me_) {
        ownLeaseSeen(lease);
        return;
    }
    if (lease.owner.isEmpty()) { // vacant
        if (role_ == Role::Owner) {
            renew(); // not this gateway's to give up: a late release of a replaced owner
            return;
        }
        // A release by the holder; an older one, or a topic cleared by hand, is none.
        const bool released = lease.epoch >= held_.epoch;
        held_ = lease;
        if (role_ == Role::Standby && released)
            claim(highest_ + 1);
        else if (role_ == Role::Waiting)
            decide();
        return;
    }
    if (lease.claim)
        lastClaim_ = lease;
    const Lease mine{me_, lease.epoch, config_.priority, true};
    switch (role_) {
    case Role::Claiming:
        // Claims for the epoch claimed compete; a renewal of it means another owns
        // it already.
        if (lease.epoch == epoch_ && lease.claim && winsOver(lease, best_))
            best_ = lease;
        else if (lease.epoch > epoch_ || (lease.epoch == epoch_ && !lease.claim)) {
            follow(lease);
            setRole(Role::Standby);
        }
        return;
    case Role::Owner:
        // An owner keeps its epoch against a claim (answering it at once), and
        // gives it up to a higher one, or to another owner of it that wins.
        if (lease.epoch == epoch_ && lease.claim) {
            renew();
            return;
        }
        if (lease.epoch > epoch_ || (lease.epoch == epoch_ && winsOver(lease, mine))) {
            qCWarning(lcGateway).noquote() << lease.owner << "holds the lease of" << config_.group
                                           << "with epoch" << lease.epoch << ": standing down";
            follow(lease);
            setRole(Role::Standby);
        } else if (!renewedThisTick_) {
            // An older holder woke up, or lost a tie: the broker keeps this lease again.
            renewedThisTick_ = true;
            renew();
        }
        return;
    case Role::Waiting:
    case Role::Standby:
        if (lease.claim && wouldClaim && winsOver(mine, lease)) {
            claim(lease.epoch);
            return;
        }
        if (lease.epoch >= held_.epoch || held_.owner.isEmpty())
            follow(lease);
        if (role_ == Role::Waiting)
            decide();
        return;
    }
}

// This gateway's own lease: a renewal coming back confirms it from when it went
// out; one from before a restart says nobody else took it.
void LeaseKeeper::ownLeaseSeen(const Lease& lease) {
    if (role_ == Role::Claiming && lease.claim && lease.epoch == epoch_) {
        claimSeen_ = true;
        return;
    }
    if (role_ == Role::Owner && lease.epoch == epoch_) {
        const auto sent = sent_.find(lease.serial);
        if (sent == sent_.end())
            return;
        const bool was = mayWrite();
        confirmedAt_ = std::max(confirmedAt_, sent.value());
        sent_.removeIf([&](const auto& s) { return s.key() <= lease.serial; });
        if (!was && mayWrite())
            emit confirmed();
        return;
    }
    if (role_ == Role::Claiming)
        return;
    held_ = lease;
    if (role_ == Role::Waiting)
        decide();
}

// Once the retained lease is known: a holder heard from within the lease time is
// followed; otherwise the lease is claimed.
void LeaseKeeper::decide() {
    if (role_ != Role::Waiting || !synced_ || stopped_ || !mqtt_.isConnected())
        return;
    const bool holderFresh = !held_.owner.isEmpty() && held_.owner != me_ && !holderGone_ &&
                             renewedSeen_.isValid() && renewedSeen_.elapsed() < leaseMs();
    if (!holderFresh) {
        claim(highest_ + 1);
        return;
    }
    qCInfo(lcGateway).noquote() << "standby for" << config_.group << ":" << held_.owner
                                << "holds the lease";
    setRole(Role::Standby);
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

void LeaseKeeper::claim(quint64 epoch) {
    if (!mqtt_.isConnected() || stopped_)
        return;
    epoch_ = epoch;
    claimSeen_ = false;
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
    if (role_ != Role::Claiming)
        return;
    if (best_.owner != me_) {
        qCInfo(lcGateway).noquote() << best_.owner << "won the lease of" << config_.group;
        follow(best_);
        setRole(Role::Standby);
        return;
    }
    // A claim the broker never handed back may not have reached it.
    if (!claimSeen_) {
        setRole(Role::Waiting);
        return;
    }
    qCWarning(lcGateway).noquote() << "owner of" << config_.group << "with epoch" << epoch_;
    setRole(Role::Owner);
    renew(); // the retained lease may be a losing claim that came last
}

void LeaseKeeper::renew() {
    Lease lease{me_, epoch_, config_.priority, false, ++serial_};
    sent_.insert(serial_, now());
    sent_.removeIf([&](const auto& s) { return now() - s.value() >= leaseMs(); });
    mqtt_.publish(leaseTopic_, leasePayload(lease, QDateTime::currentDateTime()), true);
}

void LeaseKeeper::tick() {
    renewedThisTick_ = false;
    if (stopped_)
        return;
    switch (role_) {
    case Role::Owner:
        // Unconfirmed for the whole lease time: another may own the lines by now.
        if (now() - std::max(confirmedAt_, ownedAt_) >= leaseMs()) {
            qCWarning(lcGateway).noquote()
                << "the lease of" << config_.group << "was not confirmed for"
                << config_.leaseSeconds << "s: closing the lines";
            setRole(Role::Waiting); // the next tick decides, on what the broker said meanwhile
            return;
        }
        renew();
        return;
    case Role::Standby:
        if (synced_ && renewedSeen_.isValid() && renewedSeen_.elapsed() > leaseMs()) {
            qCInfo(lcGateway).noquote()
                << held_.owner << "did not renew the lease of" << config_.group << "for"
                << config_.leaseSeconds << "s: taking over";
            claim(highest_ + 1);
        }
        return;
    case Role::Waiting:
        decide();
        return;
    case Role::Claiming:
        return;
    }
}

void LeaseKeeper::stop() {
    stopped_ = true;
    tick_.stop();
    settle_.stop();
    syncLimit_.stop();
}

void LeaseKeeper::release() {
    if (mayWrite())
        mqtt_.publish(leaseTopic_,
                      leasePayload({QString(), epoch_, 0, false, 0}, QDateTime::currentDateTime()),
                      true);
}

void LeaseKeeper::setRole(Role role) {
    if (role == role_)
        return;
    const bool owned = role_ == Role::Owner;
    role_ = role;
    if (role != Role::Owner && role != Role::Claiming)
        epoch_ = 0;
    if (owned)
        confirmedAt_ = -1;
    sent_.clear();
    if (role == Role::Owner)
        ownedAt_ = now();
    if (owned != (role == Role::Owner))
        emit roleChanged();
}

} // namespace zarnet::gateway
