#include "metrics.h"

#include "gateway.h"
#include "line.h"
#include "sign.h"

namespace zarnet::gateway {

namespace {

// A label value as the text format wants it: backslash, quote and line end escaped.
QByteArray labelValue(const QString& text) {
    QByteArray out;
    for (const char c : text.toUtf8()) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c == '\n' ? QByteArray("\\n") : QByteArray(1, c);
    }
    return out;
}

class Writer {
public:
    void family(const char* name, const char* type, const char* help) {
        out_ += QByteArray("# HELP zarnet_") + name + ' ' + help + "\n# TYPE zarnet_" + name + ' ' +
                type + '\n';
    }
    void sample(const char* name, double value, const QByteArray& labels = {}) {
        out_ += QByteArray("zarnet_") + name;
        if (!labels.isEmpty())
            out_ += '{' + labels + '}';
        out_ += ' ' + QByteArray::number(value, 'g', 15) + '\n';
    }
    QByteArray text() const { return out_; }

private:
    QByteArray out_;
};

QByteArray label(const char* name, const QString& value) {
    return QByteArray(name) + "=\"" + labelValue(value) + '"';
}

constexpr const char* CommandKinds[] = {"unit",  "unit_batch", "power",  "clock",
                                        "clear", "image",      "unknown"};
constexpr const char* RefusalReasons[] = {"topic", "unknown_sign", "too_large", "replay",
                                          "payload"};
static_assert(std::size(RefusalReasons) == RefusalKinds);
static_assert(std::size(CommandKinds) == std::tuple_size_v<decltype(PlantCounters::received)>);

void gatewayFigures(Writer& w, const Gateway& gateway, const QByteArray& version) {
    w.family("build_info", "gauge", "The running zarnetd's version.");
    w.sample("build_info", 1, label("version", QString::fromUtf8(version)));
    w.family("broker_connected", "gauge", "1 while the MQTT broker is connected.");
    w.sample("broker_connected", gateway.brokerConnected() ? 1 : 0);
    const PlantCounters& counters = gateway.counters();
    w.family(
        "gateway_owner", "gauge",
        "1 while this gateway writes to the lines (0: a standby; its signs are not its to watch).");
    w.sample("gateway_owner", gateway.owner() ? 1 : 0);
    w.family("broker_reconnects_total", "counter", "Connections to the broker after the first.");
    w.sample("broker_reconnects_total", double(counters.brokerReconnects));
    w.family("messages_received_total", "counter", "Commands received, by kind.");
    for (std::size_t i = 0; i < counters.received.size(); ++i)
        w.sample("messages_received_total", double(counters.received[i]),
                 label("kind", QString::fromLatin1(CommandKinds[i])));
    w.family("refusals_total", "counter", "Commands dropped, by reason.");
    for (std::size_t i = 0; i < counters.refused.size(); ++i)
        w.sample("refusals_total", double(counters.refused[i]),
                 label("reason", QString::fromLatin1(RefusalReasons[i])));
}

void lineFigures(Writer& w, const Gateway& gateway) {
    w.family("line_frames_sent_total", "counter", "Frames written to the line's link.");
    for (const auto& line : gateway.lines())
        w.sample("line_frames_sent_total", double(line->framesSent()), label("line", line->link()));
    w.family("line_bytes_sent_total", "counter", "Bytes written to the line's link.");
    for (const auto& line : gateway.lines())
        w.sample("line_bytes_sent_total", double(line->bytesSent()), label("line", line->link()));
    w.family("line_load_ratio", "gauge", "The share of the last minute the line was busy.");
    for (const auto& line : gateway.lines())
        w.sample("line_load_ratio", line->load(), label("line", line->link()));
}

void signFigures(Writer& w, const Gateway& gateway) {
    w.family("sign_online", "gauge", "1 while the sign answers its connection tests.");
    for (const auto& [name, sign] : gateway.signs())
        w.sample("sign_online", sign->state() == Sign::State::Online ? 1 : 0, label("sign", name));
    w.family("sign_seconds_since_answer", "gauge", "Seconds since the sign last answered.");
    for (const auto& [name, sign] : gateway.signs())
        if (const auto ms = sign->sinceLastAnswerMs())
            w.sample("sign_seconds_since_answer", double(*ms) / 1000, label("sign", name));
    w.family("sign_units_stale", "gauge", "Units of the sign whose figure is too old.");
    for (const auto& [name, sign] : gateway.signs()) {
        int stale = 0;
        for (int unit = 0; unit < UnitTable::Units; ++unit)
            stale += sign->staleWatch().stale(uint8_t(unit)) ? 1 : 0;
        w.sample("sign_units_stale", stale, label("sign", name));
    }
    // Named units are the ones people watch one by one; there are as many as configured.
    w.family("unit_stale", "gauge", "1 while a named unit's figure is too old.");
    for (const auto& [name, sign] : gateway.signs())
        for (const auto& [unit, unitName] : sign->config().unitNames)
            w.sample("unit_stale", sign->staleWatch().stale(unit) ? 1 : 0,
                     label("sign", name) + ',' + label("unit", QString::number(unit)) + ',' +
                         label("name", unitName));
}

} // namespace

QByteArray metricsText(const Gateway& gateway, const QByteArray& version) {
    Writer w;
    gatewayFigures(w, gateway, version);
    lineFigures(w, gateway);
    signFigures(w, gateway);
    return w.text();
}

} // namespace zarnet::gateway
