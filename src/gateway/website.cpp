#include "website.h"

#include "gateway.h"
#include "metrics.h"
#include "plantclock.h"
#include "sign.h"
#include "signreport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

HttpAnswer json(const QJsonDocument& document) {
    return {200, "application/json", document.toJson(QJsonDocument::Compact), {}};
}

HttpAnswer notFound() {
    return {404, "text/plain; charset=utf-8", "Not Found\n", {}};
}

QByteArray resource(const QString& name) {
    QFile file(u":/web/"_s + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Compared in constant time: how long a refusal takes tells nothing of the token.
bool sameToken(const QByteArray& a, const QByteArray& b) {
    const QByteArray da = QCryptographicHash::hash(a, QCryptographicHash::Sha256);
    const QByteArray db = QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    unsigned char differ = 0;
    for (qsizetype i = 0; i < da.size(); ++i)
        differ |= uchar(da[i] ^ db[i]);
    return differ == 0;
}

} // namespace

QByteArray pageLanguage(const QByteArray& acceptLanguage) {
    double zh = -1;
    double en = -1;
    for (const QByteArray& part : acceptLanguage.split(',')) {
        const QList<QByteArray> fields = part.trimmed().split(';');
        const QByteArray tag = fields.first().trimmed().toLower();
        double quality = 1;
        for (const QByteArray& field : fields.sliced(1))
            if (field.trimmed().startsWith("q="))
                quality = field.trimmed().sliced(2).toDouble();
        if (tag == "zh" || tag.startsWith("zh-"))
            zh = std::max(zh, quality);
        else if (tag == "en" || tag.startsWith("en-"))
            en = std::max(en, quality);
    }
    return en > zh ? "en" : "zh";
}

WebSite::WebSite(const Gateway& gateway, const PlantClock& clock, const QByteArray& version,
                 QObject* parent)
    : QObject(parent), gateway_(gateway), clock_(clock), version_(version),
      server_([this](const HttpRequest& request) { return answer(request); }) {
    events_.setSingleShot(true);
    events_.setInterval(EventDelayMs);
    connect(&events_, &QTimer::timeout, this, &WebSite::sendChanges);
    connect(&gateway, &Gateway::signChanged, this, [this](const QString& sign) {
        if (server_.streams() == 0)
            return;
        changed_.insert(sign);
        if (!events_.isActive())
            events_.start();
    });
    connect(&gateway, &Gateway::signsChanged, this, [this] { server_.sendEvent("signs", "{}"); });
    connect(&gateway, &Gateway::summaryChanged, this, [this] {
        if (server_.streams() > 0)
            server_.sendEvent("gateway", gatewayState());
    });
}

bool WebSite::configure(const std::optional<HttpConfig>& config, QString* error) {
    if (config == config_ && (!config || server_.isListening()))
        return true;
    server_.close();
    config_ = config;
    if (!config)
        return true;
    if (!server_.listen(QHostAddress(config->host), config->port, error))
        return false;
    qCInfo(lcWeb).noquote() << "web page, API and metrics on" << config->host << "port"
                            << server_.port();
    return true;
}

bool WebSite::authorized(const HttpRequest& request) const {
    return config_->token.isEmpty() || sameToken(request.token.toUtf8(), config_->token);
}

HttpAnswer WebSite::answer(const HttpRequest& request) {
    if (!authorized(request))
        return {401,
                "text/plain; charset=utf-8",
                "a valid token is needed\n",
                {{"WWW-Authenticate", "Bearer"}}};
    // The token leaves the address bar and stays in a cookie.
    if (request.tokenInQuery && request.path == u"/"_s)
        return {302,
                "text/plain; charset=utf-8",
                {},
                {{"Location", "/"},
                 {"Set-Cookie", "zarnet_token=" + request.token.toUtf8() +
                                    "; Path=/; HttpOnly; SameSite=Strict"}}};
    const QString& path = request.path;
    if (path == u"/"_s || path == u"/page.js"_s || path == u"/page.css"_s)
        return page(request);
    if (path == u"/metrics"_s)
        return {
            200, "text/plain; version=0.0.4; charset=utf-8", metricsText(gateway_, version_), {}};
    if (path == u"/events"_s)
        return {200,
                "text/event-stream",
                "retry: 2000\n\nevent: gateway\ndata: " + gatewayState() + "\n\n",
                {},
                true};
    if (path.startsWith(u"/api/"_s))
        return api(path);
    return notFound();
}

HttpAnswer WebSite::page(const HttpRequest& request) const {
    if (request.path == u"/page.js"_s)
        return {200, "text/javascript; charset=utf-8", resource(u"page.js"_s), {}};
    if (request.path == u"/page.css"_s)
        return {200, "text/css; charset=utf-8", resource(u"page.css"_s), {}};
    QByteArray html = resource(u"index.html"_s);
    html.replace("{{lang}}", pageLanguage(request.acceptLanguage));
    return {200,
            "text/html; charset=utf-8",
            html,
            {{"Content-Security-Policy", "default-src 'self'; img-src 'self' data:"}}};
}

HttpAnswer WebSite::api(const QString& path) const {
    const QDateTime now = clock_.now();
    if (path == u"/api/signs"_s) {
        QJsonArray signs;
        for (const auto& [name, sign] : gateway_.signs())
            signs.append(signReport(gateway_, *sign, now));
        return json(QJsonDocument(signs));
    }
    const QStringList parts = path.sliced(5).split(u'/');
    if (parts.size() < 2 || parts.size() > 3 || parts[0] != u"signs"_s)
        return notFound();
    const auto found = gateway_.signs().find(parts[1]);
    if (found == gateway_.signs().end())
        return notFound();
    if (parts.size() == 2)
        return json(QJsonDocument(signReport(gateway_, *found->second, now)));
    if (parts[2] != u"picture.png"_s)
        return notFound();
    return {200, "image/png", signPicture(*found->second, now), {}};
}

QByteArray WebSite::gatewayState() const {
    return QJsonDocument(QJsonObject{{u"broker"_s, gateway_.brokerConnected()}})
        .toJson(QJsonDocument::Compact);
}

void WebSite::sendChanges() {
    const QDateTime now = clock_.now();
    for (const QString& name : std::exchange(changed_, {})) {
        const auto found = gateway_.signs().find(name);
        if (found != gateway_.signs().end())
            server_.sendEvent("sign", QJsonDocument(signReport(gateway_, *found->second, now))
                                          .toJson(QJsonDocument::Compact));
    }
}

} // namespace zarnet::gateway
