#include "boardconsole.h"
#include "boardline.h"
#include "boardwindow.h"
#include "panelrecorder.h"
#include <core/board.h>
#include <core/faultwords.h>

#include <core/fieldnumber.h>
#include <core/linkaddress.h>
#include <language/language.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

// X up to 255 plus W up to 2040 dots, with one column to spare; Y and H up to 255 each.
constexpr int MaxPanelWidth = 2296;
constexpr int MaxPanelHeight = 255 + 255;

int fail(const QString& message) {
    QTextStream(stderr) << "zarnet-board: " << message << Qt::endl;
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    // Without a window (or only printing help) no display is needed.
    bool headless = false;
    bool windowless = false;
    for (int i = 1; i < argc; ++i) {
        headless = headless || std::strcmp(argv[i], "--headless") == 0;
        windowless =
            windowless || std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
    }
    const bool commandsOnInput = zarnet::BoardConsole::inputUsable();
    if ((headless || windowless) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"zarnet-board"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A virtual sign controller. Without DEVICE it creates a pseudo-terminal and prints "
        "its path: type that path into Zarnet's port box and press \"打开串口\" (\"Open port\" in "
        "English). When its standard input is a pipe or a file, lines \"mute N\" and "
        "\"unmute N\" on it silence controller N and bring it back."_s);
    parser.addHelpOption();
    parser.addPositionalArgument(u"DEVICE"_s, u"A serial device to answer on (optional)."_s);
    parser.addOption({u"device"_s,
                      u"The controllers' device numbers, 0..255 (255); several, such as 1,5,9, "
                      "play controllers sharing one line."_s,
                      u"N[,N...]"_s, u"255"_s});
    parser.addOption({u"collide"_s,
                      u"Put two controllers on number N: their replies garble each other."_s,
                      u"N"_s});
    parser.addOption({u"listen"_s,
                      u"Answer as a serial device server on tcp://HOST:PORT (one client at a "
                      "time; PORT 0 picks a free one) instead of a pseudo-terminal."_s,
                      u"ADDRESS"_s});
    parser.addOption({u"panel"_s, u"The panel's size in dots (256x64)."_s, u"WxH"_s, u"256x64"_s});
    parser.addOption({u"paced"_s,
                      u"Read the line no faster than 115200 baud carries it (11520 bytes a "
                      "second), as a real controller does."_s});
    parser.addOption({u"headless"_s, u"No window; the log goes to standard output."_s});
    parser.addOption({u"png"_s, u"Write the panel to FILE each time it changes."_s, u"FILE"_s});
    parser.addOption({u"lang"_s,
                      u"The window's language, zh or en; without it, the first of the user's "
                      "interface languages that is one of the two, else zh."_s,
                      u"LANG"_s});
    parser.process(app);

    QString languageFault;
    const auto language = zarnet::chooseLanguage(
        parser.isSet(u"lang"_s) ? std::optional(parser.value(u"lang"_s)) : std::nullopt,
        &languageFault);
    if (!language)
        return fail(languageFault);
    zarnet::useLanguage(*language); // says so in the log when it cannot

    QList<uint8_t> devices;
    for (const QString& text : parser.value(u"device"_s).split(u',')) {
        const auto device = fields::readByte(text);
        if (!device || devices.contains(*device))
            return fail(u"--device takes different whole numbers 0..255, such as 1,5,9"_s);
        devices.append(*device);
    }
    if (parser.isSet(u"collide"_s)) {
        const auto twice = fields::readByte(parser.value(u"collide"_s));
        if (!twice)
            return fail(u"--collide takes a whole number 0..255"_s);
        devices.removeAll(*twice);
        devices += {*twice, *twice};
    }
    static const QRegularExpression sizePattern(u"^(\\d{1,4})x(\\d{1,4})$"_s);
    const auto size = sizePattern.match(parser.value(u"panel"_s));
    if (!size.hasMatch() || size.captured(1).toInt() < 1 || size.captured(2).toInt() < 1)
        return fail(u"--panel takes a size such as 256x64"_s);
    if (size.captured(1).toInt() > MaxPanelWidth || size.captured(2).toInt() > MaxPanelHeight)
        return fail(u"--panel: at most %1x%2 dots can be addressed"_s.arg(MaxPanelWidth)
                        .arg(MaxPanelHeight));
    if (parser.positionalArguments().size() > 1)
        return fail(u"give at most one serial device"_s);

    const QSize panel(size.captured(1).toInt(), size.captured(2).toInt());
    std::vector<std::unique_ptr<zarnet::Board>> boards;
    QList<zarnet::Board*> onLine;
    for (const uint8_t device : devices) {
        boards.push_back(std::make_unique<zarnet::Board>(device, panel));
        onLine.append(boards.back().get());
    }
    zarnet::Board& board = *boards.front(); // the one the panel and the side bar show
    zarnet::BoardLine line(onLine);
    QObject::connect(&line, &zarnet::BoardLine::logged,
                     [](const QString& text) { out() << text << Qt::endl; });
    line.setPaced(parser.isSet(u"paced"_s));
    std::unique_ptr<zarnet::BoardConsole> console;
    if (commandsOnInput)
        console = std::make_unique<zarnet::BoardConsole>(line);

    QString where;
    if (parser.isSet(u"listen"_s)) {
        if (!parser.positionalArguments().isEmpty())
            return fail(u"give --listen or a serial device, not both"_s);
        const auto address = zarnet::parseTcpAddress(parser.value(u"listen"_s), true);
        if (const auto* fault = std::get_if<zarnet::AddressFault>(&address))
            return fail(u"--listen: "_s + zarnet::describe(*fault));
        QString error;
        const auto& tcp = std::get<zarnet::TcpAddress>(address);
        where = line.listen(tcp.host, tcp.port, &error);
        if (where.isEmpty())
            return fail(u"cannot listen on %1: %2"_s.arg(parser.value(u"listen"_s), error));
    } else if (parser.positionalArguments().isEmpty()) {
        where = line.openPseudoTerminal();
        if (where.isEmpty())
            return fail(u"no pseudo-terminal could be created"_s);
    } else {
        where = parser.positionalArguments().constFirst();
        QString error;
        if (!line.openDevice(where, &error))
            return fail(u"cannot open %1: %2"_s.arg(where, error));
    }
    QStringList numbers;
    for (const uint8_t device : devices)
        numbers.append(QString::number(device));
    out() << "zarnet-board: device" << (devices.size() > 1 ? "s " : " ") << numbers.join(u", ")
          << " listening on " << where << Qt::endl;

    std::unique_ptr<zarnet::PanelRecorder> recorder;
    if (parser.isSet(u"png"_s)) {
        const QString png = parser.value(u"png"_s);
        recorder = std::make_unique<zarnet::PanelRecorder>(png);
        using Result = zarnet::PanelRecorder::Result;
        if (recorder->record(board, QDateTime::currentDateTime()) == Result::Failed)
            return fail(u"--png: cannot write %1"_s.arg(png));
        // A failure is told once, and again only after a picture was written.
        static bool failing = false;
        auto record = [&board, &recorder, png] {
            const Result result = recorder->record(board, QDateTime::currentDateTime());
            if (result == Result::Failed && !failing)
                QTextStream(stderr) << "zarnet-board: cannot write " << png << Qt::endl;
            failing = result == Result::Failed || (failing && result == Result::Unchanged);
        };
        QObject::connect(&line, &zarnet::BoardLine::changed, record);
        auto* tick = new QTimer(&app); // schedules start and end as time passes
        QObject::connect(tick, &QTimer::timeout, record);
        tick->start(1000);
    }

    std::unique_ptr<zarnet::BoardWindow> window;
    if (!headless) {
        window = std::make_unique<zarnet::BoardWindow>(board, line, where);
        window->show();
    }
    return app.exec();
}
