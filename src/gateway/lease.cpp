#include "lease.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

// The largest whole number a JSON number holds exactly.
constexpr double MaxWhole = 9007199254740992.0;

} // namespace

std::optional<Lease> readLease(const QByteArray& payload) {
    if (payload.isEmpty())
        return Lease{};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    const QJsonObject o = document.object();
    const QJsonValue owner = o.value(u"owner"_s);
    const QJsonValue epoch = o.value(u"epoch"_s);
    const double number = epoch.toDouble(-1);
    if (error.error != QJsonParseError::NoError || !owner.isString() || !epoch.isDouble() ||
        number < 0 || number > MaxWhole || number != std::floor(number))
        return std::nullopt;
    const double serial = o.value(u"serial"_s).toDouble(0);
    return Lease{owner.toString(), quint64(number), o.value(u"priority"_s).toInt(),
                 o.value(u"claim"_s).toBool(),
                 serial >= 0 && serial <= MaxWhole ? quint64(serial) : 0};
}

QByteArray leasePayload(const Lease& lease, const QDateTime& renewed) {
    const QJsonObject o{
        {u"owner"_s, lease.owner},           {u"epoch"_s, double(lease.epoch)},
        {u"priority"_s, lease.priority},     {u"claim"_s, lease.claim},
        {u"serial"_s, double(lease.serial)}, {u"renewed"_s, renewed.toString(Qt::ISODateWithMs)}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

bool winsOver(const Lease& a, const Lease& b) {
    if (a.priority != b.priority)
        return a.priority < b.priority;
    return a.owner < b.owner;
}

} // namespace zarnet::gateway
