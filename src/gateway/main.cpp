#include "config.h"
#include "gateway.h"
#include "gatewaylog.h"
#include "servicenotifier.h"
#include "website.h"

#include <canvas/songfont.h>
#include <gateway/linkidentity.h>
#include <gateway/payloads.h>
#include <link/portcatalog.h>
#include <link/quitsignals.h>

#include <CLI/CLI.hpp>

#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTextStream>
#include <QTimer>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void logHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(u"QStandardPaths:"))
        return;
    std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
}

// The most a configuration file may hold: far more than any plant needs.
constexpr qint64 MaxConfigBytes = qint64{16} * 1024 * 1024;

// Reads the file, and builds each configured image the way the service will; the
// faults as "PATH:LINE: what".
std::variant<zarnet::gateway::Config, QStringList> loadConfig(const QString& path,
                                                              const zarnet::PortCatalog& ports) {
    using namespace zarnet::gateway;
    const auto text = readRegularFile(path, MaxConfigBytes);
    if (const auto* why = std::get_if<FileProblem>(&text))
        return QStringList{describe(*why)};
    auto config = readConfig(
        std::get<QByteArray>(text), path,
        [](uint8_t device, const zarnet::ImageRequest& image) -> std::optional<PayloadRefusal> {
            const auto frame = drawImageFrame(device, image);
            if (const auto* why = std::get_if<PayloadRefusal>(&frame))
                return *why;
            return std::nullopt;
        },
        [&ports](const QString& link) { return systemLink(link, ports); });
    if (const auto* faults = std::get_if<QList<ConfigFinding>>(&config))
        return describe(*faults, path);
    return std::move(std::get<Config>(config));
}

// The command line's options; nullopt to go on, else the exit code (help was
// printed, or an option is bad).
struct Options {
    std::string configPath = zarnet::gateway::DefaultConfigPath;
    std::string checkPath;
    bool verbose = false;
};

std::optional<int> readOptions(int argc, char* argv[], Options& options) {
    CLI::App cli{
        "zarnetd: keeps LED signs current from an MQTT broker.\n\n"
        "Commands arrive on PREFIX/SIGN/units/N/set, units/set, power/set, clock/set,\n"
        "clear/set and image/set; the state is published retained on PREFIX/SIGN/status\n"
        "and PREFIX/SIGN/units/N, refusals on PREFIX/SIGN/error. Several signs may share\n"
        "a line (an RS-485 bus, or one port of a serial device server), each with its own\n"
        "device number: one writer serves them in turn. With [modbus] in the\n"
        "configuration, PLCs write units as Modbus TCP holding registers too. With\n"
        "[standby], two gateways back each other up: only the one holding the lease\n"
        "writes to the lines. With [http], a read-only web server shows every sign on a\n"
        "live page (/), as JSON (/api/signs), as an event stream (/events) and as\n"
        "Prometheus metrics (/metrics). Units may have names; [[group]] sends one\n"
        "command to several signs on PREFIX/group/NAME/.../set; an image/set with\n"
        "\"for\" shows for that long; [homeassistant] announces every sign to Home\n"
        "Assistant; [sparkplug] makes the gateway a Sparkplug B edge node, each sign a\n"
        "device (the sequence number is kept in $STATE_DIRECTORY). Logs go to standard\n"
        "error. SIGTERM or SIGINT ends it\n"
        "cleanly; SIGHUP reads the configuration again, leaving signs whose settings did\n"
        "not change untouched.",
        "zarnetd"};
    cli.add_option("--config", options.configPath, "the configuration file")->capture_default_str();
    cli.add_option("--check-config", options.checkPath,
                   "read the configuration, print what it says or every fault with its line, "
                   "and exit (0 when usable, 2 when not)");
    cli.add_flag("--verbose", options.verbose, "log every frame and every broker message");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e) == 0 ? 0 : 2;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(logHandler);
    qSetMessagePattern(u"%{category}: %{message}"_s);
    // Texts are drawn on the canvas without a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    Options options;
    try {
        if (const auto code = readOptions(argc, argv, options))
            return *code;
    } catch (const CLI::Error& e) { // the options themselves are at fault
        std::fprintf(stderr, "zarnetd: %s\n", e.what());
        return 2;
    }

    QGuiApplication app(argc, argv);
    zarnet::installSongSubstitutions();
    QLoggingCategory::setFilterRules(
        options.verbose
            ? u"zarnet.*=true"_s
            : u"zarnet.gateway.info=true\nzarnet.mqtt.info=true\nzarnet.web.info=true"_s);

    const QString path =
        QString::fromStdString(options.checkPath.empty() ? options.configPath : options.checkPath);
    zarnet::SystemPortCatalog ports;
    const auto config = loadConfig(path, ports);
    if (const auto* faults = std::get_if<QStringList>(&config)) {
        QTextStream err(stderr);
        for (const QString& fault : *faults)
            err << fault << Qt::endl;
        return 2;
    }
    for (const auto& warning : std::get<zarnet::gateway::Config>(config).warnings)
        qCWarning(lcGateway).noquote() << zarnet::gateway::describe(warning, path);
    if (!options.checkPath.empty()) {
        QTextStream(stdout) << zarnet::gateway::describe(std::get<zarnet::gateway::Config>(config));
        return 0;
    }

    const auto clock = zarnet::gateway::clockFromEnvironment();
    if (!clock) {
        QTextStream(stderr) << "zarnetd: ZARNETD_TEST_CLOCK takes YYYY-MM-DDThh:mm:ss and a speed "
                               "1..10000, such as 2026-12-04T21:59:00,3600"
                            << Qt::endl;
        return 2;
    }
    const auto& plantClock = *clock;
    if (plantClock.isTestClock())
        qCWarning(lcGateway).noquote() << "running on" << plantClock.describe();
    zarnet::gateway::Gateway gateway(std::get<zarnet::gateway::Config>(config), ports, plantClock);
    QObject::connect(&gateway, &zarnet::gateway::Gateway::finished, &app, &QCoreApplication::quit);
    zarnet::gateway::ServiceNotifier notifier;
    notifier.setStatusSource([&gateway] { return gateway.summary(); });
    QObject::connect(&gateway, &zarnet::gateway::Gateway::summaryChanged, &notifier,
                     &zarnet::gateway::ServiceNotifier::statusChanged);
    zarnet::gateway::WebSite web(gateway, plantClock, ZARNET_VERSION);
    bool stopping = false;
    bool reloadOwed = false; // asked for before the service was ready
    const auto reload = [&] {
        if (stopping)
            return;
        if (!gateway.isReady()) {
            reloadOwed = true;
            return;
        }
        notifier.reloading();
        const auto next = loadConfig(path, ports);
        if (const auto* faults = std::get_if<QStringList>(&next)) {
            qCWarning(lcGateway).noquote()
                << "the configuration read again has faults; the running one stays:";
            for (const QString& fault : *faults)
                qCWarning(lcGateway).noquote() << fault;
            notifier.setStatusNote(u"the configuration read again has faults (see the log)"_s);
        } else {
            for (const auto& warning : std::get<zarnet::gateway::Config>(next).warnings)
                qCWarning(lcGateway).noquote() << zarnet::gateway::describe(warning, path);
            gateway.reload(std::get<zarnet::gateway::Config>(next));
            QString webError;
            if (!web.configure(std::get<zarnet::gateway::Config>(next).http, &webError))
                qCWarning(lcGateway).noquote() << webError;
            notifier.setStatusNote({});
        }
        notifier.ready();
    };
    QObject::connect(&gateway, &zarnet::gateway::Gateway::ready, &notifier, [&] {
        notifier.ready();
        if (std::exchange(reloadOwed, false))
            reload();
    });
    zarnet::onReloadRequest(reload);
    zarnet::onTerminationRequest([&gateway, &notifier, &stopping] {
        stopping = true;
        notifier.stopping();
        gateway.stop();
        // Whatever happens to the broker or a line, the program ends.
        QTimer::singleShot(2 * zarnet::gateway::Gateway::StopTimeoutMs, qApp,
                           &QCoreApplication::quit);
    });
    QString error;
    if (!web.configure(std::get<zarnet::gateway::Config>(config).http, &error) ||
        !gateway.start(&error)) {
        QTextStream(stderr) << "zarnetd: " << error << Qt::endl;
        return 2;
    }
    return app.exec();
}
