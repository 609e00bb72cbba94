#pragma once

#include "config.h"
#include "httpserver.h"

#include <QObject>
#include <QSet>
#include <QTimer>

namespace zarnet::gateway {

class Gateway;
class PlantClock;

// The plant on a web page: every sign's card, live through an event stream, the
// same data as JSON, and the figures for monitoring. It only reads the gateway.
class WebSite : public QObject {
    Q_OBJECT
public:
    // Changes are gathered this long and sent as one event per sign.
    static constexpr int EventDelayMs = 200;

    WebSite(const Gateway& gateway, const PlantClock& clock, const QByteArray& version,
            QObject* parent = nullptr);

    // Serves as `config` says; with none, stops serving. False, with the reason,
    // when it cannot listen.
    bool configure(const std::optional<HttpConfig>& config, QString* error);

private:
    HttpAnswer answer(const HttpRequest& request);
    HttpAnswer page(const HttpRequest& request) const;
    HttpAnswer api(const QString& path) const;
    bool authorized(const HttpRequest& request) const;
    void sendChanges();
    QByteArray gatewayState() const;

    const Gateway& gateway_;
    const PlantClock& clock_;
    QByteArray version_;
    std::optional<HttpConfig> config_;
    HttpServer server_;
    QSet<QString> changed_;
    QTimer events_;
};

// The page's language for an Accept-Language header: "zh" or "en".
QByteArray pageLanguage(const QByteArray& acceptLanguage);

} // namespace zarnet::gateway
