#include <support/golden.h>
#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <core/frame.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRadioButton>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs zarnet-cli while this test's event loop keeps the virtual controller answering.
Run cli(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(ZARNET_CLI), arguments);
    if (!process.waitForStarted())
        return {};
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < 20000)
        QTest::qWait(5);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QByteArray dryRun(const QStringList& arguments) {
    const Run run = cli(arguments + QStringList{u"--dry-run"_s});
    return QByteArray::fromHex(run.out.trimmed().toLatin1());
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void dryRunFrames_data();
    void dryRunFrames();
    void textImageAsTheWindowSendsIt();
    void badArguments_data();
    void badArguments();
    void testPrintsTheDevice();
    void unitsRoundTrip();
    void silentControllerTimesOut();
    void badReplyFails();
    void portFailures();
    void help();
    void staleBytesAreNotTheAnswer_data();
    void staleBytesAreNotTheAnswer();
    void replyOfTheWrongKindFails_data();
    void replyOfTheWrongKindFails();
    void shortTimeoutDoesNotCutWrites_data();
    void shortTimeoutDoesNotCutWrites();
    void doubleDashEndsTheOptions();
    void quickReadsNeverPrintAnotherUnit();
    void scanFindsEveryControllerOnALine();
    void writesCountOnlyOverAConnectionKept_data();
    void writesCountOnlyOverAConnectionKept();
    void scanTakesGarbageForNoAnswer_data();
    void scanTakesGarbageForNoAnswer();
    void leftoversBeforeTheReplyArePassedOver_data();
    void leftoversBeforeTheReplyArePassedOver();
};

void TestCli::dryRunFrames_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("power on") << QStringList{u"power"_s, u"on"_s} << golden::PowerOn255;
    QTest::newRow("power on 1") << QStringList{u"--device"_s, u"1"_s, u"power"_s, u"on"_s}
                                << golden::PowerOn1;
    QTest::newRow("power off 1") << QStringList{u"power"_s, u"off"_s, u"--device=1"_s}
                                 << golden::PowerOff1;
    QTest::newRow("clear 1") << QStringList{u"clear"_s, u"--device"_s, u"1"_s} << golden::Clear1;
    QTest::newRow("test") << QStringList{u"test"_s} << golden::Find255;
    QTest::newRow("clock") << QStringList{u"--device"_s, u"1"_s, u"clock"_s, u"--at"_s,
                                          u"2026-12-05 20:18:51"_s}
                           << golden::Clock1;
    QTest::newRow("units write") << QStringList{u"units"_s, u"write"_s, u"0"_s, u"1234"_s}
                                 << golden::Units1234ShowNow;
    QTest::newRow("units write fixed")
        << QStringList{u"units"_s, u"write"_s, u"0"_s, u"1234"_s, u"--fixed"_s}
        << golden::Units1234Fixed;
    QTest::newRow("units read") << QStringList{u"units"_s, u"read"_s, u"0"_s, u"1"_s}
                                << golden::UnitRead255From0Count1;
    QTest::newRow("units read 10")
        << QStringList{u"--device"_s, u"1"_s, u"units"_s, u"read"_s, u"0"_s, u"10"_s}
        << golden::UnitRead1From0Count10;
    QTest::newRow("empty text image")
        << QStringList{u"image"_s, u"--text"_s, QString()} << golden::BlackStartUpImage;
    QTest::newRow("X and W aligned as the window does")
        << QStringList{u"image"_s, u"--text"_s, QString(), u"--window"_s, u"193,0,70,16"_s}
        << golden::BlackStartUpImage;
}

void TestCli::dryRunFrames() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, frame);
    QCOMPARE(dryRun(arguments).toHex(' '), frame.toHex(' '));
}

void TestCli::textImageAsTheWindowSendsIt() {
    VirtualController controller;
    FormFixture window;
    window.start(controller.path());
    window.c().dots.timeOptions[1]->click();
    window.click(window.c().dots.drawText);
    window.click(window.c().dots.sendImage);
    QTRY_COMPARE(controller.frames().size(), 1);
    const QByteArray fromCli =
        dryRun({u"image"_s, u"--text"_s, u"生产一线"_s, u"--daily"_s, u"0845-2130"_s});
    QCOMPARE(fromCli.toHex(' '), controller.frames()[0].toHex(' '));
}

void TestCli::badArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");
    QTest::newRow("no command") << QStringList{} << u"no command"_s;
    QTest::newRow("unknown command") << QStringList{u"reboot"_s} << u"reboot"_s;
    QTest::newRow("power maybe") << QStringList{u"power"_s, u"maybe"_s} << u"on or off"_s;
    QTest::newRow("device 256") << QStringList{u"--device"_s, u"256"_s, u"clear"_s}
                                << u"--device"_s;
    QTest::newRow("bad time") << QStringList{u"clock"_s, u"--at"_s, u"2026-13-01 00:00:00"_s}
                              << u"--at"_s;
    QTest::newRow("ten values") << QStringList{u"units"_s, u"write"_s, u"0"_s, u"1"_s, u"2"_s,
                                               u"3"_s,     u"4"_s,     u"5"_s, u"6"_s, u"7"_s,
                                               u"8"_s,     u"9"_s,     u"10"_s}
                                << u"1 to 9 values"_s;
    QTest::newRow("no values") << QStringList{u"units"_s, u"write"_s, u"0"_s} << u"1 to 9 values"_s;
    QTest::newRow("negative value")
        << QStringList{u"units"_s, u"write"_s, u"0"_s, u"-1"_s} << u"value 1"_s;
    QTest::newRow("value 3e9") << QStringList{u"units"_s, u"write"_s, u"0"_s, u"1"_s, u"3e9"_s}
                               << u"value 2"_s;
    QTest::newRow("start 256") << QStringList{u"units"_s, u"read"_s, u"256"_s, u"1"_s}
                               << u"START"_s;
    QTest::newRow("both text and bmp")
        << QStringList{u"image"_s, u"--text"_s, u"a"_s, u"--bmp"_s, u"x.bmp"_s} << u"--bmp"_s;
    QTest::newRow("image too large")
        << QStringList{u"image"_s, u"--text"_s, u"a"_s, u"--window"_s, u"0,0,256,65"_s}
        << u"W/8 x H"_s;
    QTest::newRow("daily 2500 minutes past 4095")
        << QStringList{u"image"_s, u"--text"_s, u"a"_s, u"--daily"_s, u"9999-0000"_s}
        << u"--daily"_s;
    QTest::newRow("two schedules")
        << QStringList{u"image"_s, u"--text"_s, u"a"_s, u"--always"_s, u"--dates"_s, u"1-2"_s}
        << u"excludes --dates"_s;
    // After "--" every word is the command's, options and all.
    QTest::newRow("option after --")
        << QStringList{u"clear"_s, u"--"_s, u"--device"_s, u"7"_s} << u"no further words"_s;
    QTest::newRow("option after values and --")
        << QStringList{u"units"_s, u"write"_s, u"0"_s, u"5"_s, u"--"_s, u"--device"_s, u"7"_s}
        << u"--device"_s;
    QTest::newRow("values in brackets")
        << QStringList{u"units"_s, u"write"_s, u"0"_s, u"5"_s, u"[]"_s, u"7"_s} << u"[]"_s;
    QTest::newRow("option of another command")
        << QStringList{u"power"_s, u"on"_s, u"--fixed"_s} << u"--fixed"_s;
    QTest::newRow("missing value") << QStringList{u"test"_s, u"--port"_s} << u"--port"_s;
    for (const QString& size : {u"NaN"_s, u"nan"_s, u"inf"_s, u"-inf"_s, u"0"_s})
        QTest::addRow("size %s", qPrintable(size))
            << QStringList{u"image"_s, u"--text"_s, u"a"_s, u"--size"_s, size} << u"--size"_s;
    for (const QString& at : {u"-0001-01-01 00:00:00"_s, u"0000-06-01 12:00:00"_s,
                              u"2026-02-30 08:00:00"_s, u"2026-12-07 24:00:00"_s})
        QTest::addRow("at %s", qPrintable(at))
            << QStringList{u"clock"_s, u"--at"_s, at} << u"--at"_s;
    const QString marked = u"\uFEFF7"_s; // a byte-order mark is no digit either
    for (const QString& value : {u"N/A"_s, u"12abc"_s, QString(), u" "_s, u"0x10"_s, marked})
        QTest::addRow("value \"%s\"", qPrintable(value))
            << QStringList{u"units"_s, u"write"_s, u"0"_s, u"5"_s, value} << u"value 2"_s;
    QTest::newRow("marked device")
        << QStringList{u"--device"_s, marked, u"clear"_s} << u"--device"_s;
    static QTemporaryDir dir;
    const QString fifo = dir.filePath(u"fifo.bmp"_s);
    if (!QFileInfo::exists(fifo))
        QVERIFY(::mkfifo(fifo.toLocal8Bit().constData(), 0600) == 0);
    QTest::newRow("bmp is a FIFO") << QStringList{u"image"_s, u"--bmp"_s, fifo} << u"regular"_s;
    QTest::newRow("bmp is a FIFO, dry run")
        << QStringList{u"image"_s, u"--bmp"_s, fifo, u"--dry-run"_s} << u"regular"_s;
    QTest::newRow("bmp is a folder")
        << QStringList{u"image"_s, u"--bmp"_s, dir.path()} << u"regular"_s;
}

void TestCli::badArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    VirtualController controller;
    const Run run = cli(arguments + QStringList{u"--port"_s, controller.path()});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(named), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QTest::qWait(50);
    QVERIFY(controller.received().isEmpty());
}

void TestCli::testPrintsTheDevice() {
    VirtualController controller;
    controller.setAnswering(true);
    controller.setDevice(7);
    const Run run = cli({u"test"_s, u"--device"_s, u"7"_s, u"--port"_s, controller.path()});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, u"7\n"_s);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
}

void TestCli::unitsRoundTrip() {
    VirtualController controller;
    controller.setAnswering(true);
    const QString port = controller.path();
    QCOMPARE(
        cli({u"units"_s, u"write"_s, u"4"_s, u"10"_s, u"99999999"_s, u"12"_s, u"--port"_s, port})
            .exitCode,
        0);
    const Run read =
        cli({u"units"_s, u"read"_s, u"4"_s, u"3"_s, u"--port"_s, port, u"--verbose"_s});
    QCOMPARE(read.exitCode, 0);
    QCOMPARE(read.out, u"10\n99999999\n12\n"_s);
    QVERIFY(read.err.contains(u"> 02 00 0A FF EE 30 04 03"_s));
    QVERIFY(read.err.contains(u"< 02 00 16 EE"_s));
}

void TestCli::silentControllerTimesOut() {
    VirtualController controller;
    QElapsedTimer timer;
    timer.start();
    const Run run = cli({u"test"_s, u"--timeout"_s, u"300"_s, u"--port"_s, controller.path()});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(timer.elapsed() >= 300);
    QVERIFY(run.err.contains(u"no reply within 300 ms"_s));
    QCOMPARE(controller.frames().size(), 1);
}

void TestCli::badReplyFails() {
    VirtualController controller;
    connect(&controller, &VirtualController::frameReceived, &controller,
            [&] { controller.send(QByteArray::fromHex("020009EE0021050003")); });
    qputenv("QT_LOGGING_RULES", "zarnet.*=true"); // the run logs why it dropped the reply
    const Run run = cli({u"test"_s, u"--port"_s, controller.path()});
    qunsetenv("QT_LOGGING_RULES");
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains(u"failed its checks"_s));
    QVERIFY2(run.err.contains(u"zarnet.reply: dropped 9 bytes: bad check byte"_s),
             qPrintable(run.err));
}

void TestCli::portFailures() {
    QTemporaryDir dir;
    const Run missing = cli({u"power"_s, u"on"_s, u"--port"_s, dir.filePath(u"none"_s)});
    QCOMPARE(missing.exitCode, 3);
    QVERIFY(missing.err.contains(u"no such port"_s));

    VirtualController controller;
    QSerialPort holder(controller.path());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    const Run busy = cli({u"power"_s, u"on"_s, u"--port"_s, controller.path()});
    QCOMPARE(busy.exitCode, 3);
    QVERIFY(busy.err.contains(u"in use"_s));
}

void TestCli::help() {
    const Run all = cli({u"--help"_s});
    QCOMPARE(all.exitCode, 0);
    QVERIFY(all.out.contains(u"units write START"_s));
    const Run image = cli({u"image"_s, u"--help"_s});
    QCOMPARE(image.exitCode, 0);
    QVERIFY(image.out.contains(u"Usage: zarnet-cli image"_s));
}

void TestCli::staleBytesAreNotTheAnswer_data() {
    // Bytes already on the line when the CLI opens it: an earlier run's reply.
    QTest::addColumn<QByteArray>("stale");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("printed");
    QTest::newRow("unit 0's value before reading unit 1")
        << VirtualController::unitReply(0, {111})
        << QStringList{u"units"_s, u"read"_s, u"1"_s, u"1"_s} << u"222\n"_s;
    QTest::newRow("unit values before a test")
        << VirtualController::unitReply(0, {111}) << QStringList{u"test"_s} << u"255\n"_s;
    QTest::newRow("device 255 before a test of 7")
        << VirtualController::findReply(255) << QStringList{u"--device"_s, u"7"_s, u"test"_s}
        << u"7\n"_s;
}

void TestCli::staleBytesAreNotTheAnswer() {
    QFETCH(QByteArray, stale);
    QFETCH(QStringList, arguments);
    QFETCH(QString, printed);
    VirtualController controller;
    controller.setAnswering(true);
    const QString port = controller.path();
    QCOMPARE(cli({u"units"_s, u"write"_s, u"0"_s, u"111"_s, u"222"_s, u"--port"_s, port}).exitCode,
             0);
    if (arguments.contains(u"7"_s))
        controller.setDevice(7);
    controller.send(stale);
    const Run run = cli(arguments + QStringList{u"--port"_s, port});
    QCOMPARE(run.out, printed);
    QCOMPARE(run.exitCode, 0);
}

void TestCli::replyOfTheWrongKindFails_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("reason");
    const QStringList read1 = {u"units"_s, u"read"_s, u"1"_s, u"1"_s};
    QTest::newRow("unit reply to a test")
        << QStringList{u"test"_s} << VirtualController::unitReply(0, {5}) << u"not a connection"_s;
    // As long as the read's reply, so that it makes the receive event.
    QTest::newRow("test reply to a read")
        << read1 << VirtualController::reply(FindCode, QByteArray::fromHex("090000000000"))
        << u"not a unit read"_s;
    QTest::newRow("another start unit")
        << read1 << VirtualController::unitReply(0, {5}) << u"from 0, not 1 from 1"_s;
    QTest::newRow("count that is not the request's")
        << read1 << VirtualController::reply(UnitReadCode, QByteArray::fromHex("010200000005"))
        << u"for 2 units from 1"_s;
    QTest::newRow("another device")
        << QStringList{u"--device"_s, u"7"_s, u"test"_s} << VirtualController::findReply(8)
        << u"device 8 answered, not 7"_s;
}

void TestCli::replyOfTheWrongKindFails() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, reply);
    QFETCH(QString, reason);
    VirtualController controller;
    connect(&controller, &VirtualController::frameReceived, &controller,
            [&] { controller.send(reply); });
    const Run run = cli(arguments + QStringList{u"--port"_s, controller.path(), u"--verbose"_s});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(u"failed its checks"_s) && run.err.contains(reason),
             qPrintable(run.err));
}

void TestCli::shortTimeoutDoesNotCutWrites_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("power") << QStringList{u"power"_s, u"off"_s};
    QTest::newRow("clock") << QStringList{u"clock"_s};
    QTest::newRow("clear") << QStringList{u"clear"_s};
    QTest::newRow("units write") << QStringList{u"units"_s, u"write"_s, u"0"_s, u"1"_s, u"2"_s};
    QTest::newRow("largest image")
        << QStringList{u"image"_s, u"--text"_s, u"生产一线"_s, u"--window"_s, u"0,0,256,64"_s};
}

void TestCli::shortTimeoutDoesNotCutWrites() {
    QFETCH(QStringList, arguments);
    VirtualController controller;
    const Run run =
        cli(arguments + QStringList{u"--timeout"_s, u"1"_s, u"--port"_s, controller.path()});
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    QCOMPARE(run.exitCode, 0);
    QTRY_COMPARE(controller.frames().size(), 1);
}

void TestCli::doubleDashEndsTheOptions() {
    auto frame = [](const QStringList& arguments) {
        return QByteArray::fromHex(cli(arguments).out.trimmed().toLatin1()).toHex(' ');
    };
    const QByteArray expected = golden::Units1234ShowNow.toHex(' ');
    QCOMPARE(frame({u"--dry-run"_s, u"units"_s, u"write"_s, u"0"_s, u"--"_s, u"1234"_s}), expected);
    QCOMPARE(frame({u"--dry-run"_s, u"units"_s, u"write"_s, u"0"_s, u"1234"_s, u"--"_s}), expected);
    // After "--" an option is a word: here a value that is no number.
    QCOMPARE(cli({u"--dry-run"_s, u"units"_s, u"write"_s, u"0"_s, u"--"_s, u"--fixed"_s}).exitCode,
             2);
}

void TestCli::quickReadsNeverPrintAnotherUnit() {
    // Runs that give up after 1 ms leave their replies on the line for the next.
    VirtualController controller;
    controller.setAnswering(true);
    const QString port = controller.path();
    QStringList values;
    for (int unit = 0; unit < 9; ++unit)
        values.append(QString::number(1000 + unit));
    QCOMPARE(
        cli(QStringList{u"units"_s, u"write"_s, u"0"_s} + values + QStringList{u"--port"_s, port})
            .exitCode,
        0);
    int printed = 0;
    for (int i = 0; i < 100; ++i) {
        const int unit = (i * 7) % 9;
        QStringList arguments = {u"units"_s, u"read"_s,   QString::number(unit),
                                 u"1"_s,     u"--port"_s, port};
        if (i % 4 != 3)
            arguments += QStringList{u"--timeout"_s, u"1"_s};
        const Run run = cli(arguments);
        QVERIFY2(run.exitCode == 0 || run.exitCode == 1, qPrintable(run.err));
        if (run.exitCode == 0) {
            QCOMPARE(run.out, u"%1\n"_s.arg(1000 + unit));
            ++printed;
        } else {
            QVERIFY(run.out.isEmpty());
        }
    }
    qInfo("%d of 100 reads printed a value", printed);
    QVERIFY(printed >= 25); // at least the reads that waited the full second
}

void TestCli::scanFindsEveryControllerOnALine() {
    // A serial device server with controllers 1, 5 and 9, and two on number 7.
    QProcess board;
    board.start(QStringLiteral(ZARNET_BOARD),
                {u"--headless"_s, u"--listen"_s, u"tcp://127.0.0.1:0"_s, u"--device"_s, u"1,5,9"_s,
                 u"--collide"_s, u"7"_s});
    QVERIFY(board.waitForStarted());
    QString address;
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QString said = QString::fromUtf8(board.readAllStandardOutput());
            const qsizetype at = said.indexOf(u"tcp://"_s);
            if (at >= 0)
                address = said.mid(at).section(u'\n', 0, 0).trimmed();
            return !address.isEmpty();
        },
        10000));
    // A wait per number that a loaded machine keeps, so that no answer comes late.
    const Run scan = cli({u"--port"_s, address, u"scan"_s, u"--from"_s, u"0"_s, u"--to"_s, u"12"_s,
                          u"--timeout"_s, u"250"_s});
    QCOMPARE(scan.exitCode, 0);
    QStringList numbers;
    for (const QString& line : scan.out.split(u'\n', Qt::SkipEmptyParts))
        numbers.append(line.section(u' ', 0, 0) + (line.contains(u"collision"_s) ? u"!"_s : u""_s));
    QCOMPARE(numbers, (QStringList{u"1"_s, u"5"_s, u"7!"_s, u"9"_s}));
    QVERIFY(scan.out.contains(u" ms"_s));
    QCOMPARE(cli({u"--port"_s, address, u"clear"_s}).exitCode, 0); // a write over a kept connection

    const Run none =
        cli({u"--port"_s, address, u"scan"_s, u"--from"_s, u"20"_s, u"--to"_s, u"23"_s});
    QCOMPARE(none.exitCode, 1);
    QVERIFY(none.out.isEmpty());
    QVERIFY2(!none.err.contains(u"hung up"_s), qPrintable(none.err));
    QCOMPARE(cli({u"--port"_s, u"tcp://127.0.0.1"_s, u"scan"_s}).exitCode, 2); // no port

    // Ctrl-C in a long scan: it stops at once and keeps what it found.
    QProcess scanning;
    scanning.start(QStringLiteral(ZARNET_CLI),
                   {u"--port"_s, address, u"scan"_s, u"--timeout"_s, u"200"_s});
    QVERIFY(QTest::qWaitFor([&] { return scanning.bytesAvailable() > 0; }, 10000));
    ::kill(pid_t(scanning.processId()), SIGINT);
    QVERIFY(QTest::qWaitFor([&] { return scanning.state() == QProcess::NotRunning; }, 5000));
    QCOMPARE(scanning.exitCode(), 0);
    QVERIFY(scanning.readAllStandardOutput().startsWith("1  "));
    QVERIFY(scanning.readAllStandardError().contains("scan stopped at device"));
    board.kill();
    board.waitForFinished();
}

void TestCli::writesCountOnlyOverAConnectionKept_data() {
    QTest::addColumn<QString>("write");
    for (const QString& write :
         {u"power off"_s, u"clear"_s, u"units write 0 1"_s, u"image --text a"_s})
        QTest::newRow(qPrintable(write)) << write;
}

void TestCli::writesCountOnlyOverAConnectionKept() {
    QFETCH(QString, write);
    QTcpServer server; // with its client slot taken, a device server accepts and closes at once
    QVERIFY(server.listen(QHostAddress::LocalHost));
    connect(&server, &QTcpServer::newConnection, &server,
            [&] { server.nextPendingConnection()->close(); });
    const Run run =
        cli(write.split(u' ') << u"--port"_s << u"tcp://127.0.0.1:%1"_s.arg(server.serverPort()));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(u"the line hung up"_s), qPrintable(run.err));
}

void TestCli::scanTakesGarbageForNoAnswer_data() {
    // What numbers 0..7 get: n noise, a their answer, s a stray byte and their answer,
    // l the answer of the number before with a stray byte after it, . nothing.
    QTest::addColumn<QString>("line");
    QTest::newRow("a line at another speed") << u"nnnnnnnn"_s;
    QTest::newRow("one answer in the noise") << u"nnnannnn"_s;
    QTest::newRow("one garbled number alone") << u"..n....."_s;
    QTest::newRow("a stray byte before each answer") << u"ssssssss"_s;
    QTest::newRow("late answers with stray bytes") << u"a.l.l.l."_s;
}

void TestCli::scanTakesGarbageForNoAnswer() {
    QFETCH(QString, line);
    VirtualController controller;
    connect(&controller, &VirtualController::frameReceived, &controller, [&](const QByteArray& f) {
        const uint8_t n = FrameView(f).device();
        const QByteArray answer = VirtualController::findReply(n);
        controller.send(line[n] == u'a'   ? answer
                        : line[n] == u's' ? QByteArray(1, '\0') + answer
                        : line[n] == u'l' ? VirtualController::findReply(uint8_t(n - 1)) + '\0'
                                          : QByteArray(line[n] == u'n' ? 10 : 0, '\xF0'));
    });
    const Run run =
        cli({u"--port"_s, controller.path(), u"scan"_s, u"--to=7"_s, u"--timeout=200"_s});
    QCOMPARE(run.exitCode, line.contains(u'a') || line.contains(u's') ? 0 : 1);
    QCOMPARE(run.out.count(u"garbled answer"_s), line.count(u'n'));
    QCOMPARE(run.err.contains(u"the line carries noise"_s), line.count(u'n') > 4);
}

void TestCli::leftoversBeforeTheReplyArePassedOver_data() {
    QTest::addColumn<QByteArray>("leftover"); // 50 ms before the reply to a test of device 7
    QTest::newRow("unit replies, the first torn")
        << VirtualController::unitReply(0, {111}).mid(5) + VirtualController::unitReply(2, {9, 7});
    QTest::newRow("start bytes whose lengths run past the reply") << QByteArray::fromHex("020302");
    QTest::newRow("another device's late answer") << VirtualController::findReply(8);
}

void TestCli::leftoversBeforeTheReplyArePassedOver() {
    QFETCH(QByteArray, leftover);
    VirtualController controller;
    connect(&controller, &VirtualController::frameReceived, &controller, [&] {
        controller.send(leftover);
        controller.sendLater(VirtualController::findReply(7), 50);
    });
    const Run run =
        cli({u"test"_s, u"--device=7"_s, u"--port"_s, controller.path(), u"--verbose"_s});
    QCOMPARE(run.out, u"7\n"_s);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.contains(u"zarnet.reply: dropped"_s));
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
