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
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace zarnet::cli {

namespace {

constexpr char Footer[] =
    R"(A reply counts only when it is a whole, checked frame of the kind asked for:
0x21 for test (from the device asked, unless that is 255), 0x30 for units read
with the request's start unit and count. Bytes already waiting on the port when
it opens are discarded, and bytes before the reply that are no such frame are
passed over (--verbose shows them) until it comes or the timeout ends. Over
tcp:// a request without a reply counts as sent only when the connection is
still up 100 ms after its bytes left. "--" ends the options.

Exit codes: 0 success, 1 no reply in time, a reply that fails its checks, a
frame that could not be sent or a line that hung up, 2 bad arguments (nothing
is sent), 3 the port could not be opened.)";

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

// What the command line gave, as CLI11 read it into the declared options.
struct Given {
    std::string port = "1";
    std::string device = "255";
    std::string timeout = "1000";
    bool dryRun = false;
    bool verbose = false;
    std::string state; // power
    std::string at;    // clock
    std::string start; // units
    std::string count;
    std::vector<std::string> values;
    bool fixed = false;
    std::string from = "0"; // scan
    std::string to = "255";
    std::string text; // image
    std::string font;
    std::string size;
    std::string bmp;
    std::string window = "192,0,64,16";
    bool always = false;
    std::string daily;
    std::string weekdays;
    std::string dates;
    std::string topic;             // help
    std::vector<std::string> rest; // words after those a command takes
};

// The declared commands, and the options whose presence (not only value) counts.
struct Declared {
    CLI::App* power = nullptr;
    CLI::App* clock = nullptr;
    CLI::App* clear = nullptr;
    CLI::App* test = nullptr;
    CLI::App* units = nullptr;
    CLI::App* write = nullptr;
    CLI::App* read = nullptr;
    CLI::App* scan = nullptr;
    CLI::App* image = nullptr;
    CLI::App* help = nullptr;
    CLI::Option* timeout = nullptr;
    CLI::Option* at = nullptr;
    CLI::Option* text = nullptr;
    CLI::Option* size = nullptr;
    CLI::Option* daily = nullptr;
    CLI::Option* weekdays = nullptr;
};

// CLI11 puts an option's name before its validator's message; these messages
// are whole sentences, so the first refusal is kept here and shown as it is.
class Rules {
public:
    using Check = std::function<std::optional<QString>(const QString&)>;

    CLI::Validator operator()(Check check) {
        return CLI::Validator(
            [this, check = std::move(check)](std::string& value) -> std::string {
                const auto why = check(fromStd(value));
                if (!why)
                    return {};
                if (!first)
                    first = *why;
                return why->toStdString();
            },
            "");
    }
    CLI::Validator operator()(const QString& message, std::function<bool(const QString&)> holds) {
        return (*this)([message, holds = std::move(holds)](const QString& value) {
            return holds(value) ? std::nullopt : std::optional<QString>(message);
        });
    }

    std::optional<QString> first;
};

bool isByte(const QString& value) {
    return fields::readByte(value).has_value();
}

std::optional<QDateTime> readLocalTime(const QString& text) {
    const QDateTime at = QDateTime::fromString(text, u"yyyy-MM-dd hh:mm:ss"_s);
    if (!at.isValid() || at.date().year() < 1 || at.date().year() > 9999)
        return std::nullopt;
    return at;
}

// A schedule's A-B, each side as the window's fields take it.
bool isRange(const QString& value) {
    static const QRegularExpression range(u"^[^-]{1,4}-[^-]{1,4}$"_s);
    return range.match(value).hasMatch();
}

std::optional<QString> portFault(const QString& port) {
    if (port.trimmed().isEmpty())
        return u"--port takes a port number, a device path or tcp://HOST:PORT"_s;
    if (!isNetworkAddress(port))
        return std::nullopt;
    const auto address = parseTcpAddress(port);
    if (const auto* fault = std::get_if<AddressFault>(&address))
        return u"--port: "_s + describe(*fault);
    return std::nullopt;
}

// CLI11's help, without the unseen slot for further words in the usage line.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App* app, std::string name) const override {
        std::string usage = CLI::Formatter::make_usage(app, std::move(name));
        for (const std::string slot : {" [...]", " []"})
            if (const auto at = usage.find(slot); at != std::string::npos)
                usage.erase(at, slot.size());
        return usage;
    }
};

void declareCommon(CLI::App& app, Given& g, Rules& rule, Declared& d) {
    auto formatter = std::make_shared<HelpFormatter>();
    formatter->label("SUBCOMMAND", "COMMAND");
    formatter->column_width(24);
    app.formatter(formatter);
    app.set_help_flag("-h,--help", "this text; COMMAND --help for one command");
    app.set_help_all_flag("--help-all", "this text with every command's options");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    app.require_subcommand(0, 1);
    app.fallthrough();
    app.footer(Footer);
    app.add_option("--port", g.port,
                   "port number (as in the window), device path, or\n"
                   "tcp://HOST:PORT for a serial device server")
        ->type_name("P")
        ->capture_default_str()
        ->check(rule(portFault));
    app.add_option("--device", g.device, "the controller's device number, 0..255")
        ->type_name("N")
        ->capture_default_str()
        ->check(rule(u"--device takes a whole number 0..255"_s, isByte));
    d.timeout =
        app.add_option("--timeout", g.timeout,
                       "how long test and units read wait for their reply once\n"
                       "the request is out; a request without a reply waits as\n"
                       "long as its frame needs on the line, plus 2 s")
            ->type_name("MS")
            ->capture_default_str()
            ->check(rule(u"--timeout takes milliseconds, 1..3600000"_s, [](const QString& v) {
                return fields::readWholeNumber(v, 1, 3600000).has_value();
            }));
    app.add_flag("--dry-run", g.dryRun, "print the frame as hex and send nothing")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    app.add_flag("--verbose", g.verbose, "print every frame sent and received on standard error")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
}

void declareSimple(CLI::App& app, Given& g, Rules& rule, Declared& d) {
    d.power = app.add_subcommand("power", "switch the sign on or off (0x12)");
    d.power->add_option("STATE", g.state, "on or off")
        ->type_name("")
        ->check(rule(u"power takes on or off"_s,
                     [](const QString& v) { return v == u"on"_s || v == u"off"_s; }));
    d.clock = app.add_subcommand("clock", "set the controller's clock (0x20) to a local time");
    d.at = d.clock->add_option("--at", g.at, "the time, \"YYYY-MM-DD hh:mm:ss\" (default: now)")
               ->type_name("TIME")
               ->check(rule(u"--at takes a local time as \"YYYY-MM-DD hh:mm:ss\""_s,
                            [](const QString& v) { return readLocalTime(v).has_value(); }));
    d.clear = app.add_subcommand("clear", "clear the sign (0x40)");
    d.test = app.add_subcommand(
        "test", "test the connection (0x21); prints the number of the\ndevice that answered");
    d.help = app.add_subcommand("help", "this text, or one command's");
    d.help->add_option("COMMAND", g.topic, "the command")->type_name("");
}

void declareUnits(CLI::App& app, Given& g, Declared& d) {
    d.units = app.add_subcommand("units", "units write START V1 [V2 ...] [--fixed] | "
                                          "units read START COUNT");
    d.units->require_subcommand(0, 1);
    d.write = d.units->add_subcommand(
        "write", "write up to 9 values, each a number 0..2147483647, into\n"
                 "units START, START+1, ... (0x23 shown at once; 0x24 with --fixed)");
    d.write->add_option("START", g.start, "the first unit, 0..255")->type_name("");
    d.write->add_option("VALUES", g.values, "1 to 9 values")->type_name("");
    d.write->add_flag("--fixed", g.fixed, "fixed display (0x24)")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    d.read = d.units->add_subcommand(
        "read", "read COUNT units from START (0x30); prints one value per line");
    d.read->add_option("START", g.start, "the first unit, 0..255")->type_name("");
    d.read->add_option("COUNT", g.count, "how many, 0..255")->type_name("");
}

void declareScan(CLI::App& app, Given& g, Rules& rule, Declared& d) {
    d.scan =
        app.add_subcommand("scan", "find the controllers on the line: the connection test\n"
                                   "(0x21) to each device number, one line each that answered");
    d.scan->footer(
        "One line per controller that answered properly: its number and the round trip in\n"
        "ms. A number whose reply fails its checks is reported as a garbled answer (an\n"
        "address collision, or noise); when most numbers get one, the line carries noise:\n"
        "check its speed. --timeout is the wait per number (60 ms unless given; raise it\n"
        "for slow serial device servers). A progress bar is drawn on a terminal; Ctrl-C\n"
        "stops and prints what was found.\n\n"
        "Exit codes: 0 when a controller answered properly, 1 when none did (garbled\n"
        "answers are none), 2 bad arguments, 3 when the link cannot be opened or is lost\n"
        "during the scan.");
    const QString range = u"--from and --to take device numbers 0..255, --from not above --to"_s;
    d.scan->add_option("--from", g.from, "the first device number tried")
        ->type_name("N")
        ->capture_default_str()
        ->check(rule(range, isByte));
    d.scan->add_option("--to", g.to, "the last device number tried")
        ->type_name("M")
        ->capture_default_str()
        ->check(rule(range, isByte));
}

void declareImage(CLI::App& app, Given& g, Rules& rule, Declared& d) {
    d.image =
        app.add_subcommand("image", "draw a text or load a bitmap onto the 256 x 64 canvas and\n"
                                    "send its top-left W x H dots (0x41), as the window does");
    d.text = d.image->add_option("--text", g.text, "the text to draw")->type_name("TEXT");
    CLI::Option* bmp = d.image->add_option("--bmp", g.bmp, "a picture file to send instead")
                           ->type_name("FILE")
                           ->excludes(d.text)
                           ->check(rule([](const QString& path) -> std::optional<QString> {
                               // A FIFO or a device would be read until it ends: maybe never.
                               if (QFileInfo(path).isFile())
                                   return std::nullopt;
                               return u"--bmp: %1 is not a regular file"_s.arg(path);
                           }));
    d.image->add_option("--font", g.font, "the text's font (default 宋体)")
        ->type_name("FAMILY")
        ->excludes(bmp);
    d.size = d.image->add_option("--size", g.size, "the text's size in points (default 12)")
                 ->type_name("PT")
                 ->excludes(bmp)
                 ->check(rule(
                     u"--size takes points, more than 0 and at most 1000"_s, [](const QString& v) {
                         bool ok = false;
                         const double size = v.toDouble(&ok);
                         return ok && std::isfinite(size) && size > 0 && size <= MaxPointSize;
                     }));
    d.image
        ->add_option("--window", g.window,
                     "where the dots go: X is made even and W a multiple of 8,\n"
                     "as the window does; X, Y, W/8 and H are 0..255, and\n"
                     "W/8 x H at most 2048 bytes")
        ->type_name("X,Y,W,H")
        ->capture_default_str()
        ->check(rule(u"--window takes X,Y,W,H"_s,
                     [](const QString& v) { return v.split(u',').size() == 4; }));
    CLI::Option* always = d.image->add_flag("--always", g.always, "always shown (the default)")
                              ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    d.daily =
        d.image
            ->add_option("--daily", g.daily,
                         "shown daily between two hhmm times\n"
                         "(hours x 60 + minutes at most 4095)")
            ->type_name("HHMM-HHMM")
            ->check(rule(u"--daily takes HHMM-HHMM, hours x 60 + minutes at most 4095"_s, isRange));
    const QString range = u"takes A-B, each a whole number 0..255"_s;
    d.weekdays =
        d.image->add_option("--weekdays", g.weekdays, "shown on weekdays A to B, 0 = Sunday")
            ->type_name("A-B")
            ->check(rule(u"--weekdays "_s + range, isRange));
    CLI::Option* dates = d.image->add_option("--dates", g.dates, "shown on dates A to B")
                             ->type_name("A-B")
                             ->check(rule(u"--dates "_s + range, isRange));
    const std::vector<CLI::Option*> schedules{always, d.daily, d.weekdays, dates};
    for (CLI::Option* one : schedules)
        for (CLI::Option* other : schedules)
            if (one != other)
                one->excludes(other);
}

// "--text --bmp x" would take "--bmp" for the text: a value that looks like an
// option is a forgotten one, wherever that option is declared (--text=--x passes).
bool takesValue(const CLI::App& app, const std::string& name) {
    if (const CLI::Option* option = app.get_option_no_throw(name))
        return option->get_expected_min() > 0;
    const auto all = app.get_subcommands([](const CLI::App*) { return true; });
    return std::any_of(all.begin(), all.end(),
                       [&](const CLI::App* sub) { return takesValue(*sub, name); });
}

std::optional<Stop> forgottenValue(const CLI::App& app, const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size() && arguments[i] != u"--"; ++i) {
        if (arguments[i].startsWith(u"--") && !arguments[i].contains(u'=') &&
            takesValue(app, arguments[i].toStdString()) &&
            (i + 1 >= arguments.size() || arguments[i + 1].startsWith(u"--")))
            return bad(u"%1 needs a value"_s.arg(arguments[i]));
    }
    return std::nullopt;
}

// CLI11 reads a word in brackets as a list ("[]" as none at all), which would
// shift a script's values into other units: such a word is refused unless it is
// an option's value.
std::optional<Stop> bracketedWord(const CLI::App& app, const QStringList& arguments) {
    const qsizetype end = arguments.indexOf(u"--"_s);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        if (!word.startsWith(u'[') || !word.endsWith(u']'))
            continue;
        const bool optionValue = i > 0 && (end < 0 || i <= end) &&
                                 arguments[i - 1].startsWith(u"--") &&
                                 takesValue(app, arguments[i - 1].toStdString());
        if (!optionValue)
            return bad(
                u"\"%1\" is no value here: give each value on its own, without brackets"_s.arg(
                    word.left(40)));
    }
    return std::nullopt;
}

// The command chosen, as deep as it goes (units, then write), or none.
const CLI::App* chosenCommand(const CLI::App& app) {
    const CLI::App* chosen = nullptr;
    for (auto subs = app.get_subcommands(); !subs.empty(); subs = subs.front()->get_subcommands())
        chosen = subs.front();
    return chosen;
}

QString commandName(const CLI::App* command) {
    if (!command)
        return {};
    const QString name = fromStd(command->get_name());
    const CLI::App* parent = command->get_parent();
    return parent && parent->get_parent() ? commandName(parent) + u' ' + name : name;
}

// A command keeps the words after the ones it takes, unseen in its help, so that
// a "--" after them still ends the options: CLI11 would hand the words after it
// to the main command's options otherwise.
void takeTheRest(CLI::App& command, Given& g) {
    command.add_option("REST", g.rest)->group("");
}

void declare(CLI::App& app, Given& g, Rules& rule, Declared& d) {
    declareCommon(app, g, rule, d);
    declareSimple(app, g, rule, d);
    declareUnits(app, g, d);
    declareScan(app, g, rule, d);
    declareImage(app, g, rule, d);
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        command->group("Commands");
        takeTheRest(*command, g);
    }
    takeTheRest(*d.read, g);
    // Write's values take every word; one more slot only keeps a "--" after them
    // in write (two open-ended lists would be ambiguous).
    d.write->add_option("REST", g.rest)->expected(1)->group("");
    app.allow_extras(); // the words no declaration takes get this program's own message
}

// Reads the words into the declarations; help, or why they cannot be used.
std::optional<Stop> parse(CLI::App& app, const QStringList& arguments, const Rules& rule) {
    std::vector<std::string> words{app.get_name()};
    words.reserve(std::size_t(arguments.size()) + 1);
    for (const QString& argument : arguments)
        words.push_back(argument.toStdString());
    std::vector<const char*> argv;
    argv.reserve(words.size());
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    try {
        app.parse(int(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        return Stop{Success, fromStd(app.help())};
    } catch (const CLI::CallForAllHelp&) {
        return Stop{Success, fromStd(app.help("", CLI::AppFormatMode::All))};
    } catch (const CLI::ValidationError& e) {
        return bad(rule.first.value_or(fromStd(e.what())));
    } catch (const CLI::ParseError& e) {
        const QString command = commandName(chosenCommand(app));
        return bad(u"%1 (see %2--help)"_s.arg(fromStd(e.what()),
                                              command.isEmpty() ? QString() : command + u' '));
    }
    return std::nullopt;
}

// Which command declares an option, if any does.
const CLI::App* declaring(const CLI::App& app, const std::string& option) {
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (sub->get_option_no_throw(option))
            return sub;
        if (const CLI::App* deeper = declaring(*sub, option))
            return deeper;
    }
    return nullptr;
}

// A word or option that no declaration took.
Stop leftOver(const CLI::App& app, const Declared& d, const CLI::App* chosen, const QString& word) {
    const QString command = commandName(chosen);
    if (word.startsWith(u'-')) {
        const CLI::App* owner = declaring(app, word.section(u'=', 0, 0).toStdString());
        if (owner && owner == chosen)
            return bad(u"%1 goes after %2 (see %2 --help)"_s.arg(word, command));
        return chosen ? bad(u"%1 is not an option of %2 (see %2 --help)"_s.arg(word, command))
                      : bad(u"%1 is not an option (see --help)"_s.arg(word));
    }
    if (!chosen)
        return bad(u"unknown command %1 (see --help)"_s.arg(word));
    if (chosen == d.units)
        return bad(u"units takes write or read (see units --help)"_s);
    return bad(u"%1 takes no further words (see %1 --help)"_s.arg(command));
}

// "help COMMAND": that command's help, else the program's.
QString helpFor(const CLI::App& app, const std::string& topic) {
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
        if (sub->get_name() == topic)
            return fromStd(sub->get_formatter()->make_help(sub, app.get_name() + ' ' + topic,
                                                           CLI::AppFormatMode::Normal));
    return fromStd(
        app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal));
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

std::variant<QByteArray, Stop> unitsFrame(const Given& g, const Declared& d, uint8_t device,
                                          Request& request) {
    if (d.read->parsed()) {
        if (d.read->get_option("COUNT")->count() == 0)
            return bad(u"units read takes START and COUNT"_s);
        const auto read = readUnitRead(fromStd(g.start), fromStd(g.count));
        if (const auto* refusal = std::get_if<fields::Refusal>(&read))
            return bad(argumentFor(*refusal));
        request.awaits = Request::Awaits::Values;
        request.replyLength = unitReplyLength(std::get<UnitRead>(read).count);
        request.start = std::get<UnitRead>(read).start;
        request.count = std::get<UnitRead>(read).count;
        return unitReadFrame(device, std::get<UnitRead>(read));
    }
    if (g.values.empty())
        return bad(u"units write takes START and 1 to 9 values"_s);
    QStringList values;
    for (const std::string& value : g.values)
        values.append(fromStd(value));
    // The window reads the number a value starts with and takes an empty field for
    // 0; a script that hands over "N/A" or nothing must fail, not zero a unit.
    for (qsizetype i = 0; i < values.size(); ++i)
        if (!fields::readWholeNumber(values[i], 0, std::numeric_limits<int32_t>::max()))
            return bad(u"value %1 takes a number 0..2147483647, not \"%2\""_s.arg(i + 1).arg(
                values[i].left(40)));
    const auto write = readUnitWrite(fromStd(g.start), QString::number(values.size()), values);
    if (const auto* refusal = std::get_if<fields::Refusal>(&write))
        return bad(argumentFor(*refusal));
    return unitWriteFrame(device, g.fixed ? UnitFixedCode : UnitShowNowCode,
                          std::get<UnitWrite>(write));
}

// The schedule option given, if any, into the request's mode and fields.
void readSchedule(const Given& g, const Declared& d, ImageRequest& request) {
    std::string range;
    if (d.daily->count() > 0) {
        request.mode = ScheduleMode::DailyPeriod;
        range = g.daily;
    } else if (d.weekdays->count() > 0) {
        request.mode = ScheduleMode::WeekdayRange;
        range = g.weekdays;
    } else if (!g.dates.empty()) {
        request.mode = ScheduleMode::MonthDates;
        range = g.dates;
    } else {
        return;
    }
    const QStringList sides = fromStd(range).split(u'-');
    request.start = sides.value(0);
    request.end = sides.value(1);
}

std::variant<QByteArray, Stop> imageFrame(const Given& g, const Declared& d, uint8_t device) {
    if (d.text->count() == 0 && g.bmp.empty())
        return bad(u"image takes one of --text TEXT or --bmp FILE"_s);
    ImageRequest request;
    if (d.text->count() > 0) {
        request.text = fromStd(g.text);
        request.family = fromStd(g.font);
        if (d.size->count() > 0)
            request.pointSize = fromStd(g.size).toDouble();
    } else {
        QFile file(fromStd(g.bmp));
        if (!file.open(QIODevice::ReadOnly))
            return bad(u"--bmp: cannot read %1 as a picture"_s.arg(file.fileName()));
        request.picture = file.readAll();
    }
    const QStringList window = fromStd(g.window).split(u',');
    std::copy(window.begin(), window.end(), request.window.begin());
    readSchedule(g, d, request);

    const auto frame = buildImageFrame(device, request);
    if (const auto* refusal = std::get_if<ImageRefusal>(&frame)) {
        if (!refusal->field)
            return bad(u"--bmp: cannot read %1 as a picture"_s.arg(fromStd(g.bmp)));
        return bad(argumentFor(*refusal->field));
    }
    return std::get<QByteArray>(frame);
}

// The frames of a scan are built as it goes; here only the range is read.
std::variant<QByteArray, Stop> scanRange(const Given& g, const Declared& d, Request& request) {
    const auto from = fields::readByte(fromStd(g.from));
    const auto to = fields::readByte(fromStd(g.to));
    if (*from > *to)
        return bad(u"--from and --to take device numbers 0..255, --from not above --to"_s);
    request.awaits = Request::Awaits::Scan;
    request.scanFrom = *from;
    request.scanTo = *to;
    if (d.timeout->count() == 0)
        request.timeoutMs = 60; // a 9-byte reply needs 0.8 ms on the wire
    return QByteArray();
}

std::variant<QByteArray, Stop> frameFor(const CLI::App* command, const Given& g, const Declared& d,
                                        const QDateTime& now, Request& request) {
    const uint8_t device = request.device;
    if (command == d.power)
        return g.state.empty() ? std::variant<QByteArray, Stop>(bad(u"power takes on or off"_s))
                               : powerFrame(device, g.state == "on");
    if (command == d.clock)
        return clockFrame(device, d.at->count() > 0 ? *readLocalTime(fromStd(g.at)) : now);
    if (command == d.clear)
        return clearFrame(device);
    if (command == d.test) {
        request.awaits = Request::Awaits::Device;
        request.replyLength = FindReplyLength;
        return findFrame(device);
    }
    if (command == d.write || command == d.read)
        return unitsFrame(g, d, device, request);
    if (command == d.scan)
        return scanRange(g, d, request);
    return imageFrame(g, d, device);
}

} // namespace

QStringList argumentWords(int argc, const char* const* argv) {
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words.append(decodeKeepingMark(argv[i], QStringDecoder::System));
    return words;
}

std::variant<Request, Stop> parseCommandLine(const QStringList& arguments, const QDateTime& now) {
    CLI::App app{"Sends one request to a sign controller, exactly as the Zarnet window does.",
                 "zarnet-cli"};
    Given g;
    Rules rule;
    Declared d;
    declare(app, g, rule, d);
    if (const auto stop = forgottenValue(app, arguments))
        return *stop;
    if (const auto stop = bracketedWord(app, arguments))
        return *stop;
    if (const auto stop = parse(app, arguments, rule))
        return *stop;
    const CLI::App* command = chosenCommand(app);
    // CLI11 leaves the "--" that ended the options among the words it did not take.
    for (const std::string& extra : app.remaining(true))
        if (extra != "--")
            return leftOver(app, d, command, fromStd(extra));
    if (!command)
        return bad(arguments.contains(u"--"_s) ? u"no command given before \"--\" (see --help)"_s
                                               : u"no command given (see --help)"_s);
    if (command == d.help)
        return Stop{Success, helpFor(app, g.topic)};
    if (command == d.units)
        return bad(u"units takes write or read (see units --help)"_s);
    if (!g.rest.empty())
        return bad(u"%1 takes no further words (see %1 --help)"_s.arg(commandName(command)));

    Request request;
    request.device = *fields::readByte(fromStd(g.device));
    request.timeoutMs = *fields::readWholeNumber(fromStd(g.timeout), 1, 3600000);
    request.port = fromStd(g.port);
    request.dryRun = g.dryRun;
    request.verbose = g.verbose;
    const auto frame = frameFor(command, g, d, now, request);
    if (const auto* stop = std::get_if<Stop>(&frame))
        return *stop;
    request.frame = std::get<QByteArray>(frame);
    return request;
}

} // namespace zarnet::cli
