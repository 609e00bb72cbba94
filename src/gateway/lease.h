#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace zarnet::gateway {

// Who holds a group's lease: the gateway that may open the group's links. The
// epoch rises with every takeover.
struct Lease {
    QString owner; // the client id; empty: vacant
    quint64 epoch = 0;
    int priority = 0;
    bool claim = false; // a claim, read back after a settling time; else a renewal
    quint64 serial = 0; // of a renewal: tells which one the broker handed back
    bool operator==(const Lease&) const = default;
};

// The retained lease as published; a vacant one for an empty payload, nullopt
// for one that cannot be read.
std::optional<Lease> readLease(const QByteArray& payload);
QByteArray leasePayload(const Lease& lease, const QDateTime& renewed);

// Of two claims for one epoch, whether `a` wins: the lower priority, then the
// lower client id, so that every gateway picks the same.
bool winsOver(const Lease& a, const Lease& b);

} // namespace zarnet::gateway
