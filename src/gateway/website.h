#pragma once

#include "config.h"
#include "httpserver.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <memory>

namespace zarnet::gateway {

class Gateway;
class PlantClock;
class Sign;

// The plant on a web page: every sign's card, live through an event stream, the
// same data as JSON, and the figures for monitoring. It only reads the gateway.
class WebSite : public QObject {
    Q_OBJECT
public:
    // A sign's change goes out at once; its changes within this time of an event
    // are gathered into the next, so that a burst costs the readers little.
    static constexpr int EventGapMs = 20;
    // How often the pictures are looked at again: an image's schedule turns it on
    // and off with no frame sent.
    static constexpr int PictureCheckMs = 500;

    WebSite(const Gateway& gateway, const PlantClock& clock, const QByteArray& version,
            QObject* parent = nullptr);
    ~WebSite() override;

    // Serves as `config` says; with none, stops serving. False, with the reason,
    // when it cannot listen.
    bool configure(const std::optional<HttpConfig>& config, QString* error);

private:
    HttpAnswer answer(const HttpRequest& request);
    HttpAnswer page(const HttpRequest& request) const;
    HttpAnswer api(const QString& path) const;
    bool authorized(const HttpRequest& request) const;
    bool hostAllowed(const QByteArray& host) const;
    HttpAnswer picture(const Sign& sign, const QDateTime& now) const;
    void noteChange(const QString& sign);
    void forgetRemoved();
    void planEvents();
    void sendChanges();
    void checkPictures();
    QByteArray gatewayState() const;

    const Gateway& gateway_;
    const PlantClock& clock_;
    QByteArray version_;
    std::optional<HttpConfig> config_;
    std::unique_ptr<HttpServer> server_;
    QTimer events_;
    QElapsedTimer uptime_;
    QHash<QString, qint64> due_;      // signs with news, and when (uptime ms) it may go
    QHash<QString, qint64> lastSent_; // when each sign's last event went
    QTimer pictures_;
    QHash<QString, QString> sent_; // the picture key each sign's last event gave
    // Per sign: the PNG drawn last, with its picture key.
    mutable QHash<QString, QPair<QString, QByteArray>> drawn_;
};

// The page's language for an Accept-Language header: "zh" or "en".
QByteArray pageLanguage(const QByteArray& acceptLanguage);

} // namespace zarnet::gateway
