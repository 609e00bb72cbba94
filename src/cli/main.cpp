#include "commandline.h"
#include "exchange.h"
#include "scan.h"

#include <canvas/songfont.h>
#include <link/portcatalog.h>

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTextStream>
#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

// Standard error is for the program's own messages, which scripts read; Qt's
// note about a missing runtime folder (usual under cron) is not one of them.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(u"QStandardPaths:"))
        return;
    // With the category in front, as Qt's own handler writes it.
    std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(quietHandler);
    // The canvas draws text without a screen; scripts run where there is none.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    zarnet::installSongSubstitutions();

    QTextStream out(stdout);
    QTextStream err(stderr);
    // argv as the application left it, without the options Qt took for itself.
    const auto parsed = zarnet::cli::parseCommandLine(zarnet::cli::argumentWords(argc, argv),
                                                      QDateTime::currentDateTime());
    if (const auto* stop = std::get_if<zarnet::cli::Stop>(&parsed)) {
        if (stop->exitCode == zarnet::cli::Success)
            out << stop->text;
        else
            err << "zarnet-cli: " << stop->text << Qt::endl;
        return stop->exitCode;
    }
    const auto& request = std::get<zarnet::cli::Request>(parsed);
    // --verbose is the program's own logging: every frame, and why a reply was dropped.
    if (request.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("zarnet.*=true"));
    if (request.awaits == zarnet::cli::Request::Awaits::Scan) {
        if (request.dryRun) {
            err << "zarnet-cli: scan sends many frames; --dry-run has none to print" << Qt::endl;
            return zarnet::cli::BadArguments;
        }
        zarnet::SystemPortCatalog ports;
        QTextStream bar(stderr);
        return zarnet::cli::runScan(request, ports, out, err, isatty(2) ? &bar : nullptr);
    }
    if (request.dryRun) {
        out << QString::fromLatin1(request.frame.toHex(' ')).toUpper() << Qt::endl;
        return zarnet::cli::Success;
    }
    zarnet::SystemPortCatalog ports;
    return zarnet::cli::runExchange(request, ports, out, err);
}
