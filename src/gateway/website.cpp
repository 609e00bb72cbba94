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
        if (quality <= 0) // q=0: not wanted at all
            continue;
        if (tag == "zh" || tag.startsWith("zh-"))
            zh = std::max(zh, quality);
        else if (tag == "en" || tag.startsWith("en-"))
            en = std::max(en, quality);
    }
    return en > zh ? "en" : "zh";
}

WebSite::WebSite(const Gateway& gateway, const PlantClock& clock, const QByteArray& version,
                 QObject* parent)
    : QObject(parent), gateway_(gateway), clock_(clock), version_(version) {
    uptime_.start();
    events_.setSingleShot(true);
    connect(&events_, &QTimer::timeout, this, &WebSite::sendChanges);
    pictures_.setInterval(PictureCheckMs);
    connect(&pictures_, &QTimer::timeout, this, &WebSite::checkPictures);
    connect(&gateway, &Gateway::signChanged, this, [this](const QString& sign) {
        if (server_ && server_->streams() > 0)
            noteChange(sign);
    });
    connect(&gateway, &Gateway::signsChanged, this, [this] {
        forgetRemoved();
        if (server_)
            server_->sendEvent("signs", "{}");
    });
    connect(&gateway, &Gateway::summaryChanged, this, [this] {
        if (server_ && server_->streams() > 0)
            server_->sendEvent("gateway", gatewayState());
    });
}

WebSite::~WebSite() = default;

// A new address is tried before the old server closes: when it cannot be had, the
// old one goes on.
bool WebSite::configure(const std::optional<HttpConfig>& config, QString* error) {
    if (config == config_ && (!config || server_))
        return true;
    if (!config) {
        server_.reset();
        pictures_.stop();
        config_.reset();
        return true;
    }
    std::unique_ptr<HttpServer> next;
    if (!server_ || !config_ || config->host != config_->host || config->port != config_->port) {
        next = std::make_unique<HttpServer>(
            [this](const HttpRequest& request) { return answer(request); });
        if (!next->listen(QHostAddress(config->host), config->port, error))
            return false;
        qCInfo(lcWeb).noquote() << "web page, API and metrics on" << config->host << "port"
                                << next->port();
        server_ = std::move(next);
    } else if (config->token != config_->token)
        server_->closeStreams(u"the token it was let in with is no longer the configured one"_s);
    config_ = config;
    pictures_.start();
    return true;
}

bool WebSite::authorized(const HttpRequest& request) const {
    return config_->token.isEmpty() || sameToken(request.token.toUtf8(), config_->token);
}

// Without a token, only a request that names this machine is answered: a page
// elsewhere that points a name of its own at 127.0.0.1 cannot read the plant
// through a visitor's browser.
bool WebSite::hostAllowed(const QByteArray& host) const {
    if (!config_->token.isEmpty())
        return true;
    QByteArray name = host;
    if (const qsizetype colon = name.lastIndexOf(':'); colon > name.lastIndexOf(']'))
        name.truncate(colon);
    if (name.startsWith('[') && name.endsWith(']'))
        name = name.sliced(1, name.size() - 2);
    if (name.compare("localhost", Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(QString::fromLatin1(name));
    return !address.isNull() && (address.isLoopback() || address == QHostAddress(config_->host));
}

HttpAnswer WebSite::answer(const HttpRequest& request) {
    if (!hostAllowed(request.host))
        return {403,
                "text/plain; charset=utf-8",
                "without a token, the page answers only to this machine's own names and "
                "addresses\n",
                {}};
    if (!authorized(request))
        return {401,
                "text/plain; charset=utf-8",
                "a valid token is needed\n",
                {{"WWW-Authenticate", "Bearer"}}};
    // The token leaves the address bar and stays in a cookie.
    if (request.tokenInQuery && !config_->token.isEmpty() && request.path == u"/"_s)
        return {302,
                "text/plain; charset=utf-8",
                {},
                {{"Location", "/"},
                 {"Set-Cookie",
                  "zarnet_token=" + config_->token + "; Path=/; HttpOnly; SameSite=Lax"}}};
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
    return picture(*found->second, now);
}

// Drawn once for each picture a sign shows: a page full of them costs no drawing.
HttpAnswer WebSite::picture(const Sign& sign, const QDateTime& now) const {
    const QString key = pictureKey(sign, now);
    auto& [drawnKey, png] = drawn_[sign.name()];
    if (drawnKey != key || png.isEmpty()) {
        drawnKey = key;
        png = signPicture(signDots(sign, now));
    }
    return {200, "image/png", png, {}};
}

QByteArray WebSite::gatewayState() const {
    return QJsonDocument(QJsonObject{{u"broker"_s, gateway_.brokerConnected()},
                                     {u"owner"_s, gateway_.owner()}})
        .toJson(QJsonDocument::Compact);
}

void WebSite::forgetRemoved() {
    const auto removed = [this](const QString& name) {
        return gateway_.signs().find(name) == gateway_.signs().end();
    };
    sent_.removeIf([&](const auto& entry) { return removed(entry.key()); });
    lastSent_.removeIf([&](const auto& entry) { return removed(entry.key()); });
    drawn_.removeIf([&](const auto& entry) { return removed(entry.key()); });
}

// A picture that changed with no frame sent (its schedule began or ended) is news.
void WebSite::checkPictures() {
    if (!server_ || server_->streams() == 0)
        return;
    const QDateTime now = clock_.now();
    for (const auto& [name, sign] : gateway_.signs())
        if (pictureKey(*sign, now) != sent_.value(name))
            noteChange(name);
}

// A sign's change goes out at once unless its last event left less than
// EventGapMs ago; then it waits for the rest of that time, with whatever else
// changes meanwhile.
void WebSite::noteChange(const QString& sign) {
    if (due_.contains(sign))
        return;
    const qint64 now = uptime_.elapsed();
    const auto last = lastSent_.constFind(sign);
    due_.insert(sign, last == lastSent_.cend() ? now : std::max(now, *last + EventGapMs));
    planEvents();
}

void WebSite::planEvents() {
    if (due_.isEmpty())
        return;
    const qint64 next = *std::min_element(due_.cbegin(), due_.cend());
    const int wait = int(std::max<qint64>(0, next - uptime_.elapsed()));
    if (!events_.isActive() || events_.remainingTime() > wait)
        events_.start(wait);
}

void WebSite::sendChanges() {
    const qint64 uptime = uptime_.elapsed();
    const QDateTime now = clock_.now();
    for (auto it = due_.begin(); it != due_.end();) {
        if (it.value() > uptime) {
            ++it;
            continue;
        }
        const auto found = gateway_.signs().find(it.key());
        if (found != gateway_.signs().end() && server_) {
            const QJsonObject report = signReport(gateway_, *found->second, now);
            sent_[it.key()] = report.value(u"picture"_s).toString();
            lastSent_[it.key()] = uptime;
            server_->sendEvent("sign", QJsonDocument(report).toJson(QJsonDocument::Compact));
        }
        it = due_.erase(it);
    }
    planEvents();
}

} // namespace zarnet::gateway
