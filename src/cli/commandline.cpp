#include "commandline.h"

#include <canvas/imagerequest.h>
#include <core/faultwords.h>
#include <core/fieldnumber.h>
#include <core/frame.h>
#include <core/linkaddress.h>
#include <core/requests.h>
#include <core/schedule.h>
#include <core/unitframes.h>

#include <CLI/CLI.hpp>

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace zarnet::cli {

namespace {

const QString ProgramHelp = uR"(Usage: zarnet-cli [options] COMMAND ...

Sends one request to a sign controller, exactly as the Zarnet window does.

Commands:
  power on|off                  switch the sign on or off
  clock [--at "YYYY-MM-DD hh:mm:ss"]
                                set the controller's clock (default: now)
  clear                         clear the sign
  test                          test the connection; prints the device number
  units write START V1 [V2 ...] [--fixed]
                                write up to 9 values into units START, START+1, ...
  units read START COUNT        read COUNT units; prints one value per line
  scan [--from N] [--to M]      find the controllers on the line: the connection
                                test to each number N..M (0..255); one line per
                                number that answered, with the round trip
  image (--text TEXT [--font FAMILY] [--size PT] | --bmp FILE)
        [--window X,Y,W,H] [--always | --daily HHMM-HHMM | --weekdays A-B | --dates A-B]
                                send a 256 x 64 canvas image

Options:
  --port P        port number (as in the window), device path, or
                  tcp://HOST:PORT for a serial device server (default 1)
  --device N      controller's device number, 0..255 (default 255)
  --timeout MS    how long test and units read wait for their reply once the
                  request is out (default 1000); a request without a reply waits
                  as long as its frame needs on the line, plus 2 s
  --dry-run       print the frame as hex and send nothing
  --verbose       print every frame sent and received on standard error
  --help          this text; COMMAND --help for one command

Bytes already waiting on the port when it opens are discarded. A reply counts
only when it is a whole, checked frame of the kind asked for: 0x21 for test
(from the device asked, unless that is 255), 0x30 for units read with the
request's start unit and count. Bytes that come before it and are no such
frame are passed over (--verbose shows them) until it comes or the timeout
ends. Over tcp:// a request without a reply counts as sent only when the
connection is still up 100 ms after its bytes left. "--" ends the options.

Exit codes: 0 success, 1 no reply in time, a reply that fails its checks, a
frame that could not be sent or a line that hung up, 2 bad arguments (nothing
is sent), 3 the port could not be opened.
)"_s;

const QMap<QString, QString> CommandHelp = {
    {u"power"_s,
     u"Usage: zarnet-cli [options] power on|off\n\nSwitches the sign on or off (0x12).\n"_s},
    {u"clock"_s, u"Usage: zarnet-cli [options] clock [--at \"YYYY-MM-DD hh:mm:ss\"]\n\n"
                 "Sets the controller's clock (0x20) to the given local time, or to now.\n"_s},
    {u"clear"_s, u"Usage: zarnet-cli [options] clear\n\nClears the sign (0x40).\n"_s},
    {u"scan"_s, u"Usage: zarnet-cli [options] scan [--from N] [--to M] [--timeout MS]\n\n"
                "Sends the connection test (0x21) to each device number from N to M (0..255) and\n"
                "prints one line per controller that answered: its number and the round trip in\n"
                "ms. A number whose reply fails its checks is reported as a garbled answer (an\n"
                "address collision, or noise); when most numbers get one, the line carries noise:\n"
                "check its speed. --timeout is the wait per number (60 ms unless given; raise it\n"
                "for slow serial device servers). A progress bar is drawn on a terminal; Ctrl-C\n"
                "stops and prints what was found. Exit 0 when a controller answered properly, 1\n"
                "when none did (garbled answers are none), 3 when the link cannot be opened or\n"
                "is lost during the scan.\n"_s},
    {u"test"_s, u"Usage: zarnet-cli [options] test\n\nSends the connection test (0x21), waits for "
                "the reply and prints the number of the device that answered.\n"_s},
    {u"units"_s, u"Usage: zarnet-cli [options] units write START V1 [V2 ...] [--fixed]\n"
                 "       zarnet-cli [options] units read START COUNT\n\n"
                 "write: up to 9 values, each a number 0..2147483647, into units START,\n"
                 "       START+1, ...; anything else (\"N/A\", \"12abc\", \"\") is refused.\n"
                 "       (0x23 shown at once; 0x24 with --fixed). START is 0..255.\n"
                 "read:  asks for COUNT units from START (0x30), both 0..255, and prints\n"
                 "       the values of the reply, one per line.\n"_s},
    {u"image"_s,
     u"Usage: zarnet-cli [options] image (--text TEXT [--font FAMILY] [--size PT] | --bmp FILE)\n"
     "        [--window X,Y,W,H] [--always | --daily HHMM-HHMM | --weekdays A-B | --dates A-B]\n\n"
     "Draws TEXT (default font 宋体 12 pt) or loads a bitmap onto the 256 x 64 canvas and\n"
     "sends its top-left W x H dots (0x41). --window defaults to 192,0,64,16; X is made\n"
     "even and W a multiple of 8, as the window does. X, Y, W/8 and H are 0..255 and\n"
     "W/8 x H at most 2048 bytes. --daily takes hhmm times (hours x 60 + minutes at\n"
     "most 4095); --weekdays (0 = Sunday) and --dates take numbers 0..255.\n"_s},
};

const QSet<QString> ValueOptions = {
    u"from"_s, u"to"_s,   u"port"_s, u"device"_s, u"timeout"_s, u"at"_s,       u"text"_s,
    u"font"_s, u"size"_s, u"bmp"_s,  u"window"_s, u"daily"_s,   u"weekdays"_s, u"dates"_s};
const QSet<QString> FlagOptions = {u"dry-run"_s, u"verbose"_s, u"help"_s, u"fixed"_s, u"always"_s};
const QSet<QString> GlobalOptions = {u"port"_s,    u"device"_s,  u"timeout"_s,
                                     u"dry-run"_s, u"verbose"_s, u"help"_s};
const QMap<QString, QSet<QString>> CommandOptions = {
    {u"clock"_s, {u"at"_s}},
    {u"scan"_s, {u"from"_s, u"to"_s}},
    {u"units"_s, {u"fixed"_s}},
    {u"image"_s,
     {u"text"_s, u"font"_s, u"size"_s, u"bmp"_s, u"window"_s, u"always"_s, u"daily"_s,
      u"weekdays"_s, u"dates"_s}},
};

// Qt's own decoding drops a leading byte-order mark; these keep it.
QString decodeKeepingMark(QByteArrayView bytes, QStringDecoder::Encoding encoding) {
    QStringDecoder decoder(encoding, QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

QString fromStd(const std::string& text) {
    return decodeKeepingMark(text, QStringDecoder::Utf8);
}

Stop bad(const QString& text) {
    return {BadArguments, text};
}

struct Parsed {
    QStringList positional;
    QMap<QString, QString> options;
};

// Options and words as CLI11 reads them (--opt value, --opt=value, flags, "--"
// ending the options); which options a command takes is checked after.
std::variant<Parsed, Stop> split(const QStringList& arguments) {
    CLI::App app;
    app.set_help_flag(); // help is this program's own text
    app.allow_windows_style_options(false);
    app.positionals_at_end(false);
    std::map<QString, std::string> values;
    std::map<QString, bool> flags;
    for (const QString& name : ValueOptions) {
        app.add_option("--" + name.toStdString(), values[name])
            ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
            ->allow_extra_args(false);
    }
    for (const QString& name : FlagOptions) {
        const std::string spelled = name == u"help" ? "-h,--help" : "--" + name.toStdString();
        app.add_flag(spelled, flags[name])->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    }
    std::vector<std::string> words;
    app.add_option("words", words);

    // A value that looks like an option is a forgotten one; --opt=--x passes it.
    for (qsizetype i = 0; i < arguments.size() && arguments[i] != u"--"; ++i) {
        const QString name = arguments[i].mid(2);
        if (arguments[i].startsWith(u"--") && ValueOptions.contains(name) &&
            (i + 1 >= arguments.size() || arguments[i + 1].startsWith(u"--")))
            return bad(u"--%1 needs a value"_s.arg(name));
    }
    std::vector<std::string> args;
    for (qsizetype i = arguments.size() - 1; i >= 0; --i)
        args.push_back(arguments[i].toStdString()); // CLI11 takes them last first
    try {
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        return bad(u"%1 (see --help)"_s.arg(fromStd(e.what())));
    }
    Parsed parsed;
    for (const std::string& word : words)
        parsed.positional.append(fromStd(word));
    for (const auto& [name, value] : values)
        if (app.count("--" + name.toStdString()) > 0)
            parsed.options[name] = fromStd(value);
    for (const auto& [name, set] : flags)
        if (set)
            parsed.options[name] = QString();
    return parsed;
}

// What a refused field means on the command line: one table for every request.
QString argumentFor(const fields::Refusal& refusal) {
    using fields::Field;
    switch (refusal.field) {
    case Field::DownloadStart:
    case Field::ReadStart:
        return u"START takes a whole number 0..255"_s;
    case Field::DownloadCount:
        return u"give 1 to 9 values"_s;
    case Field::ReadCount:
        return u"COUNT takes a whole number 0..255"_s;
    case Field::UnitValue:
        return u"value %1 takes a number 0..2147483647"_s.arg(refusal.index + 1);
    case Field::XStart:
        return u"--window: X takes a whole number 0..255"_s;
    case Field::YStart:
        return u"--window: Y takes a whole number 0..255"_s;
    case Field::Width:
    case Field::ImageSize:
        return u"--window: W takes a whole number 0..2047, and W/8 x H at most 2048 bytes"_s;
    case Field::Height:
        return u"--window: H takes a whole number 0..255"_s;
    case Field::DailyStart:
    case Field::DailyEnd:
        return u"--daily takes HHMM-HHMM, hours x 60 + minutes at most 4095"_s;
    case Field::RangeStart:
    case Field::RangeEnd:
        return u"--weekdays and --dates take A-B, each a whole number 0..255"_s;
    }
    return {};
}

std::variant<QByteArray, Stop> unitsFrame(const Parsed& p, uint8_t device, Request& request) {
    const QStringList& args = p.positional;
    if (args.size() < 2 || (args[1] != u"write" && args[1] != u"read"))
        return bad(u"units takes write or read (see units --help)"_s);
    if (args[1] == u"read") {
        if (args.size() != 4)
            return bad(u"units read takes START and COUNT"_s);
        if (p.options.contains(u"fixed"_s))
            return bad(u"--fixed belongs to units write"_s);
        const auto read = readUnitRead(args[2], args[3]);
        if (const auto* refusal = std::get_if<fields::Refusal>(&read))
            return bad(argumentFor(*refusal));
        request.awaits = Request::Awaits::Values;
        request.replyLength = unitReplyLength(std::get<UnitRead>(read).count);
        request.start = std::get<UnitRead>(read).start;
        request.count = std::get<UnitRead>(read).count;
        return unitReadFrame(device, std::get<UnitRead>(read));
    }
    if (args.size() < 4)
        return bad(u"units write takes START and 1 to 9 values"_s);
    const QStringList values = args.mid(3);
    // The window reads the number a value starts with and takes an empty field for
    // 0; a script that hands over "N/A" or nothing must fail, not zero a unit.
    for (qsizetype i = 0; i < values.size(); ++i)
        if (!fields::readWholeNumber(values[i], 0, std::numeric_limits<int32_t>::max()))
            return bad(u"value %1 takes a number 0..2147483647, not \"%2\""_s.arg(i + 1).arg(
                values[i].left(40)));
    const auto write = readUnitWrite(args[2], QString::number(values.size()), values);
    if (const auto* refusal = std::get_if<fields::Refusal>(&write))
        return bad(argumentFor(*refusal));
    const uint8_t code = p.options.contains(u"fixed"_s) ? UnitFixedCode : UnitShowNowCode;
    return unitWriteFrame(device, code, std::get<UnitWrite>(write));
}

// The schedule option into the request's mode and fields.
std::optional<Stop> readSchedule(const Parsed& p, ImageRequest& request) {
    const QStringList kinds = {u"always"_s, u"daily"_s, u"weekdays"_s, u"dates"_s};
    QString chosen;
    for (const QString& kind : kinds) {
        if (!p.options.contains(kind))
            continue;
        if (!chosen.isEmpty())
            return bad(u"give only one of --always, --daily, --weekdays, --dates"_s);
        chosen = kind;
    }
    if (chosen.isEmpty() || chosen == u"always")
        return std::nullopt;
    static const QRegularExpression range(u"^([^-]{1,4})-([^-]{1,4})$"_s);
    const auto match = range.match(p.options[chosen]);
    const QString form = chosen == u"daily" ? u"HHMM-HHMM, hours x 60 + minutes at most 4095"_s
                                            : u"A-B, each a whole number 0..255"_s;
    if (!match.hasMatch())
        return bad(u"--%1 takes %2"_s.arg(chosen, form));
    request.mode = chosen == u"daily"      ? ScheduleMode::DailyPeriod
                   : chosen == u"weekdays" ? ScheduleMode::WeekdayRange
                                           : ScheduleMode::MonthDates;
    request.start = match.captured(1);
    request.end = match.captured(2);
    return std::nullopt;
}

std::variant<QByteArray, Stop> imageFrame(const Parsed& p, uint8_t device) {
    if (p.positional.size() != 1)
        return bad(u"image takes no further words (see image --help)"_s);
    const bool text = p.options.contains(u"text"_s);
    const bool bmp = p.options.contains(u"bmp"_s);
    if (text == bmp)
        return bad(u"image takes one of --text TEXT or --bmp FILE"_s);
    if (bmp && (p.options.contains(u"font"_s) || p.options.contains(u"size"_s)))
        return bad(u"--font and --size go with --text"_s);

    ImageRequest request;
    if (text) {
        request.text = p.options[u"text"_s];
        request.family = p.options.value(u"font"_s);
        if (p.options.contains(u"size"_s)) {
            bool ok = false;
            const double size = p.options[u"size"_s].toDouble(&ok);
            if (!ok || !std::isfinite(size) || size <= 0 || size > MaxPointSize)
                return bad(u"--size takes points, more than 0 and at most 1000"_s);
            request.pointSize = size;
        }
    } else {
        const QString path = p.options[u"bmp"_s];
        // A FIFO or a device would be read until it ends, which may be never.
        if (!QFileInfo(path).isFile())
            return bad(u"--bmp: %1 is not a regular file"_s.arg(path));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return bad(u"--bmp: cannot read %1 as a picture"_s.arg(path));
        request.picture = file.readAll();
    }

    const QStringList window = p.options.value(u"window"_s, u"192,0,64,16"_s).split(u',');
    if (window.size() != 4)
        return bad(u"--window takes X,Y,W,H"_s);
    std::copy(window.begin(), window.end(), request.window.begin());
    if (const auto stop = readSchedule(p, request))
        return *stop;

    const auto frame = buildImageFrame(device, request);
    if (const auto* refusal = std::get_if<ImageRefusal>(&frame)) {
        if (!refusal->field)
            return bad(u"--bmp: cannot read %1 as a picture"_s.arg(p.options[u"bmp"_s]));
        return bad(argumentFor(*refusal->field));
    }
    return std::get<QByteArray>(frame);
}

// The frames of a scan are built as it goes; here only the range is read.
std::variant<QByteArray, Stop> scanRange(const Parsed& p, Request& request) {
    if (p.positional.size() != 1)
        return bad(u"scan takes no further words (see scan --help)"_s);
    const auto from = fields::readByte(p.options.value(u"from"_s, u"0"_s));
    const auto to = fields::readByte(p.options.value(u"to"_s, u"255"_s));
    if (!from || !to || *from > *to)
        return bad(u"--from and --to take device numbers 0..255, --from not above --to"_s);
    request.awaits = Request::Awaits::Scan;
    request.scanFrom = *from;
    request.scanTo = *to;
    if (!p.options.contains(u"timeout"_s))
        request.timeoutMs = 60; // a 9-byte reply needs 0.8 ms on the wire
    return QByteArray();
}

std::variant<QByteArray, Stop> frameFor(const Parsed& p, uint8_t device, const QDateTime& now,
                                        Request& request) {
    const QString& command = p.positional[0];
    const qsizetype words = p.positional.size();
    if (command == u"power") {
        if (words != 2 || (p.positional[1] != u"on" && p.positional[1] != u"off"))
            return bad(u"power takes on or off"_s);
        return powerFrame(device, p.positional[1] == u"on");
    }
    if (command == u"clock") {
        if (words != 1)
            return bad(u"clock takes no further words (see clock --help)"_s);
        QDateTime at = now;
        if (p.options.contains(u"at"_s)) {
            at = QDateTime::fromString(p.options[u"at"_s], u"yyyy-MM-dd hh:mm:ss"_s);
            if (!at.isValid() || at.date().year() < 1 || at.date().year() > 9999)
                return bad(u"--at takes a local time as \"YYYY-MM-DD hh:mm:ss\""_s);
        }
        return clockFrame(device, at);
    }
    if (command == u"clear" || command == u"test") {
        if (words != 1)
            return bad(u"%1 takes no further words"_s.arg(command));
        if (command == u"clear")
            return clearFrame(device);
        request.awaits = Request::Awaits::Device;
        request.replyLength = FindReplyLength;
        return findFrame(device);
    }
    if (command == u"units")
        return unitsFrame(p, device, request);
    if (command == u"scan")
        return scanRange(p, request);
    return imageFrame(p, device);
}

} // namespace

QStringList argumentWords(int argc, const char* const* argv) {
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words.append(decodeKeepingMark(argv[i], QStringDecoder::System));
    return words;
}

std::variant<Request, Stop> parseCommandLine(const QStringList& arguments, const QDateTime& now) {
    const auto split_ = split(arguments);
    if (const auto* stop = std::get_if<Stop>(&split_))
        return *stop;
    const Parsed& p = std::get<Parsed>(split_);

    const QString command = p.positional.value(0);
    if (p.options.contains(u"help"_s) || command == u"help") {
        const QString topic = command == u"help" ? p.positional.value(1) : command;
        return Stop{Success, CommandHelp.value(topic, ProgramHelp)};
    }
    if (command.isEmpty())
        return bad(u"no command given (see --help)"_s);
    if (!CommandHelp.contains(command))
        return bad(u"unknown command %1 (see --help)"_s.arg(command));
    for (auto it = p.options.begin(); it != p.options.end(); ++it)
        if (!GlobalOptions.contains(it.key()) && !CommandOptions.value(command).contains(it.key()))
            return bad(u"--%1 is not an option of %2"_s.arg(it.key(), command));

    Request request;
    const auto device = fields::readByte(p.options.value(u"device"_s, u"255"_s));
    if (!device)
        return bad(u"--device takes a whole number 0..255"_s);
    request.device = *device;
    const auto timeout =
        fields::readWholeNumber(p.options.value(u"timeout"_s, u"1000"_s), 1, 3600000);
    if (!timeout)
        return bad(u"--timeout takes milliseconds, 1..3600000"_s);
    request.timeoutMs = *timeout;
    request.port = p.options.value(u"port"_s, u"1"_s);
    if (request.port.trimmed().isEmpty())
        return bad(u"--port takes a port number, a device path or tcp://HOST:PORT"_s);
    if (isNetworkAddress(request.port)) {
        const auto address = parseTcpAddress(request.port);
        if (const auto* fault = std::get_if<AddressFault>(&address))
            return bad(u"--port: "_s + describe(*fault));
    }
    request.dryRun = p.options.contains(u"dry-run"_s);
    request.verbose = p.options.contains(u"verbose"_s);

    const auto frame = frameFor(p, *device, now, request);
    if (const auto* stop = std::get_if<Stop>(&frame))
        return *stop;
    request.frame = std::get<QByteArray>(frame);
    return request;
}

} // namespace zarnet::cli
