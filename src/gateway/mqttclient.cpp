#include "mqttclient.h"

#include "gatewaylog.h"

#include <QRegularExpression>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

// A connection that holds this long is taken as working: the back-off starts again.
constexpr int SteadyMs = 10000;

QString errorText(int rc) {
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

// Why the broker ended the connection, from the reason code of its DISCONNECT.
QString disconnectText(int rc, const QString& clientId) {
    if (rc == MQTT_RC_SESSION_TAKEN_OVER)
        return u"another client connected with this client id \"%1\"; give each gateway "
               "its own client_id"_s.arg(clientId);
    if (rc >= 128)
        return u"the broker closed the connection: "_s +
               QString::fromUtf8(mosquitto_reason_string(rc));
    return errorText(rc);
}

int subscriptionOptions(MqttClient::Retained retained) {
    switch (retained) {
    case MqttClient::Retained::Send:
        return 0;
    case MqttClient::Retained::Never:
        return MQTT_SUB_OPT_SEND_RETAIN_NEVER;
    case MqttClient::Retained::NeverAsPublished:
        return MQTT_SUB_OPT_SEND_RETAIN_NEVER | MQTT_SUB_OPT_RETAIN_AS_PUBLISHED;
    case MqttClient::Retained::SendAsPublished:
        return MQTT_SUB_OPT_SEND_RETAIN_ALWAYS | MQTT_SUB_OPT_RETAIN_AS_PUBLISHED;
    }
    return 0;
}

// The TLS alerts a broker sends about the client's certificate.
bool refusesCertificate(int reason) {
    switch (reason) {
    case SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED:
    case SSL_R_SSLV3_ALERT_BAD_CERTIFICATE:
    case SSL_R_SSLV3_ALERT_CERTIFICATE_EXPIRED:
    case SSL_R_SSLV3_ALERT_CERTIFICATE_REVOKED:
    case SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN:
    case SSL_R_SSLV3_ALERT_UNSUPPORTED_CERTIFICATE:
    case SSL_R_TLSV1_ALERT_UNKNOWN_CA:
    case SSL_R_TLSV1_ALERT_ACCESS_DENIED:
    // Signed by another authority of the same name: its signature does not verify.
    case SSL_R_TLSV1_ALERT_DECRYPT_ERROR:
        return true;
    default:
        return false;
    }
}

QList<QByteArray> utf8(const QStringList& texts) {
    QList<QByteArray> out;
    for (const QString& text : texts)
        out.append(text.toUtf8());
    return out;
}

QList<char*> pointers(QList<QByteArray>& texts) {
    QList<char*> out;
    for (QByteArray& text : texts)
        out.append(text.data());
    return out;
}

} // namespace

MqttClient::MqttClient(const Settings& settings, QObject* parent)
    : QObject(parent), settings_(settings) {
    static const int initialised = mosquitto_lib_init();
    Q_UNUSED(initialised);
    // Without a client id the library makes one up.
    const QByteArray id = settings_.clientId.toUtf8();
    mosq_ = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    setupError_ = mosq_ ? configure(mosq_, settings_) : u"the MQTT client cannot be created"_s;
    misc_.setInterval(1000);
    connect(&misc_, &QTimer::timeout, this, [this] {
        if (socket_ >= 0)
            afterCall(mosquitto_loop_misc(mosq_));
    });
    reconnect_.setSingleShot(true);
    connect(&reconnect_, &QTimer::timeout, this, &MqttClient::connectNow);
    stopLimit_.setSingleShot(true);
    connect(&stopLimit_, &QTimer::timeout, this, &MqttClient::finishStop);
    steady_.setSingleShot(true);
    connect(&steady_, &QTimer::timeout, this, [this] {
        backOffMs_ = 1000;
        shortLived_ = 0;
    });
}

MqttClient::~MqttClient() {
    dropSocket();
    if (mosq_)
        mosquitto_destroy(mosq_);
}

// Everything the library is told before it connects; a fault that would weaken
// the connection (TLS that cannot be set up) is returned, not worked around.
QString MqttClient::configure(mosquitto* mosq, const Settings& settings) {
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    // The state of many signs after a reconnect goes out in one go, not 20 per round trip.
    mosquitto_int_option(mosq, MOSQ_OPT_SEND_MAXIMUM, 1000);
    // A command published right after another is not held until the broker has
    // acknowledged the first packet.
    mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);
    // Packets are queued and written after each batch read (see writeOut()), not
    // one system call and one TCP segment each as they are made.
    mosquitto_threaded_set(mosq, true);
    mosquitto_connect_v5_callback_set(
        mosq, [](mosquitto* m, void* self, int rc, int, const mosquitto_property* properties) {
            onConnect(m, self, rc, properties);
        });
    mosquitto_disconnect_v5_callback_set(
        mosq, [](mosquitto* m, void* self, int rc, const mosquitto_property*) {
            onDisconnect(m, self, rc);
        });
    mosquitto_message_v5_callback_set(
        mosq,
        [](mosquitto* m, void* self, const mosquitto_message* message,
           const mosquitto_property* properties) { onMessage(m, self, message, properties); });
    mosquitto_publish_v5_callback_set(mosq, &MqttClient::onPublish);
    mosquitto_log_callback_set(mosq, &MqttClient::onLog);
    mosquitto_subscribe_v5_callback_set(mosq, &MqttClient::onSubscribe);
    if (settings.maxPacketSize > 0) {
        // libmosquitto 2.0 takes CONNECT properties only in its blocking connect, and
        // keeps them for the asynchronous connects that follow. Port 0 makes that
        // connect go to a Unix socket at the path given as the host: /dev/null is
        // none, so it is refused at once and nothing is sent anywhere.
        mosquitto_property* properties = nullptr;
        mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE,
                                     settings.maxPacketSize);
        mosquitto_connect_bind_v5(mosq, "/dev/null", 0, settings.keepAliveSeconds, nullptr,
                                  properties);
        mosquitto_property_free_all(&properties);
    }
    if (!settings.willTopic.isEmpty())
        mosquitto_will_set(mosq, settings.willTopic.toUtf8().constData(),
                           int(settings.willPayload.size()), settings.willPayload.constData(), 1,
                           settings.willRetained);
    if (!settings.username.isEmpty())
        mosquitto_username_pw_set(
            mosq, settings.username.toUtf8().constData(),
            settings.password.isEmpty() ? nullptr : settings.password.toUtf8().constData());
    if (settings.tls) {
        const QByteArray caFile = settings.caFile.toLocal8Bit();
        const QByteArray certFile = settings.certFile.toLocal8Bit();
        const QByteArray keyFile = settings.keyFile.toLocal8Bit();
        const int rc = mosquitto_tls_set(mosq, caFile.isEmpty() ? nullptr : caFile.constData(),
                                         caFile.isEmpty() ? "/etc/ssl/certs" : nullptr,
                                         certFile.isEmpty() ? nullptr : certFile.constData(),
                                         keyFile.isEmpty() ? nullptr : keyFile.constData(),
                                         &MqttClient::giveKeyPassword);
        if (rc != MOSQ_ERR_SUCCESS) {
            QString files = settings.caFile.isEmpty() ? u"/etc/ssl/certs"_s : settings.caFile;
            if (!settings.certFile.isEmpty())
                files += u", "_s + settings.certFile + u" and "_s + settings.keyFile;
            return u"TLS cannot be set up with %1: %2"_s.arg(files, errorText(rc));
        }
    }
    return {};
}

bool MqttClient::reconfigure(const Settings& settings, QString* error) {
    const QByteArray id = settings.clientId.toUtf8();
    mosquitto* fresh = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (!fresh) {
        *error = u"the MQTT client cannot be created"_s;
        return false;
    }
    if (const QString why = configure(fresh, settings); !why.isEmpty()) {
        mosquitto_destroy(fresh);
        *error = why;
        return false;
    }
    // The old connection ends with its will: its subscribers hear that it went. The
    // socket is let go first, so that the library's word of the disconnect is not
    // taken for a loss of the new connection.
    dropSocket();
    if (connected_) {
        mosquitto_disconnect_v5(mosq_, MQTT_RC_DISCONNECT_WITH_WILL_MSG, nullptr);
        mosquitto_loop_write(mosq_, 1);
    }
    mosquitto_destroy(mosq_);
    mosq_ = fresh;
    settings_ = settings;
    setupError_.clear();
    const bool was = std::exchange(connected_, false);
    begun_ = false;
    unacknowledged_ = 0;
    subscribing_.clear();
    publishing_.clear();
    brokerReason_.clear();
    backOffMs_ = 1000;
    shortLived_ = 0;
    steady_.stop();
    reconnect_.stop();
    if (was)
        emit disconnected(u"the broker settings changed"_s);
    misc_.start();
    connectNow();
    return true;
}

void MqttClient::setWill(const QByteArray& payload) {
    settings_.willPayload = payload;
    mosquitto_will_set(mosq_, settings_.willTopic.toUtf8().constData(), int(payload.size()),
                       payload.constData(), 1, settings_.willRetained);
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
    emit aboutToConnect();
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
    connect(writable_, &QSocketNotifier::activated, this, [this] {
        if (handshakeFailed())
            return;
        // The library moves a TLS handshake on only in its read call.
        afterCall(handshaking() ? mosquitto_loop_read(mosq_, 1) : writeOut());
    });
    wantWrite();
}

// A connection refused or cut while OpenSSL waited to write the handshake: the
// library would try the handshake on the dead socket until its keep-alive ran
// out, the socket waking the loop all the while. It is lost now, with its reason.
bool MqttClient::handshakeFailed() {
    if (!handshaking())
        return false;
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size);
    tcp_info info{};
    size = sizeof info;
    const bool closed = ::getsockopt(socket_, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
                        info.tcpi_state == TCP_CLOSE;
    if (error == 0 && !closed)
        return false;
    lost(error ? QString::fromLocal8Bit(strerror(error)) : u"the connection was closed"_s);
    return true;
}

// A TLS connection whose handshake has not finished: the library keeps the CONNECT
// queued meanwhile, but cannot write it.
const SSL* MqttClient::handshaking() const {
    const SSL* tls = this->tls();
    return tls && !SSL_is_init_finished(tls) ? tls : nullptr;
}

const SSL* MqttClient::tls() const {
    return static_cast<const SSL*>(mosquitto_ssl_get(mosq_));
}

// The library reads about one packet a call; everything that has arrived is taken
// in one go (bounded, so that the other sockets get their turn). A call that
// handed over nothing found the socket empty, or read a packet nobody waits for:
// the notifier tells of anything still on the socket, but not of what TLS has
// already taken off it. The answers go out together, and carry the
// acknowledgement of what was read; with nothing to answer, it goes alone.
void MqttClient::readAvailable() {
    if (handshakeFailed())
        return;
    int rc = MOSQ_ERR_SUCCESS;
    for (int i = 0; i < 256 && rc == MOSQ_ERR_SUCCESS; ++i) {
        const quint64 before = packetsIn_;
        rc = mosquitto_loop_read(mosq_, 1);
        if (mosquitto_socket(mosq_) != socket_)
            break;
        if (packetsIn_ == before && !(tls() && SSL_pending(tls()) > 0))
            break;
    }
    if (rc == MOSQ_ERR_SUCCESS && socket_ >= 0 && mosquitto_socket(mosq_) == socket_) {
        if (mosquitto_want_write(mosq_))
            rc = writeOut();
        else
            ackNow();
    }
    afterCall(rc);
}

// Everything queued, in as few TCP segments as it fits: more than one packet is
// held back while the library writes packet after packet, and let go at the end.
int MqttClient::writeOut() {
    if (!mosquitto_want_write(mosq_))
        return MOSQ_ERR_SUCCESS;
    const bool cork = std::exchange(queued_, 0) > 1;
    const auto setCork = [this](int on) {
        ::setsockopt(socket_, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
    };
    if (cork)
        setCork(1);
    const int rc = mosquitto_loop_write(mosq_, 1);
    // A write that lost the connection left its reason in errno, which the
    // caller reads; the socket may be gone with it.
    if (cork && mosquitto_socket(mosq_) == socket_) {
        const int reason = errno;
        setCork(0);
        errno = reason;
    }
    return rc;
}

// A broker on its default settings holds a small packet back until the one before
// it is acknowledged, and this side's system delays that acknowledgement by up to
// 40 ms when it has nothing to send: a command after an acknowledged publication
// waited that long. Acknowledging what was read at once lets the next one come.
void MqttClient::ackNow() {
    const int on = 1;
    ::setsockopt(socket_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
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
    if (!writable_)
        return;
    // During a handshake the socket is wanted writable only when OpenSSL waits to
    // write: the queued CONNECT would have it wake up at once, for ever.
    if (const SSL* tls = handshaking())
        writable_->setEnabled(SSL_want_write(tls));
    else
        writable_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::lost(const QString& what) {
    // The broker's own word on why it ended the connection says more than the socket's.
    const QString reason = brokerReason_.isEmpty() ? what : std::exchange(brokerReason_, {});
    dropSocket();
    const bool was = connected_;
    connected_ = false;
    unacknowledged_ = 0;
    subscribing_.clear();
    publishing_.clear();
    // The library would send the old connection's unacknowledged messages again
    // after the state published on reconnecting, and the broker would keep the
    // older retained values. A fresh start forgets them; the state is published anew.
    if (begun_) {
        const QByteArray id = settings_.clientId.toUtf8();
        mosquitto_reinitialise(mosq_, id.isEmpty() ? nullptr : id.constData(), true, this);
        configure(mosq_, settings_);
        begun_ = false;
    }
    if (stopping_) {
        finishStop();
        return;
    }
    emit tried();
    // A broker ends the older of two connections with one client id; two gateways
    // sharing an id throw each other off right after each connect.
    shortLived_ = was && steady_.isActive() ? shortLived_ + 1 : was ? 0 : shortLived_;
    steady_.stop();
    if (was && shortLived_ >= 2)
        qCWarning(lcMqtt).noquote()
            << "the broker closed the connection" << shortLived_
            << "times in a row right after it was made: another client is probably using the "
               "client id"
            << settings_.clientId << "- give each gateway its own client_id";
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

bool MqttClient::publish(const QString& topic, const QByteArray& payload, bool retain, int qos) {
    if (!connected_)
        return false;
    int mid = 0;
    const int rc = mosquitto_publish(mosq_, &mid, topic.toUtf8().constData(), int(payload.size()),
                                     payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        qCWarning(lcMqtt).noquote() << "not published to" << topic << ":" << errorText(rc);
        return false;
    }
    if (qos > 0) {
        publishing_.insert(mid, topic);
        ++unacknowledged_;
    }
    ++queued_;
    wantWrite();
    return true;
}

bool MqttClient::subscribe(const QString& filter) {
    return subscribe(QStringList{filter}, 0, Retained::Send);
}

bool MqttClient::subscribe(const QStringList& filters, int id, Retained retained) {
    if (!connected_ || filters.isEmpty())
        return false;
    QList<QByteArray> bytes = utf8(filters);
    QList<char*> list = pointers(bytes);
    mosquitto_property* properties = nullptr;
    if (id > 0)
        mosquitto_property_add_varint(&properties, MQTT_PROP_SUBSCRIPTION_IDENTIFIER, uint32_t(id));
    int mid = 0;
    const int rc = mosquitto_subscribe_multiple(mosq_, &mid, int(list.size()), list.data(), 1,
                                                subscriptionOptions(retained), properties);
    mosquitto_property_free_all(&properties);
    const QString what = filters.size() == 1
                             ? filters.first()
                             : u"%1 and %2 more"_s.arg(filters.first()).arg(filters.size() - 1);
    if (rc != MOSQ_ERR_SUCCESS) {
        qCWarning(lcMqtt).noquote() << "cannot subscribe to" << what << ":" << errorText(rc);
        return false;
    }
    subscribing_.insert(mid, what);
    ++queued_;
    wantWrite();
    return true;
}

bool MqttClient::unsubscribe(const QStringList& filters) {
    if (!connected_ || filters.isEmpty())
        return false;
    QList<QByteArray> bytes = utf8(filters);
    QList<char*> list = pointers(bytes);
    const int rc =
        mosquitto_unsubscribe_multiple(mosq_, nullptr, int(list.size()), list.data(), nullptr);
    wantWrite();
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::stop(int timeoutMs, bool withWill) {
    stopping_ = true;
    stopWithWill_ = withWill;
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
        mosquitto_disconnect_v5(mosq_, stopWithWill_ ? MQTT_RC_DISCONNECT_WITH_WILL_MSG : 0,
                                nullptr);
        mosquitto_loop_write(mosq_, 1);
    }
    connected_ = false;
    dropSocket();
    // Emitted from the event loop, so that a caller of stop() sees it after returning.
    QMetaObject::invokeMethod(this, &MqttClient::stopped, Qt::QueuedConnection);
}

void MqttClient::onConnect(mosquitto*, void* self, int rc, const mosquitto_property* properties) {
    auto* client = static_cast<MqttClient*>(self);
    ++client->packetsIn_;
    emit client->tried();
    if (rc != 0) {
        qCWarning(lcMqtt).noquote() << "the broker refused the connection:"
                                    << QString::fromUtf8(rc >= 128 ? mosquitto_reason_string(rc)
                                                                   : mosquitto_connack_string(rc));
        return; // the broker closes the connection; that is handled as a loss
    }
    qCInfo(lcMqtt).noquote() << "connected to" << client->settings_.host << "port"
                             << client->settings_.port;
    client->connected_ = true;
    client->steady_.start(SteadyMs);
    // The log is read only for why a TLS handshake failed; formatting a line for
    // every packet after that costs more than the packet.
    mosquitto_log_callback_set(client->mosq_, nullptr);
    uint8_t available = 1;
    mosquitto_property_read_byte(properties, MQTT_PROP_SUBSCRIPTION_ID_AVAILABLE, &available,
                                 false);
    client->subscriptionIds_ = available != 0;
    if (!client->subscriptionIds_)
        qCWarning(lcMqtt).noquote()
            << "the broker does not support subscription identifiers: a command that arrives "
               "while the retained commands are taken may be carried out twice";
    emit client->connected();
}

void MqttClient::onDisconnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    // Handled from the event loop, outside the library's call; the notifiers go now,
    // as the socket is closed.
    if (rc >= 128)
        client->brokerReason_ = disconnectText(rc, client->settings_.clientId);
    if (client->socket_ >= 0 && !client->stopping_) {
        const QString reason = disconnectText(rc, client->settings_.clientId);
        QMetaObject::invokeMethod(
            client, [client, reason] { client->lost(reason); }, Qt::QueuedConnection);
    }
    client->dropSocket();
}

// The key's password, when OpenSSL opens the key; never a prompt on a terminal.
int MqttClient::giveKeyPassword(char* buffer, int size, int, void* mosq) {
    const auto* client =
        static_cast<MqttClient*>(mosquitto_userdata(static_cast<mosquitto*>(mosq)));
    const QByteArray& password = client->settings_.keyPassword;
    if (password.size() >= size)
        return 0;
    std::memcpy(buffer, password.constData(), size_t(password.size()));
    return int(password.size());
}

// The library logs TLS failures only as text; an alert about our certificate is
// the broker refusing it, which says more than "a TLS error occurred".
void MqttClient::onLog(mosquitto*, void* self, int level, const char* text) {
    if (!(level & MOSQ_LOG_ERR))
        return;
    static const QRegularExpression sslError(u"error:([0-9A-Fa-f]{8}):.*:([^:]+)$"_s);
    const auto match = sslError.match(QString::fromUtf8(text));
    if (!match.hasMatch())
        return;
    const unsigned long code = match.captured(1).toULong(nullptr, 16);
    if (ERR_GET_LIB(code) == ERR_LIB_SSL && refusesCertificate(ERR_GET_REASON(code)))
        static_cast<MqttClient*>(self)->brokerReason_ =
            u"the broker refused our certificate (%1)"_s.arg(match.captured(2).trimmed());
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message,
                           const mosquitto_property* properties) {
    auto* client = static_cast<MqttClient*>(self);
    ++client->packetsIn_;
    if (message->qos > 0)
        ++client->queued_; // its acknowledgement
    quint32 subscriptions = 0;
    uint32_t id = 0;
    for (const mosquitto_property* p = mosquitto_property_read_varint(
             properties, MQTT_PROP_SUBSCRIPTION_IDENTIFIER, &id, false);
         p; p = mosquitto_property_read_varint(p, MQTT_PROP_SUBSCRIPTION_IDENTIFIER, &id, true))
        if (id < 32)
            subscriptions |= 1u << id;
    emit client->message(
        QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
        message->retain, subscriptions);
}

// A refused subscription leaves the service deaf to those topics: it is said.
void MqttClient::onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted,
                             const mosquitto_property*) {
    auto* client = static_cast<MqttClient*>(self);
    ++client->packetsIn_;
    const QString what = client->subscribing_.take(mid);
    for (int i = 0; i < count; ++i)
        if (granted[i] >= 0x80) {
            qCWarning(lcMqtt).noquote() << "the broker refused the subscription to" << what << ":"
                                        << QString::fromUtf8(mosquitto_reason_string(granted[i]));
            return;
        }
}

// A publication the broker refuses (a topic its access list denies, say) is said:
// the state it carried reached nobody.
void MqttClient::onPublish(mosquitto*, void* self, int mid, int reason, const mosquitto_property*) {
    auto* client = static_cast<MqttClient*>(self);
    ++client->packetsIn_;
    const auto sent = client->publishing_.find(mid);
    if (sent == client->publishing_.end())
        return; // QoS 0: written, nothing to wait for
    const QString topic = *sent;
    client->publishing_.erase(sent);
    if (reason >= 0x80) {
        qCWarning(lcMqtt).noquote() << "the broker refused the message to" << topic << ":"
                                    << QString::fromUtf8(mosquitto_reason_string(reason));
        emit client->publishRefused(topic);
    }
    if (client->unacknowledged_ > 0)
        --client->unacknowledged_;
    if (client->stopping_ && client->unacknowledged_ == 0)
        QMetaObject::invokeMethod(client, &MqttClient::finishStop, Qt::QueuedConnection);
}

} // namespace zarnet::gateway
