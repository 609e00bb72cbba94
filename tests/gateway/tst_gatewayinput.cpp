// What the service reads: topics, payloads, its configuration, and the table
// that turns a burst of values into frames.
#include "configcheck.h"
#include <canvas/songfont.h>
#include <cli/commandline.h>

#include <gateway/config.h>
#include <gateway/httprequest.h>
#include <gateway/lease.h>
#include <gateway/linkidentity.h>
#include <gateway/payloads.h>
#include <gateway/reloadplan.h>
#include <gateway/sparkplugpayload.h>
#include <gateway/topics.h>
#include <gateway/unittable.h>
#include <gateway/website.h>
#include <link/portcatalog.h>

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::gateway;

class TestGatewayInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installSongSubstitutions(); }
    void commandTopics_data();
    void commandTopics();
    void unitNames_data();
    void unitNames();
    void unitValues_data();
    void payloadRefusalWords();
    void unitValues();
    void unitBatches_data();
    void unitBatches();
    void powerAndClock_data();
    void powerAndClock();
    void imageRequests_data();
    void imageRequests();
    void imageFrameAsTheCommandLineBuildsIt_data();
    void imageFrameAsTheCommandLineBuildsIt();
    void imageTheWindowRefuses_data();
    void imageTheWindowRefuses();
    void burstEndsWithTheFinalValues();
    void runsAreConsecutiveAndTakenInTurn();
    void valueSetBackWhileOnTheWire();
    void failedRunGoesAgain();
    void configFaults_data();
    void configFaults();
    void configFaultWords();
    void configFindingDetails_data();
    void configFindingDetails();
    void commandRefusalWords();
    void filesReadOnlyWhenRegular_data();
    void filesReadOnlyWhenRegular();
    void configRead();
    void linesGrouped();
    void reloadPlans_data();
    void reloadPlans();
    void webRequests_data();
    void webRequests();
    void leases_data();
    void leases();
    void sparkplugCommands_data();
    void sparkplugCommands();
};

void TestGatewayInput::commandTopics_data() {
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("sign"); // empty: refused
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("unit");
    QTest::newRow("unit") << u"zarnet/line1/units/3/set"_s << u"line1"_s << int(Command::UnitValue)
                          << 3;
    QTest::newRow("unit 255") << u"zarnet/l/units/255/set"_s << u"l"_s << int(Command::UnitValue)
                              << 255;
    QTest::newRow("batch") << u"zarnet/l/units/set"_s << u"l"_s << int(Command::UnitBatch) << 0;
    QTest::newRow("power") << u"zarnet/l/power/set"_s << u"l"_s << int(Command::Power) << 0;
    QTest::newRow("clock") << u"zarnet/l/clock/set"_s << u"l"_s << int(Command::Clock) << 0;
    QTest::newRow("clear") << u"zarnet/l/clear/set"_s << u"l"_s << int(Command::Clear) << 0;
    QTest::newRow("image") << u"zarnet/l/image/set"_s << u"l"_s << int(Command::Image) << 0;
    QTest::newRow("unit 256") << u"zarnet/l/units/256/set"_s << QString() << 0 << 0;
    QTest::newRow("unit 03") << u"zarnet/l/units/03/set"_s << QString() << 0 << 0;
    QTest::newRow("unit empty") << u"zarnet/l/units//set"_s << QString() << 0 << 0;
    QTest::newRow("unit with a line break") << u"zarnet/l/units/12\n/set"_s << QString() << 0 << 0;
    QTest::newRow("unit deeper") << u"zarnet/l/units/1/2/set"_s << QString() << 0 << 0;
    QTest::newRow("prefix alone") << u"zarnet/"_s << QString() << 0 << 0;
    QTest::newRow("unknown") << u"zarnet/l/volume/set"_s << QString() << 0 << 0;
    QTest::newRow("state topic") << u"zarnet/l/units/3"_s << QString() << 0 << 0;
    QTest::newRow("other prefix") << u"other/l/power/set"_s << QString() << 0 << 0;
}

void TestGatewayInput::commandTopics() {
    QFETCH(QString, topic);
    QFETCH(QString, sign);
    QFETCH(int, command);
    QFETCH(int, unit);
    const auto read = readCommandTopic(u"zarnet"_s, topic);
    if (sign.isEmpty()) {
        QVERIFY(std::holds_alternative<CommandRefusal>(read));
        return;
    }
    QVERIFY(std::holds_alternative<CommandTopic>(read));
    QCOMPARE(std::get<CommandTopic>(read).sign, sign);
    QCOMPARE(int(std::get<CommandTopic>(read).command), command);
    QCOMPARE(int(std::get<CommandTopic>(read).unit), unit);
}

// A unit by the name its sign gives it: in a topic, in a batch, and in the
// configuration, where a name is given once.
void TestGatewayInput::unitNames_data() {
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("name"); // empty: refused as a topic
    QTest::newRow("name") << u"zarnet/l/units/plan/set"_s << u"plan"_s;
    QTest::newRow("unit -1 is a name") << u"zarnet/l/units/-1/set"_s << u"-1"_s;
    QTest::newRow("unit x is a name") << u"zarnet/l/units/x/set"_s << u"x"_s;
    QTest::newRow("not a name") << u"zarnet/l/units/pl.an/set"_s << QString();
}

void TestGatewayInput::unitNames() {
    QFETCH(QString, topic);
    QFETCH(QString, name);
    const auto read = readCommandTopic(u"zarnet"_s, topic);
    if (name.isEmpty()) {
        QVERIFY(std::holds_alternative<CommandRefusal>(read));
        return;
    }
    QVERIFY(std::holds_alternative<CommandTopic>(read));
    QCOMPARE(std::get<CommandTopic>(read).unitName, name);

    const auto config = readConfig("[[sign]]\nname = \"l\"\nlink = \"1\"\nunits.7.name = \"" +
                                       name.toUtf8() + "\"\n",
                                   u"z.toml"_s);
    QVERIFY(std::holds_alternative<Config>(config));
    const SignConfig& sign = std::get<Config>(config).signs.first();
    QCOMPARE(sign.unitNamed(name), std::optional<uint8_t>(7));
    const auto batch = readUnitBatch("{\"" + name.toUtf8() + "\": 5, \"2\": 6}",
                                     [&](QStringView n) { return sign.unitNamed(n); });
    using Values = std::map<uint8_t, uint32_t>;
    QCOMPARE(std::get<Values>(batch), (Values{{2, 6}, {7, 5}}));
    const auto unknown =
        readUnitBatch("{\"nope\": 5}", [&](QStringView n) { return sign.unitNamed(n); });
    QCOMPARE(std::get<PayloadRefusal>(unknown).fault, PayloadRefusal::Fault::UnknownUnit);
}

void TestGatewayInput::unitValues_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<qlonglong>("value"); // -1: refused
    QTest::newRow("zero") << QByteArray("0") << 0LL;
    QTest::newRow("largest") << QByteArray("2147483647") << 2147483647LL;
    QTest::newRow("blanks") << QByteArray(" 1520\n") << 1520LL;
    QTest::newRow("top bit") << QByteArray("2147483648") << -1LL;
    QTest::newRow("over") << QByteArray("4294967296") << -1LL;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                   "7")
                                     << -1LL;
    QTest::newRow("negative") << QByteArray("-1") << -1LL;
    QTest::newRow("fraction") << QByteArray("1.5") << -1LL;
    QTest::newRow("exponent") << QByteArray("1e3") << -1LL;
    QTest::newRow("trailing") << QByteArray("12abc") << -1LL;
    QTest::newRow("plus") << QByteArray("+5") << -1LL;
    QTest::newRow("hex") << QByteArray("0x10") << -1LL;
    QTest::newRow("empty") << QByteArray("") << -1LL;
    QTest::newRow("N/A") << QByteArray("N/A") << -1LL;
    QTest::newRow("inner blank") << QByteArray("1 5") << -1LL;
    QTest::newRow("long") << QByteArray(30, '9') << -1LL;
}

// Every refusal has words of its own.
void TestGatewayInput::payloadRefusalWords() {
    QSet<QString> seen;
    for (int f = 0; f <= int(PayloadRefusal::Fault::Image); ++f) {
        PayloadRefusal refusal;
        refusal.fault = PayloadRefusal::Fault(f);
        const QString words = describe(refusal);
        QVERIFY2(!words.isEmpty() && !seen.contains(words), qPrintable(words));
        seen.insert(words);
    }
}

void TestGatewayInput::unitValues() {
    QFETCH(QByteArray, payload);
    QFETCH(qlonglong, value);
    const auto read = readUnitValue(payload);
    if (value < 0)
        QVERIFY(std::holds_alternative<PayloadRefusal>(read));
    else
        QCOMPARE(qlonglong(std::get<uint32_t>(read)), value);
}

void TestGatewayInput::unitBatches_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("values"); // "unit=value,…"; empty: refused
    QTest::newRow("two") << QByteArray(R"({"0": 1520, "3": 97})") << u"0=1520,3=97"_s;
    QTest::newRow("largest") << QByteArray(R"({"255": 2147483647})") << u"255=2147483647"_s;
    QTest::newRow("top bit") << QByteArray(R"({"1": 2147483648})") << QString();
    QTest::newRow("not JSON") << QByteArray("{0: 1}") << QString();
    QTest::newRow("array") << QByteArray("[1, 2]") << QString();
    QTest::newRow("empty object") << QByteArray("{}") << QString();
    QTest::newRow("unit 256") << QByteArray(R"({"256": 1})") << QString();
    QTest::newRow("unit name") << QByteArray(R"({"x": 1})") << QString();
    QTest::newRow("negative") << QByteArray(R"({"1": -1})") << QString();
    QTest::newRow("fraction") << QByteArray(R"({"1": 1.5})") << QString();
    QTest::newRow("too large") << QByteArray(R"({"1": 4294967296})") << QString();
    QTest::newRow("text value") << QByteArray(R"({"1": "12"})") << QString();
    QTest::newRow("null") << QByteArray(R"({"1": null})") << QString();
    // One bad unit refuses the whole batch: nothing of it is sent.
    QTest::newRow("one bad") << QByteArray(R"({"0": 5, "1": "x"})") << QString();
}

void TestGatewayInput::unitBatches() {
    QFETCH(QByteArray, payload);
    QFETCH(QString, values);
    const auto read = readUnitBatch(payload);
    if (values.isEmpty()) {
        QVERIFY(std::holds_alternative<PayloadRefusal>(read));
        return;
    }
    QStringList got;
    for (const auto& [unit, value] : std::get<std::map<uint8_t, uint32_t>>(read))
        got.append(u"%1=%2"_s.arg(unit).arg(value));
    QCOMPARE(got.join(u','), values);
}

void TestGatewayInput::powerAndClock_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("power"); // "on", "off" or "refused"
    QTest::addColumn<QString>("clock"); // "now", yyyy-MM-dd hh:mm:ss or "refused"
    QTest::newRow("on") << QByteArray("on") << u"on"_s << u"refused"_s;
    QTest::newRow("off, newline") << QByteArray("off\n") << u"off"_s << u"refused"_s;
    QTest::newRow("upper case") << QByteArray("ON") << u"refused"_s << u"refused"_s;
    QTest::newRow("one") << QByteArray("1") << u"refused"_s << u"refused"_s;
    QTest::newRow("empty") << QByteArray("") << u"refused"_s << u"now"_s;
    QTest::newRow("a time") << QByteArray("2026-12-07 06:00:05") << u"refused"_s
                            << u"2026-12-07 06:00:05"_s;
    QTest::newRow("no such day") << QByteArray("2026-02-30 00:00:00") << u"refused"_s
                                 << u"refused"_s;
    QTest::newRow("date only") << QByteArray("2026-12-07") << u"refused"_s << u"refused"_s;
    // The controller keeps the year within the century.
    QTest::newRow("1999") << QByteArray("1999-12-31 23:59:59") << u"refused"_s << u"refused"_s;
    QTest::newRow("2100") << QByteArray("2100-01-01 00:00:00") << u"refused"_s << u"refused"_s;
    QTest::newRow("a word") << QByteArray("now") << u"refused"_s << u"refused"_s;
}

void TestGatewayInput::powerAndClock() {
    QFETCH(QByteArray, payload);
    QFETCH(QString, power);
    QFETCH(QString, clock);
    const auto on = readPower(payload);
    QCOMPARE(std::holds_alternative<bool>(on) ? (std::get<bool>(on) ? u"on"_s : u"off"_s)
                                              : u"refused"_s,
             power);
    const auto at = readClock(payload);
    QString read = u"refused"_s;
    if (const auto* time = std::get_if<std::optional<QDateTime>>(&at))
        read = *time ? (*time)->toString(u"yyyy-MM-dd hh:mm:ss"_s) : u"now"_s;
    QCOMPARE(read, clock);
}

void TestGatewayInput::imageRequests_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("expected"); // "refused", or what was read
    QTest::newRow("text") << QByteArray(R"({"text": "生产一线"})") << u"text 192,0,64,16 0"_s;
    QTest::newRow("window numbers")
        << QByteArray(R"({"text": "a", "window": [0, 16, 128, 32]})") << u"text 0,16,128,32 0"_s;
    QTest::newRow("window texts") << QByteArray(R"({"text": "a", "window": ["8", "0", "64", "8"]})")
                                  << u"text 8,0,64,8 0"_s;
    QTest::newRow("daily texts")
        << QByteArray(
               R"({"text": "a", "schedule": {"mode": "daily", "start": "0800", "end": "1730"}})")
        << u"text 192,0,64,16 1 0800-1730"_s;
    QTest::newRow("daily numbers")
        << QByteArray(R"({"text": "a", "schedule": {"mode": "daily", "start": 600, "end": 1730}})")
        << u"text 192,0,64,16 1 0600-1730"_s;
    QTest::newRow("weekdays")
        << QByteArray(R"({"text": "a", "schedule": {"mode": "weekdays", "start": 1, "end": 5}})")
        << u"text 192,0,64,16 2 1-5"_s;
    QTest::newRow("always text") << QByteArray(R"({"text": "a", "schedule": "always"})")
                                 << u"text 192,0,64,16 0"_s;
    QTest::newRow("bmp") << QByteArray(R"({"bmp": "Qk0="})") << u"bmp 192,0,64,16 0"_s;
    QTest::newRow("both") << QByteArray(R"({"text": "a", "bmp": "Qk0="})") << u"refused"_s;
    QTest::newRow("neither") << QByteArray(R"({"window": [0, 0, 8, 8]})") << u"refused"_s;
    QTest::newRow("bad base64") << QByteArray(R"({"bmp": "!!"})") << u"refused"_s;
    QTest::newRow("font with bmp") << QByteArray(R"({"bmp": "Qk0=", "size": 9})") << u"refused"_s;
    QTest::newRow("unknown key") << QByteArray(R"({"text": "a", "colour": 1})") << u"refused"_s;
    QTest::newRow("size zero") << QByteArray(R"({"text": "a", "size": 0})") << u"refused"_s;
    QTest::newRow("size huge") << QByteArray(R"({"text": "a", "size": 1e9})") << u"refused"_s;
    QTest::newRow("window three") << QByteArray(R"({"text": "a", "window": [1, 2, 3]})")
                                  << u"refused"_s;
    QTest::newRow("window null") << QByteArray(R"({"text": "a", "window": [1, 2, 3, null]})")
                                 << u"refused"_s;
    QTest::newRow("mode unknown") << QByteArray(R"({"text": "a", "schedule": {"mode": "hourly"}})")
                                  << u"refused"_s;
    QTest::newRow("schedule text")
        << QByteArray(R"({"text": "a", "schedule": "daily"})") << u"refused"_s;
    QTest::newRow("text number") << QByteArray(R"({"text": 5})") << u"refused"_s;
    QTest::newRow("text too long")
        << R"({"text": ")" + QByteArray(1025, 'a') + R"("})" << u"refused"_s;
    QTest::newRow("not an object") << QByteArray(R"("text")") << u"refused"_s;
}

void TestGatewayInput::imageRequests() {
    QFETCH(QByteArray, payload);
    QFETCH(QString, expected);
    const auto read = readImageRequest(payload);
    if (expected == u"refused") {
        QVERIFY(std::holds_alternative<PayloadRefusal>(read));
        return;
    }
    if (const auto* why = std::get_if<PayloadRefusal>(&read))
        QFAIL(qPrintable(describe(*why)));
    const ImageRequest& r = std::get<ImageRequest>(read);
    QString got = (r.text ? u"text "_s : u"bmp "_s) +
                  QStringList(r.window.begin(), r.window.end()).join(u',') + u' ' +
                  QString::number(int(r.mode));
    if (r.mode != ScheduleMode::Always)
        got += u' ' + r.start + u'-' + r.end;
    QCOMPARE(got, expected);
}

// An image from the broker is the very frame the command line sends for the same words.
void TestGatewayInput::imageFrameAsTheCommandLineBuildsIt_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("default") << QByteArray(R"({"text": "生产一线"})")
                             << QStringList{u"image"_s, u"--text"_s, u"生产一线"_s};
    QTest::newRow("window and daily")
        << QByteArray(R"({"text": "A12", "size": 9, "window": [7, 3, 70, 12],)"
                      R"( "schedule": {"mode": "daily", "start": "0800", "end": "1730"}})")
        << QStringList{u"image"_s,    u"--text"_s,    u"A12"_s,     u"--size"_s,   u"9"_s,
                       u"--window"_s, u"7,3,70,12"_s, u"--daily"_s, u"0800-1730"_s};
}

void TestGatewayInput::imageFrameAsTheCommandLineBuildsIt() {
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, arguments);
    const auto request = readImageRequest(payload);
    const auto frame = buildImageFrame(255, std::get<ImageRequest>(request));
    const auto cli = cli::parseCommandLine(arguments, QDateTime::currentDateTime());
    QVERIFY(std::holds_alternative<cli::Request>(cli));
    QCOMPARE(std::get<QByteArray>(frame), std::get<cli::Request>(cli).frame);
}

// A BMP header that claims 5000 × 5000 dots in 62 bytes.
static QByteArray bmpClaiming(int width, int height) {
    QByteArray bmp(62, '\0');
    auto put = [&bmp](int at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = char(value >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, 62);
    put(10, 62);
    put(14, 40);
    put(18, quint32(width));
    put(22, quint32(height));
    bmp[26] = 1; // planes
    bmp[28] = 1; // bits a dot
    return bmp;
}

// Read fine, but drawn and packed the window would refuse them.
void TestGatewayInput::imageTheWindowRefuses_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("picture claiming 5000 x 5000")
        << R"({"bmp": ")" + bmpClaiming(5000, 5000).toBase64() + R"("})";
    QTest::newRow("not a picture") << QByteArray(R"({"bmp": "Qk0="})");
    QTest::newRow("x 256") << QByteArray(R"({"text": "a", "window": [256, 0, 64, 16]})");
    QTest::newRow("too many bytes") << QByteArray(R"({"text": "a", "window": [0, 0, 256, 255]})");
    QTest::newRow("x a letter") << QByteArray(R"({"text": "a", "window": ["x", 0, 64, 16]})");
    QTest::newRow("daily 9999") << QByteArray(
        R"({"text": "a", "schedule": {"mode": "daily", "start": "9999", "end": "0"}})");
}

void TestGatewayInput::imageTheWindowRefuses() {
    QFETCH(QByteArray, payload);
    const auto request = readImageRequest(payload);
    QVERIFY(std::holds_alternative<ImageRequest>(request));
    const auto frame = buildImageFrame(255, std::get<ImageRequest>(request));
    QVERIFY(std::holds_alternative<ImageRefusal>(frame));
    QVERIFY(!describe(std::get<ImageRefusal>(frame)).isEmpty());
}

// Drains the table as the line would: each run written as soon as it is taken.
static int drain(UnitTable& table, std::map<int, uint32_t>& sign) {
    int frames = 0;
    while (auto run = table.takeRun()) {
        for (qsizetype i = 0; i < run->values.size(); ++i)
            sign[run->start + int(i)] = run->values[i];
        table.written(*run);
        ++frames;
    }
    return frames;
}

void TestGatewayInput::burstEndsWithTheFinalValues() {
    UnitTable table;
    std::map<int, uint32_t> sign;
    std::map<int, uint32_t> last;
    QRandomGenerator random(7);
    int frames = 0;
    for (int i = 0; i < 100000; ++i) {
        const int unit = int(random.bounded(64));
        const uint32_t value = random.generate();
        table.set(uint8_t(unit), value);
        last[unit] = value;
        if (i % 997 == 0) // the line takes one run now and then, mid-burst
            if (auto run = table.takeRun()) {
                for (qsizetype k = 0; k < run->values.size(); ++k)
                    sign[run->start + int(k)] = run->values[k];
                table.written(*run);
                ++frames;
            }
    }
    frames += drain(table, sign);
    QCOMPARE(sign, last);
    // 64 consecutive units need 8 frames at the end; the burst itself a hundred or so.
    QVERIFY2(frames < 120, qPrintable(QString::number(frames)));
    // A value the sign already shows is not sent again.
    table.set(5, last[5]);
    QVERIFY(!table.hasPending());
}

void TestGatewayInput::runsAreConsecutiveAndTakenInTurn() {
    UnitTable table;
    for (int unit : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 200, 255})
        table.set(uint8_t(unit), uint32_t(unit));
    QStringList runs;
    for (int i = 0; i < 5; ++i) {
        const auto run = table.takeRun();
        QVERIFY(run.has_value());
        runs.append(u"%1+%2"_s.arg(run->start).arg(run->values.size()));
        table.written(*run);
        table.set(0, 1000 + uint32_t(runs.size())); // a busy unit does not hold up the rest
    }
    QCOMPARE(runs, (QStringList{u"0+9"_s, u"9+2"_s, u"200+1"_s, u"255+1"_s, u"0+1"_s}));
}

void TestGatewayInput::valueSetBackWhileOnTheWire() {
    UnitTable table;
    table.set(3, 10);
    auto run = table.takeRun();
    table.written(*run);
    table.set(3, 20);
    run = table.takeRun();
    table.set(3, 10); // back to what the sign showed before 20 went out
    QVERIFY(!table.hasPending());
    table.written(*run); // the sign now shows 20, which nobody wants
    run = table.takeRun();
    QVERIFY(run.has_value());
    QCOMPARE(run->values, QList<uint32_t>{10});
}

void TestGatewayInput::failedRunGoesAgain() {
    UnitTable table;
    table.set(1, 5);
    table.set(2, 6);
    auto run = table.takeRun();
    table.set(2, 7);
    table.failed(*run);
    run = table.takeRun();
    QCOMPARE(run->start, uint8_t(1));
    QCOMPARE(run->values, (QList<uint32_t>{5, 7}));
    table.written(*run);
    table.resendAll(); // a controller that restarted gets everything again
    run = table.takeRun();
    QCOMPARE(run->values, (QList<uint32_t>{5, 7}));
}

void TestGatewayInput::configFaults_data() {
    QTest::addColumn<QByteArray>("toml");
    QTest::addColumn<ConfigFault>("fault");
    QTest::addColumn<int>("line");
    const QByteArray sign = "\n[[sign]]\nname = \"l1\"\nlink = \"/dev/ttyS0\"\n";
    QTest::newRow("syntax") << QByteArray("[broker\nurl = 1\n") + sign << ConfigFault::Syntax << 1;
    QTest::newRow("unknown key") << QByteArray("[broker]\nurll = \"mqtt://h\"\n") + sign
                                 << ConfigFault::UnknownKey << 2;
    QTest::newRow("bad url") << QByteArray("[broker]\nurl = \"http://h\"\n") + sign
                             << ConfigFault::UrlForm << 2;
    QTest::newRow("password in url") << QByteArray("[broker]\nurl = \"mqtt://u:secret@h\"\n") + sign
                                     << ConfigFault::UrlWithUser << 2;
    QTest::newRow("ca without tls") << QByteArray("[broker]\nca_file = \"/etc/hostname\"\n") + sign
                                    << ConfigFault::CaWithoutTls << 2;
    QTest::newRow("no sign") << QByteArray("[broker]\n") << ConfigFault::NoSign << 1;
    QTest::newRow("cert without key")
        << QByteArray("[broker]\nurl = \"mqtts://h\"\ncert_file = \"/etc/hostname\"\n") + sign
        << ConfigFault::CertificateHalf << 3;
    QTest::newRow("standby group")
        << QByteArray("[standby]\ngroup = \"hall/2\"\n") + sign << ConfigFault::TopicNameForm << 2;
    QTest::newRow("standby lease")
        << QByteArray("[standby]\ngroup = \"h\"\nlease_seconds = 1\n") + sign
        << ConfigFault::NotWholeNumber << 3;
    QTest::newRow("a sign named like the lease")
        << QByteArray("[standby]\ngroup = \"h\"\n[[sign]]\nname = \"lease\"\nlink = \"1\"\n")
        << ConfigFault::SignNamedLease << 3;
    QTest::newRow("web page beyond loopback without a token")
        << QByteArray("[http]\nlisten = \"0.0.0.0:8080\"\n") + sign << ConfigFault::ListenNeedsToken
        << 2;
    QTest::newRow("web page address")
        << QByteArray("[http]\nlisten = \"localhost\"\n") + sign << ConfigFault::ListenForm << 2;
    QTest::newRow("web token file") << QByteArray("[http]\nlisten = \"127.0.0.1:1\"\n"
                                                  "token_file = \"/nonexistent\"\n") +
                                           sign
                                    << ConfigFault::FileUnreadable << 3;
    QTest::newRow("a unit name twice")
        << sign + "units.1.name = \"plan\"\nunits.2 = { name = \"plan\" }\n"
        << ConfigFault::UnitNameTaken << 6;
    QTest::newRow("a unit name all digits") << sign + "units.1.name = \"12\"\n"
                                            << ConfigFault::UnitNameForm << 5;
    QTest::newRow("a group named like a sign")
        << sign + "[[group]]\nname = \"l1\"\nsigns = [\"l1\"]\n"
        << ConfigFault::GroupNamedLikeSign << 6;
    QTest::newRow("a group without signs") << sign + "[[group]]\nname = \"g\"\nsigns = []\n"
                                           << ConfigFault::GroupSignsMissing << 7;
    QTest::newRow("a configured image with a time")
        << sign + "image = { text = \"a\", for = \"30s\" }\n"
        << ConfigFault::ImageFor << 5;
    QTest::newRow("bad name") << QByteArray("[[sign]]\nname = \"line 1\"\nlink = \"1\"\n")
                              << ConfigFault::NameForm << 2;
    QTest::newRow("twice") << sign + sign << ConfigFault::SignTwice << 6;
    QTest::newRow("device") << sign + "device = 256\n" << ConfigFault::NotWholeNumber << 5;
    QTest::newRow("device text") << sign + "device = \"1\"\n" << ConfigFault::NotWholeNumber << 5;
    QTest::newRow("health") << sign + "health_seconds = 0\n" << ConfigFault::NotWholeNumber << 5;
    QTest::newRow("clock") << sign + "clock_sync = \"25:00\"\n" << ConfigFault::TimeOfDayForm << 5;
    QTest::newRow("no link") << QByteArray("[[sign]]\nname = \"a\"\n") << ConfigFault::LinkForm
                             << 1;
    QTest::newRow("bad tcp") << QByteArray("[[sign]]\nname = \"a\"\nlink = \"tcp://h\"\n")
                             << ConfigFault::LinkAddress << 3;
    QTest::newRow("image") << sign + "image = { text = \"a\", window = [1, 2] }\n"
                           << ConfigFault::ImageRefused << 5;
    QTest::newRow("bmp file") << sign + "image = { bmp_file = \"/nonexistent.bmp\" }\n"
                              << ConfigFault::ImageFile << 5;
    const QByteArray second = "\n[[sign]]\nname = \"l2\"\nlink = \" /dev/ttyS0\"\n";
    QTest::newRow("one link, one device") << sign + "device = 4\n" + second + "device = 4\n"
                                          << ConfigFault::DeviceTwiceOnLine << 7;
    QTest::newRow("one link, devices left out")
        << sign + second << ConfigFault::DeviceTwiceOnLine << 6;
    QTest::newRow("broadcast on a shared link")
        << sign + "device = 4\n" + second << ConfigFault::BroadcastOnSharedLine << 7;
    QTest::newRow("same server, host in capitals")
        << QByteArray("[[sign]]\nname = \"a\"\nlink = \"tcp://Ser1:4001\"\ndevice = 1\n"
                      "[[sign]]\nname = \"b\"\nlink = \"tcp://ser1:4001\"\ndevice = 1\n")
        << ConfigFault::DeviceTwiceOnLine << 5;
    QTest::newRow("line without signs")
        << QByteArray("[[line]]\nlink = \"tcp://ser1:4001\"\n") + sign
        << ConfigFault::LineServesNone << 1;
    QTest::newRow("line twice") << QByteArray("[[line]]\nlink = \"/dev/ttyS0\"\n[[line]]\n"
                                              "link = \"/dev/ttyS0\"\n") +
                                       sign
                                << ConfigFault::LineTwice << 3;
    QTest::newRow("line answer time") << QByteArray("[[line]]\nlink = \"/dev/ttyS0\"\n"
                                                    "response_ms = 0\n") +
                                             sign
                                      << ConfigFault::NotWholeNumber << 3;
    QTest::newRow("line misspelt")
        << QByteArray("[[line]]\nlink = \"/dev/ttyS0\"\ngap = 2\n") + sign
        << ConfigFault::UnknownKey << 3;
    QTest::newRow("password file")
        << QByteArray("[broker]\nusername = \"u\"\npassword_file = \"/nonexistent\"\n") + sign
        << ConfigFault::FileUnreadable << 3;
    const QByteArray modbus = "[modbus]\nlisten = \"127.0.0.1:1502\"\n";
    QTest::newRow("modbus listens on a name")
        << QByteArray("[modbus]\nlisten = \"localhost:1502\"\n") + sign + "modbus_unit = 1\n"
        << ConfigFault::ListenForm << 2;
    QTest::newRow("modbus without a port")
        << QByteArray("[modbus]\nlisten = \"127.0.0.1\"\n") + sign + "modbus_unit = 1\n"
        << ConfigFault::ListenForm << 2;
    QTest::newRow("modbus unit 0") << modbus + sign + "modbus_unit = 0\n"
                                   << ConfigFault::NotWholeNumber << 7;
    QTest::newRow("modbus unit 248") << modbus + sign + "modbus_unit = 248\n"
                                     << ConfigFault::NotWholeNumber << 7;
    QTest::newRow("modbus unit without a listener") << sign + "modbus_unit = 1\n"
                                                    << ConfigFault::ModbusUnitWithoutListener << 5;
    QTest::newRow("modbus unit twice")
        << modbus + sign +
               "modbus_unit = 3\n[[sign]]\nname = \"l2\"\nlink = \"2\"\n"
               "modbus_unit = 3\n"
        << ConfigFault::ModbusUnitTaken << 11;
    QTest::newRow("modbus for no sign") << modbus + sign << ConfigFault::ModbusServesNone << 1;
    QTest::newRow("password from a device")
        << QByteArray("[broker]\nusername = \"u\"\npassword_file = \"/dev/zero\"\n") + sign
        << ConfigFault::FileUnreadable << 3;
    QTest::newRow("bmp from a device") << sign + "image = { bmp_file = \"/dev/zero\" }\n"
                                       << ConfigFault::ImageFile << 5;
    QTest::newRow("image nested deep")
        << sign + "image.text = \"a\"\nimage" + QByteArray(".a").repeated(20000) + " = 1\n"
        << ConfigFault::ImageTooDeep << 5;
    QTest::newRow("prefix with a control character")
        << QByteArray("[broker]\nprefix = \"plant\\u0007\"\n") + sign << ConfigFault::PrefixForm
        << 2;
    QTest::newRow("prefix with NUL") << QByteArray("[broker]\nprefix = \"pl\\u0000ant\"\n") + sign
                                     << ConfigFault::PrefixForm << 2;
    QTest::newRow("client id too long")
        << "[broker]\nclient_id = \"" + QByteArray(70000, 'c') + "\"\n" + sign
        << ConfigFault::ClientIdForm << 2;
    QTest::newRow("client id with a line break")
        << QByteArray("[broker]\nclient_id = \"gw\\n1\"\n") + sign << ConfigFault::ClientIdForm
        << 2;
    // An image the service could not draw is reported beside every other fault.
    QTest::newRow("image beside a bad device")
        << sign + "device = 300\nimage = { text = \"a\", window = [256, 0, 64, 16] }\n"
        << ConfigFault::ImageRefused << 6;
    const QByteArray sparkplug = "[sparkplug]\n";
    QTest::newRow("sparkplug without a group")
        << sparkplug + sign << ConfigFault::TopicNameForm << 1;
    QTest::newRow("sparkplug node with a level")
        << sparkplug + "group_id = \"g\"\nedge_node_id = \"a/b\"\n" + sign
        << ConfigFault::TopicNameForm << 3;
    QTest::newRow("sparkplug beside a unit named power")
        << sparkplug + "group_id = \"g\"\n" + sign + "units.1.name = \"power\"\n"
        << ConfigFault::UnitNamedMetric << 4;
    QTest::newRow("sparkplug node named in a standby pair")
        << "[standby]\ngroup = \"s\"\n" + sparkplug + "group_id = \"g\"\nedge_node_id = \"n\"\n" +
               sign
        << ConfigFault::NodeWithStandby << 5;
    QTest::newRow("sparkplug host with a wildcard")
        << sparkplug + "group_id = \"g\"\nprimary_host = \"#\"\n" + sign
        << ConfigFault::TopicNameForm << 3;
    QTest::newRow("modbus misspelt")
        << QByteArray("[modbus]\nlisten = \"127.0.0.1:1502\"\nport = 502\n") + sign +
               "modbus_unit = 1\n"
        << ConfigFault::UnknownKey << 3;
}

void TestGatewayInput::configFaults() {
    QFETCH(QByteArray, toml);
    QFETCH(ConfigFault, fault);
    QFETCH(int, line);
    const auto read = readConfig(toml, u"z.toml"_s, [](uint8_t device, const ImageRequest& image) {
        const auto frame = drawImageFrame(device, image);
        const auto* why = std::get_if<PayloadRefusal>(&frame);
        return why ? std::optional(*why) : std::nullopt;
    });
    const QString lacking = test::lacksFinding(read, fault, line);
    QVERIFY2(lacking.isEmpty(), qPrintable(lacking));
}

// Every refused command has words of its own.
void TestGatewayInput::commandRefusalWords() {
    QSet<QString> seen;
    for (int f = 0; f <= int(LastRefusalFault); ++f) {
        const QString words = describe(CommandRefusal{CommandRefusal::Fault(f)});
        QVERIFY2(!words.isEmpty() && !seen.contains(words), qPrintable(words));
        seen.insert(words);
    }
}

// A finding carries the names and numbers its words need, in their order.
void TestGatewayInput::configFindingDetails_data() {
    QTest::addColumn<QByteArray>("toml");
    QTest::addColumn<QStringList>("detail");
    const QByteArray sign = "[[sign]]\nname = \"a\"\nlink = \"/dev/ttyS0\"\ndevice = 4\n";
    QTest::newRow("a device twice on a line")
        << sign + "[[sign]]\nname = \"b\"\nlink = \"/dev/ttyS0\"\ndevice = 4\n"
        << QStringList{u"b"_s, u"4"_s, u"a"_s, u"1"_s};
    QTest::newRow("a unit name twice") << sign + "units.1.name = \"p\"\nunits.2.name = \"p\"\n"
                                       << QStringList{u"2"_s, u"p"_s, u"5"_s};
    QTest::newRow("a number out of range") << sign + "health_seconds = 0\n"
                                           << QStringList{u"health_seconds"_s, u"1"_s, u"86400"_s};
}

void TestGatewayInput::configFindingDetails() {
    QFETCH(QByteArray, toml);
    QFETCH(QStringList, detail);
    const auto read = readConfig(toml, u"z.toml"_s);
    const auto* faults = std::get_if<QList<ConfigFinding>>(&read);
    QVERIFY(faults && !faults->isEmpty());
    QCOMPARE(faults->first().detail, detail);
}

// Every configuration fault has words of its own, but for two that say only
// "KEY: why" and differ in their cause: a file's problem, an image's refusal.
void TestGatewayInput::configFaultWords() {
    QSet<QString> seen;
    for (int f = 0; f <= int(LastConfigFault); ++f) {
        const QString words =
            describe(ConfigFinding{ConfigFault(f), 1, {u"a"_s, u"b"_s, u"c"_s, u"d"_s}, {}});
        QVERIFY2(!words.isEmpty() && (!seen.contains(words) || f == int(ConfigFault::ImageRefused)),
                 qPrintable(words));
        seen.insert(words);
    }
}

// A file named in the configuration, or the configuration itself, is read only
// when it is a regular file: nothing waits on a FIFO or reads a device without end.
void TestGatewayInput::filesReadOnlyWhenRegular_data() {
    using Fault = std::optional<FileProblem::Fault>;
    QTest::addColumn<QString>("name");
    QTest::addColumn<Fault>("fault");
    QTest::newRow("device") << u"/dev/zero"_s << Fault(FileProblem::Fault::NotRegular);
    QTest::newRow("FIFO") << u"fifo"_s << Fault(FileProblem::Fault::NotRegular);
    QTest::newRow("missing") << u"missing"_s << Fault(FileProblem::Fault::Missing);
    QTest::newRow("too large") << u"large"_s << Fault(FileProblem::Fault::TooLarge);
    QTest::newRow("no name") << QString() << Fault(FileProblem::Fault::NoName);
    QTest::newRow("small") << u"small"_s << Fault();
}

void TestGatewayInput::filesReadOnlyWhenRegular() {
    QFETCH(QString, name);
    QFETCH(std::optional<FileProblem::Fault>, fault);
    QTemporaryDir dir;
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(u"fifo"_s)).constData(), 0600) == 0);
    for (const auto& [file, bytes] : {std::pair{u"large"_s, "12345"}, {u"small"_s, "1234"}}) {
        QFile out(dir.filePath(file));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) > 0);
    }
    const auto read =
        readRegularFile(name.isEmpty() || name.startsWith(u'/') ? name : dir.filePath(name), 4);
    if (!fault)
        QCOMPARE(std::get<QByteArray>(read), QByteArray("1234"));
    else
        QCOMPARE(std::get<FileProblem>(read).fault, *fault);
}

void TestGatewayInput::configRead() {
    QTemporaryDir dir;
    QFile secret(dir.filePath(u"secret"_s));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("s3cret\n");
    secret.close();
    secret.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const QByteArray toml = "[broker]\nurl = \"mqtt://127.0.0.1:1884\"\nclient_id = \"gw\"\n"
                            "username = \"zarnet\"\npassword_file = \"" +
                            secret.fileName().toUtf8() +
                            "\"\nprefix = \"plant/hall2\"\n\n"
                            "[modbus]\nlisten = \"[::1]:1502\"\n\n"
                            "[[sign]]\nname = \"line1\"\nlink = \"tcp://127.0.0.1:4001\"\n"
                            "device = 3\nhealth_seconds = 5\nclock_sync = \"06:00\"\n"
                            "modbus_unit = 7\n"
                            "power = { on = \"06:00\", off = \"22:00\", days = \"mon-sat\" }\n"
                            "image = { text = \"生产一线\", schedule = { mode = \"daily\", "
                            "start = \"0800\", end = \"1700\" } }\n"
                            "[[sign]]\nname = \"line2\"\nlink = \"2\"\n";
    const auto read = readConfig(toml, u"z.toml"_s);
    if (const auto* faults = std::get_if<QList<ConfigFinding>>(&read))
        QFAIL(qPrintable(describe(*faults, u"z.toml"_s).join(u'\n')));
    const Config& config = std::get<Config>(read);
    QCOMPARE(config.broker.port, uint16_t(1884));
    QCOMPARE(config.broker.password, u"s3cret"_s);
    QCOMPARE(config.broker.prefix, u"plant/hall2"_s);
    QCOMPARE(config.signs.size(), 2);
    QCOMPARE(config.signs[0].device, uint8_t(3));
    QCOMPARE(*config.signs[0].clockSync, QTime(6, 0));
    QCOMPARE(config.signs[1].device, uint8_t(255)); // the defaults
    QCOMPARE(config.signs[1].healthSeconds, 30);
    QCOMPARE(config.modbus->host, u"::1"_s);
    QCOMPARE(config.modbus->port, uint16_t(1502));
    QCOMPARE(config.signs[0].modbusUnit, std::optional<uint8_t>(7));
    QCOMPARE(config.signs[1].modbusUnit, std::nullopt);
    QCOMPARE(config.signs[0].image->request.start, u"0800"_s);
    // What --check-config prints never carries the secret.
    const QString described = describe(config);
    QVERIFY(described.contains(u"password (set)"_s));
    QVERIFY(described.contains(u"Modbus TCP on [::1]:1502"_s));
    QVERIFY(described.contains(u"Modbus unit 7"_s));
    QVERIFY(described.contains(u"off at 22:00 on mon,tue,wed,thu,fri,sat"_s));
    QVERIFY(!described.contains(u"s3cret"_s));
    // A secret everyone may read is taken, with a word about it at its line.
    QCOMPARE(config.warnings.size(), 1);
    QCOMPARE(config.warnings[0].fault, ConfigFault::ReadableByAll);
    QCOMPARE(config.warnings[0].line, 5);
}

// Signs whose links name one device share a line, with its [[line]] settings if given.
void TestGatewayInput::linesGrouped() {
    QTemporaryDir dir;
    const QString device = dir.filePath(u"ttyS9"_s);
    QFile(device).open(QIODevice::WriteOnly);
    QVERIFY(QFile::link(device, dir.filePath(u"press-bus"_s)));
    const QByteArray toml = "[[line]]\nlink = \"" + dir.filePath(u"press-bus"_s).toUtf8() +
                            "\"\nresponse_ms = 80\ngap_ms = 3\n"
                            "[[sign]]\nname = \"a\"\nlink = \"" +
                            device.toUtf8() +
                            "\"\ndevice = 1\n[[sign]]\nname = \"b\"\nlink = \"9\"\ndevice = 2\n"
                            "[[sign]]\nname = \"c\"\nlink = \"tcp://[::1]:4001\"\n";
    class NinthPort : public PortCatalog {
    public:
        explicit NinthPort(QString path) : path_(std::move(path)) {}
        std::optional<QString> device(const QString& text) const override {
            return text == u"9" ? std::optional(path_) : std::optional(text);
        }
        QString path_;
    } ports(device);
    const auto read = readConfig(toml, u"z.toml"_s, {},
                                 [&](const QString& link) { return systemLink(link, ports); });
    if (const auto* faults = std::get_if<QList<ConfigFinding>>(&read))
        QFAIL(qPrintable(describe(*faults, u"z.toml"_s).join(u'\n')));
    const QList<LineConfig>& lines = std::get<Config>(read).lines;
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0].signs, (QStringList{u"a"_s, u"b"_s}));
    QCOMPARE(lines[0].responseMs, 80);
    QCOMPARE(lines[0].gapMs, 3);
    QCOMPARE(lines[1].signs, QStringList{u"c"_s});
    QCOMPARE(lines[1].responseMs, 2000); // alone, with no [[line]]: as it always waited
    QVERIFY(describe(std::get<Config>(read)).contains(u"80 ms"_s));
}

void TestGatewayInput::reloadPlans_data() {
    QTest::addColumn<QByteArray>("next");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QStringList>("restarted");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("linesClosed");
    QTest::addColumn<QStringList>("linesOpened");
    QTest::addColumn<bool>("broker");
    // The running file: signs a and b share bus1, c is alone on bus2.
    const QByteArray a = "[[sign]]\nname = \"a\"\nlink = \"tcp://h:1\"\ndevice = 1\n";
    const QByteArray b = "[[sign]]\nname = \"b\"\nlink = \"tcp://h:1\"\ndevice = 2\n";
    const QByteArray c = "[[sign]]\nname = \"c\"\nlink = \"tcp://h:2\"\n";
    const QStringList none;
    const QStringList bus1{u"tcp://h:1"_s};
    QTest::newRow("only comments and order")
        << "# hall 2\n" + c + b + a << none << none << none << none << none << false;
    QTest::newRow("a setting of one sign")
        << a + b + c + "health_seconds = 9\n"
        << none << QStringList{u"c"_s} << none << none << none << false;
    QTest::newRow("a sign gone, one new on its line")
        << a + c + "[[sign]]\nname = \"d\"\nlink = \"tcp://h:1\"\ndevice = 4\n"
        << QStringList{u"b"_s} << none << QStringList{u"d"_s} << none << none << false;
    QTest::newRow("the line's settings: its signs stay")
        << "[[line]]\nlink = \"tcp://h:1\"\ngap_ms = 5\n" + a + b + c << none << none << none
        << bus1 << bus1 << false;
    // Alone on its line, a waits as long as a sign alone does: its line changed too.
    QTest::newRow("a sign moved to another line")
        << a + c + "[[sign]]\nname = \"b\"\nlink = \"tcp://h:3\"\ndevice = 2\n"
        << none << QStringList{u"b"_s} << none << bus1
        << QStringList{u"tcp://h:1"_s, u"tcp://h:3"_s} << false;
    QTest::newRow("the broker") << "[broker]\nclient_id = \"other\"\n" + a + b + c << none << none
                                << none << none << none << true;
}

// What a new file changes in a running service, and what it leaves alone.
void TestGatewayInput::reloadPlans() {
    QFETCH(QByteArray, next);
    const auto read = [](const QByteArray& body) {
        // A [broker] table of the row's own replaces the running one.
        const QByteArray broker =
            body.startsWith("[broker]") ? QByteArray() : "[broker]\nclient_id = \"z\"\n";
        const auto config = readConfig(broker + body, u"z.toml"_s);
        if (const auto* faults = std::get_if<QList<ConfigFinding>>(&config))
            qWarning() << describe(*faults, u"z.toml"_s);
        return withOwnLines(std::get<Config>(config));
    };
    const ReloadPlan plan =
        planReload(read("[[sign]]\nname = \"a\"\nlink = \"tcp://h:1\"\ndevice = 1\n"
                        "[[sign]]\nname = \"b\"\nlink = \"tcp://h:1\"\ndevice = 2\n"
                        "[[sign]]\nname = \"c\"\nlink = \"tcp://h:2\"\n"),
                   read(next));
    QTEST(plan.removed, "removed");
    QTEST(plan.restarted, "restarted");
    QTEST(plan.added, "added");
    const auto links = [](const QList<LineConfig>& lines) {
        QStringList out;
        for (const LineConfig& line : lines)
            out.append(line.link);
        return out;
    };
    QTEST(links(plan.linesClosed), "linesClosed");
    QTEST(links(plan.linesOpened), "linesOpened");
    QTEST(plan.broker, "broker");
}

void TestGatewayInput::leases_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("owner"); // empty: vacant
    QTest::addColumn<quint64>("epoch");
    QTest::newRow("cleared: vacant") << QByteArray() << true << QString() << quint64(0);
    QTest::newRow("held") << leasePayload({u"gw1"_s, 7, 2, false}, QDateTime::currentDateTime())
                          << true << u"gw1"_s << quint64(7);
    QTest::newRow("released") << QByteArray(R"({"owner": "", "epoch": 8})") << true << QString()
                              << quint64(8);
    QTest::newRow("not JSON") << QByteArray("owner") << false << QString() << quint64(0);
    QTest::newRow("no epoch") << QByteArray(R"({"owner": "gw1"})") << false << QString()
                              << quint64(0);
    QTest::newRow("epoch below 0")
        << QByteArray(R"({"owner": "gw1", "epoch": -1})") << false << QString() << quint64(0);
    QTest::newRow("epoch not whole")
        << QByteArray(R"({"owner": "gw1", "epoch": 1.5})") << false << QString() << quint64(0);
}

// A lease as another gateway publishes it, and one nobody can rely on.
void TestGatewayInput::leases() {
    QFETCH(QByteArray, payload);
    const auto lease = readLease(payload);
    QTEST(lease.has_value(), "readable");
    if (!lease)
        return;
    QTEST(lease->owner, "owner");
    QTEST(lease->epoch, "epoch");
}

// What a web client asks: only whole GET and HEAD heads, the token from wherever
// it came, and the page's language.
void TestGatewayInput::webRequests_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("fault"); // HttpFault, or -1 when read
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("language");
    const int read = -1;
    QTest::newRow("plain") << QByteArray("GET /api/signs HTTP/1.1\r\nHost: h\r\n\r\n") << read
                           << u"/api/signs"_s << QString() << QByteArray("zh");
    QTest::newRow("not yet whole")
        << QByteArray("GET / HTTP/1.1\r\nHost: h\r\n") << int(HttpFault::Incomplete) << QString()
        << QString() << QByteArray();
    QTest::newRow("bare line feeds")
        << QByteArray("GET / HTTP/1.1\nHost: h\r\n\r\n") << int(HttpFault::Malformed) << QString()
        << QString() << QByteArray();
    QTest::newRow("control character in a value")
        << QByteArray("GET / HTTP/1.1\r\nX: a\x01b\r\n\r\n") << int(HttpFault::Malformed)
        << QString() << QString() << QByteArray();
    QTest::newRow("HEAD, token in the query, decoded path")
        << QByteArray("HEAD /api/signs/hall%202?token=a+b%2F HTTP/1.0\r\n"
                      "Authorization: Bearer other\r\n\r\n")
        << read << u"/api/signs/hall 2"_s << u"a+b/"_s << QByteArray("zh");
    QTest::newRow("bearer before cookie, English preferred")
        << QByteArray("GET / HTTP/1.1\r\nCookie: zarnet_token=c\r\nAuthorization: Bearer b\r\n"
                      "Accept-Language: zh-CN;q=0.5, en-GB\r\n\r\n")
        << read << u"/"_s << u"b"_s << QByteArray("en");
    QTest::newRow("cookie, Chinese preferred")
        << QByteArray("GET / HTTP/1.1\r\nCookie: x=1; zarnet_token=c\r\n"
                      "Accept-Language: en;q=0.8,zh-TW\r\n\r\n")
        << read << u"/"_s << u"c"_s << QByteArray("zh");
    QTest::newRow("neither language") << QByteArray("GET / HTTP/1.1\r\nAccept-Language: de\r\n\r\n")
                                      << read << u"/"_s << QString() << QByteArray("zh");
    QTest::newRow("a form with a body")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\n") << int(HttpFault::NotAllowed)
        << QString() << QString() << QByteArray();
    QTest::newRow("folded header")
        << QByteArray("GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n") << int(HttpFault::Malformed)
        << QString() << QString() << QByteArray();
    QTest::newRow("line break in the token")
        << QByteArray("GET /?token=a%0D%0ASet-Cookie:%20x=1 HTTP/1.1\r\n\r\n")
        << int(HttpFault::Malformed) << QString() << QString() << QByteArray();
    QTest::newRow("encoded climb")
        << QByteArray("GET /api/%2e%2e/x HTTP/1.1\r\n\r\n") << int(HttpFault::Malformed)
        << QString() << QString() << QByteArray();
}

void TestGatewayInput::webRequests() {
    QFETCH(QByteArray, head);
    QFETCH(int, fault);
    QFETCH(QString, path);
    QFETCH(QString, token);
    QFETCH(QByteArray, language);
    const auto request = readHttpRequest(head);
    if (fault >= 0) {
        QVERIFY(std::holds_alternative<HttpFault>(request));
        QCOMPARE(int(std::get<HttpFault>(request)), fault);
        return;
    }
    QVERIFY(std::holds_alternative<HttpRequest>(request));
    const HttpRequest& r = std::get<HttpRequest>(request);
    QCOMPARE(r.path, path);
    QCOMPARE(r.token, token);
    QCOMPARE(r.head, head.startsWith("HEAD"));
    QCOMPARE(r.size, head.size());
    QCOMPARE(pageLanguage(r.acceptLanguage), language);
}

// Payloads as a host's own protobuf library encodes them, read as "NAME = VALUE"
// (#ALIAS where only the alias is given), or the fault.
void TestGatewayInput::sparkplugCommands_data() {
    using sparkplug::CommandFault;
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QVariant>("read"); // a QString, or the CommandFault
    const QByteArray unnamed = QByteArray::fromHex("120420075001");
    QTest::newRow("Int32 keeps its sign")
        << QByteArray::fromHex("120e0a04706c616e200350fbffffff0f") << QVariant(u"plan = -5"_s);
    QTest::newRow("by alias") << QByteArray::fromHex("120910818004200750f00b")
                              << QVariant(u"#65537 = 1520"_s);
    QTest::newRow("a float is no value here")
        << QByteArray::fromHex("120a0a01782009650000c03f") << QVariant(u"x = null"_s);
    QTest::newRow("UTF-8") << QByteArray::fromHex("120a0a0174200c7a0368c3a9")
                           << QVariant(u"t = hé"_s);
    QTest::newRow("empty") << QByteArray() << QVariant::fromValue(CommandFault::NoMetrics);
    QTest::newRow("cut short") << QByteArray::fromHex("120e0a04706c")
                               << QVariant::fromValue(CommandFault::Unreadable);
    QTest::newRow("unnamed") << unnamed << QVariant::fromValue(CommandFault::Unnamed);
    QTest::newRow("empty name") << QByteArray::fromHex("1206200750010a00")
                                << QVariant::fromValue(CommandFault::Unnamed);
    QTest::newRow("too many") << unnamed.repeated(sparkplug::MaxCommandMetrics + 1)
                              << QVariant::fromValue(CommandFault::TooManyMetrics);
}

namespace {
struct Printed {
    QString operator()(std::monostate) const { return u"null"_s; }
    QString operator()(const QString& text) const { return text; }
    QString operator()(auto number) const { return QString::number(number); }
};
} // namespace

void TestGatewayInput::sparkplugCommands() {
    QFETCH(QByteArray, payload);
    QFETCH(QVariant, read);
    const auto writes = sparkplug::readCommand(payload);
    if (const auto* fault = std::get_if<sparkplug::CommandFault>(&writes)) {
        QCOMPARE(QVariant::fromValue(*fault), read);
        return;
    }
    QStringList said;
    for (const sparkplug::Write& w : std::get<std::vector<sparkplug::Write>>(writes))
        said << (w.name.isEmpty() ? u"#%1"_s.arg(*w.alias) : w.name) + u" = "_s +
                    std::visit(Printed(), w.value);
    QCOMPARE(QVariant(said.join(u", "_s)), read);
}

QTEST_MAIN(TestGatewayInput)
#include "tst_gatewayinput.moc"
