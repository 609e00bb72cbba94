#include "mqttclient.h"

#include <core/logging.h>

#include <QSocketNotifier>
#include <cstring>
#include <mosquitto.h>
#include <sys/ioctl.h>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

QString errorText(int rc) {
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

MqttClient::MqttClient(const Settings& settings, QObject* parent)
    : QObject(parent), settings_(settings) {
    static const int initialised = mosquitto_lib_init();
    Q_UNUSED(initialised);
    // Without a client id the library makes one up.
    const QByteArray id = settings_.clientId.toUtf8();
    mosq_ = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    setupError_ = mosq_ ? configure() : u"the MQTT client cannot be created"_s;
    misc_.setInterval(1000);
    connect(&misc_, &QTimer::timeout, this, [this] {
        if (socket_ >= 0)
            afterCall(mosquitto_loop_misc(mosq_));
    });
    reconnect_.setSingleShot(true);
    connect(&reconnect_, &QTimer::timeout, this, &MqttClient::connectNow);
    stopLimit_.setSingleShot(true);
    connect(&stopLimit_, &QTimer::timeout, this, &MqttClient::finishStop);
}

MqttClient::~MqttClient() {
    dropSocket();
    if (mosq_)
        mosquitto_destroy(mosq_);
}

// Everything the library is told before it connects; a fault that would weaken
// the connection (TLS that cannot be set up) is returned, not worked around.
QString MqttClient::configure() {
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // The state of many signs after a reconnect goes out in one go, not 20 per round trip.
    mosquitto_max_inflight_messages_set(mosq_, 1000);
    mosquitto_connect_callback_set(mosq_, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(mosq_, &MqttClient::onDisconnect);
    mosquitto_message_callback_set(mosq_, &MqttClient::onMessage);
    mosquitto_publish_callback_set(mosq_, &MqttClient::onPublish);
    if (!settings_.willTopic.isEmpty())
        mosquitto_will_set(mosq_, settings_.willTopic.toUtf8().constData(),
                           int(settings_.willPayload.size()), settings_.willPayload.constData(), 1,
                           true);
    if (!settings_.username.isEmpty())
        mosquitto_username_pw_set(
            mosq_, settings_.username.toUtf8().constData(),
            settings_.password.isEmpty() ? nullptr : settings_.password.toUtf8().constData());
    if (settings_.tls) {
        const QByteArray caFile = settings_.caFile.toLocal8Bit();
        const int rc = mosquitto_tls_set(mosq_, caFile.isEmpty() ? nullptr : caFile.constData(),
                                         caFile.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr,
                                         nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return u"TLS cannot be set up with %1: %2"_s.arg(
                settings_.caFile.isEmpty() ? u"/etc/ssl/certs"_s : settings_.caFile, errorText(rc));
    }
    return {};
}

bool MqttClient::start() {
    if (!setupError_.isEmpty())
        return false;
    misc_.start();
    connectNow();
    return true;
}

void MqttClient::connectNow() {
    if (stopping_)
        return;
    qCInfo(lcMqtt).noquote() << "connecting to" << settings_.host << "port" << settings_.port;
    // The first call gives the library the address; later ones use it again.
    const int rc = begun_ ? mosquitto_reconnect_async(mosq_)
                          : mosquitto_connect_async(mosq_, settings_.host.toUtf8().constData(),
                                                    settings_.port, settings_.keepAliveSeconds);
    begun_ = true;
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(u"cannot connect to %1 port %2: %3"_s.arg(settings_.host)
                 .arg(settings_.port)
                 .arg(errorText(rc)));
        return;
    }
    watchSocket();
}

void MqttClient::watchSocket() {
    dropSocket();
    socket_ = mosquitto_socket(mosq_);
    if (socket_ < 0)
        return;
    readable_ = new QSocketNotifier(socket_, QSocketNotifier::Read, this);
    writable_ = new QSocketNotifier(socket_, QSocketNotifier::Write, this);
    connect(readable_, &QSocketNotifier::activated, this, &MqttClient::readAvailable);
    connect(writable_, &QSocketNotifier::activated, this,
            [this] { afterCall(mosquitto_loop_write(mosq_, 1)); });
    writable_->setEnabled(mosquitto_want_write(mosq_));
}

// The library reads one packet a call; everything that has arrived is taken in
// one go (bounded, so that the other sockets get their turn).
void MqttClient::readAvailable() {
    for (int i = 0; i < 256 && socket_ >= 0; ++i) {
        const int rc = mosquitto_loop_read(mosq_, 1);
        int waiting = 0;
        if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq_) != socket_ ||
            ::ioctl(socket_, FIONREAD, &waiting) != 0 || waiting == 0) {
            afterCall(rc);
            return;
        }
    }
    afterCall(MOSQ_ERR_SUCCESS);
}

void MqttClient::dropSocket() {
    delete readable_;
    delete writable_;
    readable_ = nullptr;
    writable_ = nullptr;
    socket_ = -1;
}

// After every call into the library: a closed socket is a lost connection, and
// the write notifier is wanted only while something waits to go out.
void MqttClient::afterCall(int rc) {
    if (socket_ >= 0 && mosquitto_socket(mosq_) != socket_) {
        lost(rc == MOSQ_ERR_SUCCESS ? u"the connection was closed"_s : errorText(rc));
        return;
    }
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN) {
        lost(errorText(rc));
        return;
    }
    wantWrite();
}

// Also called from inside the library's callbacks, so it only looks, never acts.
void MqttClient::wantWrite() {
    if (writable_)
        writable_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::lost(const QString& reason) {
    dropSocket();
    const bool was = connected_;
    connected_ = false;
    unacknowledged_ = 0;
    // The library would send the old connection's unacknowledged messages again
    // after the state published on reconnecting, and the broker would keep the
    // older retained values. A fresh start forgets them; the state is published anew.
    if (begun_) {
        const QByteArray id = settings_.clientId.toUtf8();
        mosquitto_reinitialise(mosq_, id.isEmpty() ? nullptr : id.constData(), true, this);
        configure();
        begun_ = false;
    }
    if (stopping_) {
        finishStop();
        return;
    }
    if (was || !reconnect_.isActive()) {
        qCWarning(lcMqtt).noquote() << "broker connection lost:" << reason << "- trying again in"
                                    << backOffMs_ / 1000 << "s";
        if (was)
            emit disconnected(reason);
    }
    if (!reconnect_.isActive()) {
        reconnect_.start(backOffMs_);
        backOffMs_ = std::min(backOffMs_ * 2, MaxBackOffMs);
    }
}

bool MqttClient::publish(const QString& topic, const QByteArray& payload, bool retain) {
    if (!connected_)
        return false;
    const int rc = mosquitto_publish(mosq_, nullptr, topic.toUtf8().constData(),
                                     int(payload.size()), payload.constData(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        qCWarning(lcMqtt).noquote() << "not published to" << topic << ":" << errorText(rc);
        return false;
    }
    ++unacknowledged_;
    wantWrite();
    return true;
}

bool MqttClient::subscribe(const QString& filter) {
    const int rc = mosquitto_subscribe(mosq_, nullptr, filter.toUtf8().constData(), 1);
    wantWrite();
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::stop(int timeoutMs) {
    stopping_ = true;
    reconnect_.stop();
    if (!connected_ || unacknowledged_ == 0) {
        finishStop();
        return;
    }
    stopLimit_.start(timeoutMs);
}

void MqttClient::finishStop() {
    if (!stopping_ || stoppedSent_)
        return;
    stoppedSent_ = true;
    misc_.stop();
    stopLimit_.stop();
    if (connected_) {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_write(mosq_, 1);
    }
    connected_ = false;
    dropSocket();
    // Emitted from the event loop, so that a caller of stop() sees it after returning.
    QMetaObject::invokeMethod(this, &MqttClient::stopped, Qt::QueuedConnection);
}

void MqttClient::onConnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    if (rc != 0) {
        qCWarning(lcMqtt).noquote() << "the broker refused the connection:"
                                    << QString::fromUtf8(mosquitto_connack_string(rc));
        return; // the broker closes the connection; that is handled as a loss
    }
    qCInfo(lcMqtt).noquote() << "connected to" << client->settings_.host << "port"
                             << client->settings_.port;
    client->connected_ = true;
    client->backOffMs_ = 1000;
    emit client->connected();
}

void MqttClient::onDisconnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    // Handled from the event loop, outside the library's call; the notifiers go now,
    // as the socket is closed.
    if (client->socket_ >= 0 && !client->stopping_) {
        const QString reason = errorText(rc);
        QMetaObject::invokeMethod(
            client, [client, reason] { client->lost(reason); }, Qt::QueuedConnection);
    }
    client->dropSocket();
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* client = static_cast<MqttClient*>(self);
    emit client->message(
        QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
        message->retain);
}

void MqttClient::onPublish(mosquitto*, void* self, int) {
    auto* client = static_cast<MqttClient*>(self);
    if (client->unacknowledged_ > 0)
        --client->unacknowledged_;
    if (client->stopping_ && client->unacknowledged_ == 0)
        QMetaObject::invokeMethod(client, &MqttClient::finishStop, Qt::QueuedConnection);
}

} // namespace zarnet::gateway
