#include "homeassistant.h"

#include "payloads.h"
#include "topics.h"

#include <canvas/dotcanvas.h>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

// Discovery ids take letters, digits, - and _: a name made of others is replaced
// by a digest of it, so that two names never give one id.
QString idOf(const QString& name) {
    static const QRegularExpression plain(u"^[A-Za-z0-9_-]+$"_s);
    if (plain.match(name).hasMatch())
        return name;
    return QString::fromLatin1(
        QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

// With [standby] both gateways announce the same devices, under the group's name.
QString nodeId(const Config& config) {
    return u"zarnet_"_s + idOf(config.standby ? config.standby->group : config.broker.clientId);
}

class Announcer {
public:
    explicit Announcer(const Config& config)
        : config_(config), topics_(config.broker.prefix, config.broker.clientId),
          node_(nodeId(config)) {}

    QList<Announcement> all() {
        gateway();
        for (const SignConfig& sign : config_.signs)
            this->sign(sign);
        return list_;
    }

private:
    // The gateway is a device of its own, which the signs' devices are reached through.
    void gateway() {
        const QString id = u"gateway_"_s + idOf(config_.broker.clientId);
        add(u"binary_sensor"_s, id,
            {{u"name"_s, u"zarnetd %1"_s.arg(config_.broker.clientId)},
             {u"device_class"_s, u"connectivity"_s},
             {u"state_topic"_s, topics_.gatewayStatus()},
             {u"value_template"_s, u"{{ 'OFF' if value == 'offline' else 'ON' }}"_s},
             {u"device"_s, QJsonObject{{u"identifiers"_s, QJsonArray{node_}},
                                       {u"name"_s, config_.standby ? config_.standby->group
                                                                   : config_.broker.clientId},
                                       {u"manufacturer"_s, u"Zarnet"_s},
                                       {u"model"_s, u"zarnetd"_s}}}});
    }

    void sign(const SignConfig& sign) {
        const QString status = topics_.status(sign.name);
        const QJsonObject device{{u"identifiers"_s, QJsonArray{node_ + u'_' + sign.name}},
                                 {u"name"_s, sign.name},
                                 {u"manufacturer"_s, u"Zarnet"_s},
                                 {u"model"_s, u"Zarnet sign"_s},
                                 {u"via_device"_s, node_}};
        const QJsonObject gatewayUp{
            {u"topic"_s, topics_.gatewayStatus()},
            {u"value_template"_s,
             u"{{ 'online' if value in ['online', 'owner'] else 'offline' }}"_s}};
        const QJsonObject signUp{
            {u"topic"_s, status},
            {u"value_template"_s,
             u"{{ 'online' if value_json.state == 'online' else 'offline' }}"_s}};
        // Online only while the gateway and the sign are.
        const QJsonObject both{{u"availability"_s, QJsonArray{gatewayUp, signUp}},
                               {u"availability_mode"_s, u"all"_s},
                               {u"device"_s, device}};
        const QString id = sign.name + u'_';
        add(u"switch"_s, id + u"power"_s,
            with(both, {{u"name"_s, u"Power"_s},
                        {u"command_topic"_s, topics_.prefix() + u'/' + sign.name + u"/power/set"_s},
                        {u"state_topic"_s, status},
                        {u"value_template"_s,
                         u"{{ value_json.power.state if value_json.power is defined else "
                         "'None' }}"_s},
                        {u"payload_on"_s, u"on"_s},
                        {u"payload_off"_s, u"off"_s},
                        {u"state_on"_s, u"on"_s},
                        {u"state_off"_s, u"off"_s}}));
        for (const auto& [unit, name] : sign.unitNames)
            add(u"number"_s, id + u"unit_"_s + name,
                with(both, {{u"name"_s, name},
                            {u"command_topic"_s, topics_.unit(sign.name, name) + u"/set"_s},
                            {u"state_topic"_s, topics_.unit(sign.name, name)},
                            {u"min"_s, 0},
                            {u"max"_s, double(MaxUnitValue)},
                            {u"step"_s, 1},
                            {u"mode"_s, u"box"_s}}));
        add(u"text"_s, id + u"text"_s,
            with(both, {{u"name"_s, u"Text"_s},
                        {u"command_topic"_s, topics_.prefix() + u'/' + sign.name + u"/image/set"_s},
                        {u"command_template"_s, textTemplate(sign)},
                        {u"max"_s, 255}}));
        // The gateway's own availability only: an offline sign is what it tells.
        const QJsonObject gatewayOnly{{u"availability"_s, QJsonArray{gatewayUp}},
                                      {u"device"_s, device}};
        add(u"binary_sensor"_s, id + u"connectivity"_s,
            with(gatewayOnly, {{u"name"_s, u"Connection"_s},
                               {u"device_class"_s, u"connectivity"_s},
                               {u"state_topic"_s, status},
                               {u"value_template"_s,
                                u"{{ 'ON' if value_json.state == 'online' else 'OFF' }}"_s}}));
        add(u"sensor"_s, id + u"last_answer"_s,
            with(gatewayOnly, {{u"name"_s, u"Last answer"_s},
                               {u"device_class"_s, u"timestamp"_s},
                               {u"state_topic"_s, answeredTopic(config_, sign.name)}}));
    }

    // The text goes into the sign's configured image in place of its own text or
    // picture, so that it shows where and when that one would; else on the whole sign.
    static QString textTemplate(const SignConfig& sign) {
        const QString start = u"{\"text\": {{ value | tojson }}"_s;
        if (!sign.image)
            return start +
                   u", \"window\": [0, 0, %1, %2]}"_s.arg(DotCanvas::Width).arg(DotCanvas::Height);
        const QJsonObject image = imageSettings(sign.image->payload);
        const QString rest = QString::fromUtf8(QJsonDocument(image).toJson(QJsonDocument::Compact));
        // Raw: a font name with "{{" in it is no template of Home Assistant's.
        return start +
               (image.isEmpty() ? u"}"_s : u", {% raw %}"_s + rest.mid(1) + u"{% endraw %}"_s);
    }

    static QJsonObject with(QJsonObject base, const QJsonObject& more) {
        for (auto it = more.begin(); it != more.end(); ++it)
            base.insert(it.key(), it.value());
        return base;
    }

    void add(const QString& component, const QString& object, QJsonObject payload) {
        payload.insert(u"unique_id"_s, node_ + u'_' + object);
        list_.append({config_.homeAssistant->prefix + u'/' + component + u'/' + node_ + u'/' +
                          object + u"/config"_s,
                      QJsonDocument(payload).toJson(QJsonDocument::Compact)});
    }

    const Config& config_;
    Topics topics_;
    QString node_;
    QList<Announcement> list_;
};

} // namespace

QList<Announcement> announcements(const Config& config) {
    return Announcer(config).all();
}

QString announcedFilter(const Config& config) {
    return config.homeAssistant->prefix + u"/+/"_s + nodeId(config) + u"/+/config"_s;
}

QString answeredTopic(const Config& config, const QString& sign) {
    return config.broker.prefix + u'/' + sign + u"/answered"_s;
}

} // namespace zarnet::gateway
