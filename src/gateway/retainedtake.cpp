#include "retainedtake.h"

#include "gatewaylog.h"
#include "mqttclient.h"

namespace zarnet::gateway {

RetainedTake::RetainedTake(MqttClient& mqtt, const QString& syncTopic, QObject* parent)
    : QObject(parent), mqtt_(mqtt), syncTopic_(syncTopic) {
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        qCWarning(lcMqtt).noquote()
            << "the broker did not hand over the retained commands of" << current_.name << "within"
            << PortionLimitMs / 1000
            << "s; going on without waiting (the broker's access list must let this gateway "
               "publish and subscribe to"
            << syncTopic_ << ")";
        gaveUp_ = true;
        endPortion();
    });
}

void RetainedTake::connected() {
    mqtt_.subscribe({syncTopic_}, SyncId, MqttClient::Retained::Never);
}

void RetainedTake::start(const QList<Portion>& portions) {
    cancel();
    gaveUp_ = false;
    portions_ = portions;
    next();
}

void RetainedTake::cancel() {
    limit_.stop();
    portions_.clear();
    current_ = {};
}

void RetainedTake::next() {
    while (!portions_.isEmpty()) {
        current_ = portions_.takeFirst();
        if (!mqtt_.subscribe(current_.filters, TakeId, MqttClient::Retained::Send))
            continue;
        mqtt_.publish(syncTopic_, QByteArray::number(++token_), false);
        limit_.start(PortionLimitMs);
        return;
    }
    current_ = {};
    emit finished();
}

void RetainedTake::syncSeen(const QByteArray& payload) {
    if (current_.filters.isEmpty() || payload != QByteArray::number(token_))
        return; // a token of a portion given up, or of another connection
    endPortion();
}

// Live commands come through the service's own subscriptions; the portion's are
// not needed any more.
void RetainedTake::endPortion() {
    limit_.stop();
    mqtt_.unsubscribe(current_.filters);
    current_ = {};
    next();
}

} // namespace zarnet::gateway
