#include "boardconsole.h"
#include "boardline.h"
#include "boardwindow.h"
#include "panelrecorder.h"
#include <core/board.h>
#include <core/faultwords.h>

#include <core/fieldnumber.h>
#include <core/linkaddress.h>
#include <language/language.h>

#include <CLI/CLI.hpp>
#include <QApplication>
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

// What the command line asks for, read from the arguments Qt left.
struct BoardOptions {
    std::optional<QString> device; // DEVICE
    QString devices = u"255"_s;
    std::optional<QString> collide;
    std::optional<QString> listen;
    QString panel = u"256x64"_s;
    bool paced = false;
    bool headless = false;
    std::optional<QString> png;
    std::optional<QString> lang;
};

// Binds an option's text to `target`, set only when the option is given.
CLI::Option* addText(CLI::App& cli, const std::string& name, std::optional<QString>& target,
                     const std::string& help, const std::string& valueName) {
    return cli
        .add_option_function<std::string>(
            name, [&target](const std::string& value) { target = QString::fromUtf8(value); }, help)
        ->type_name(valueName);
}

// nullopt to go on, else the exit code (help was printed, or an option is bad).
std::optional<int> readOptions(int argc, const char* const* argv, BoardOptions& options) {
    CLI::App cli{"A virtual sign controller. Without DEVICE it creates a pseudo-terminal and\n"
                 "prints its path: type that path into Zarnet's port box and press \"打开串口\"\n"
                 "(\"Open port\" in English). When its standard input is a pipe or a file, lines\n"
                 "\"mute N\" and \"unmute N\" on it silence controller N and bring it back.",
                 "zarnet-board"};
    cli.set_help_flag("-h,--help", "print this text and exit");
    // An option given twice takes the later value, as a script's override means.
    cli.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    addText(cli, "DEVICE", options.device, "a serial device to answer on (optional)", "");
    cli.add_option_function<std::string>(
           "--device",
           [&options](const std::string& value) { options.devices = QString::fromUtf8(value); },
           "the controllers' device numbers, 0..255 (255); several, such as 1,5,9, play "
           "controllers sharing one line")
        ->option_text("N[,N...]");
    addText(cli, "--collide", options.collide,
            "put two controllers on number N: their replies garble each other", "N");
    addText(cli, "--listen", options.listen,
            "answer as a serial device server on tcp://HOST:PORT (one client at a time; PORT 0 "
            "picks a free one) instead of a pseudo-terminal",
            "ADDRESS");
    cli.add_option_function<std::string>(
           "--panel",
           [&options](const std::string& value) { options.panel = QString::fromUtf8(value); },
           "the panel's size in dots (256x64)")
        ->option_text("WxH");
    cli.add_flag("--paced", options.paced,
                 "read the line no faster than 115200 baud carries it (11520 bytes a second), "
                 "as a real controller does");
    cli.add_flag("--headless", options.headless, "no window; the log goes to standard output");
    addText(cli, "--png", options.png, "write the panel to FILE each time it changes", "FILE");
    addText(cli, "--lang", options.lang,
            "the window's language, zh or en; without it, the first of the user's interface "
            "languages that is one of the two, else zh",
            "LANG");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::Success& e) { // --help
        return cli.exit(e);
    } catch (const CLI::ParseError& e) {
        return fail(u"%1 (see --help)"_s.arg(QString::fromUtf8(e.what())));
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    // Without a window (or only printing help) no display is needed; this is known
    // before the options are read, since Qt takes its own from them first.
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

    // Qt's own options are gone from arguments() by now; UTF-8 keeps every character.
    const QStringList arguments = QCoreApplication::arguments();
    std::vector<std::string> words;
    words.reserve(size_t(arguments.size()));
    for (const QString& argument : arguments)
        words.push_back(argument.toUtf8().toStdString());
    std::vector<const char*> wordPointers;
    wordPointers.reserve(words.size());
    for (const std::string& word : words)
        wordPointers.push_back(word.c_str());
    BoardOptions options;
    try {
        if (const auto code = readOptions(int(wordPointers.size()), wordPointers.data(), options))
            return *code;
    } catch (const CLI::Error& e) { // the options themselves are at fault
        return fail(QString::fromUtf8(e.what()));
    }

    QString languageFault;
    const auto language = zarnet::chooseLanguage(options.lang, &languageFault);
    if (!language)
        return fail(languageFault);
    zarnet::useLanguage(*language); // says so in the log when it cannot

    QList<uint8_t> devices;
    for (const QString& text : options.devices.split(u',')) {
        const auto device = fields::readByte(text);
        if (!device || devices.contains(*device))
            return fail(u"--device takes different whole numbers 0..255, such as 1,5,9"_s);
        devices.append(*device);
    }
    if (options.collide) {
        const auto twice = fields::readByte(*options.collide);
        if (!twice)
            return fail(u"--collide takes a whole number 0..255"_s);
        devices.removeAll(*twice);
        devices += {*twice, *twice};
    }
    static const QRegularExpression sizePattern(u"^(\\d{1,4})x(\\d{1,4})$"_s);
    const auto size = sizePattern.match(options.panel);
    if (!size.hasMatch() || size.captured(1).toInt() < 1 || size.captured(2).toInt() < 1)
        return fail(u"--panel takes a size such as 256x64"_s);
    if (size.captured(1).toInt() > MaxPanelWidth || size.captured(2).toInt() > MaxPanelHeight)
        return fail(u"--panel: at most %1x%2 dots can be addressed"_s.arg(MaxPanelWidth)
                        .arg(MaxPanelHeight));

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
    line.setPaced(options.paced);
    std::unique_ptr<zarnet::BoardConsole> console;
    if (commandsOnInput)
        console = std::make_unique<zarnet::BoardConsole>(line);

    QString where;
    if (options.listen) {
        if (options.device)
            return fail(u"give --listen or a serial device, not both"_s);
        const auto address = zarnet::parseTcpAddress(*options.listen, true);
        if (const auto* fault = std::get_if<zarnet::AddressFault>(&address))
            return fail(u"--listen: "_s + zarnet::describe(*fault));
        QString error;
        const auto& tcp = std::get<zarnet::TcpAddress>(address);
        where = line.listen(tcp.host, tcp.port, &error);
        if (where.isEmpty())
            return fail(u"cannot listen on %1: %2"_s.arg(*options.listen, error));
    } else if (!options.device) {
        where = line.openPseudoTerminal();
        if (where.isEmpty())
            return fail(u"no pseudo-terminal could be created"_s);
    } else {
        where = *options.device;
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
    if (options.png) {
        const QString png = *options.png;
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
    if (!options.headless) {
        window = std::make_unique<zarnet::BoardWindow>(board, line, where);
        window->show();
    }
    return app.exec();
}
