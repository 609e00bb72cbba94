#include <support/resident.h>

#include <board/boardline.h>
#include <core/board.h>
#include <core/frame.h>
#include <core/framecutter.h>
#include <core/requests.h>
#include <core/unitframes.h>
#include <link/pseudoterminal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace zarnet;

// The virtual controller on its line: it never waits for the far end, floods do
// not grow it, a hung-up device is reopened without spinning, and options it
// cannot honour are refused.
class TestBoardLine : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void unreadRepliesNeverStopIt();
    void floodOfStartBytes_data();
    void floodOfStartBytes();
    void cutterStaysSmallUnderAFlood();
    void hungUpDeviceIsReopenedQuietly();
    void oneClientAtATime();
    void refusedOptions_data();
    void refusedOptions();
    void pacedLineTakesItsTime_data();
    void pacedLineTakesItsTime();
    void mutedControllerStaysSilent();
    void muteFromStandardInput();

private:
    // The program's end of the line, opened the way a program opens it.
    int openFarEnd(const QString& path);
    // Writes everything, letting the board read meanwhile; false after `ms`.
    bool writeAll(int fd, const QByteArray& bytes, int ms = 60000);

    std::unique_ptr<Board> board;
    std::unique_ptr<BoardLine> line;
    QStringList log;
    int farEnd = -1;
};

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

void TestBoardLine::init() {
    board = std::make_unique<Board>();
    line = std::make_unique<BoardLine>(*board);
    connect(line.get(), &BoardLine::logged, this, [this](const QString& text) {
        if (log.size() < 100000)
            log.append(text);
    });
}

void TestBoardLine::cleanup() {
    if (farEnd >= 0)
        ::close(farEnd);
    farEnd = -1;
    line.reset();
    board.reset();
    log.clear();
}

int TestBoardLine::openFarEnd(const QString& path) {
    farEnd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    return farEnd;
}

bool TestBoardLine::writeAll(int fd, const QByteArray& bytes, int ms) {
    QElapsedTimer timer;
    timer.start();
    qsizetype done = 0;
    while (done < bytes.size() && timer.elapsed() < ms) {
        const auto n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done == bytes.size();
}

void TestBoardLine::unreadRepliesNeverStopIt() {
    const QString path = line->openPseudoTerminal();
    QVERIFY(openFarEnd(path) >= 0);
    // 100 replies of 1030 bytes each, and nobody reads them.
    const QByteArray read255 = unitReadFrame(255, UnitRead{0, 255});
    QVERIFY(writeAll(farEnd, read255.repeated(100)));
    QVERIFY(writeAll(farEnd, powerFrame(255, false)));
    QTRY_VERIFY(!board->powered());
    QVERIFY(log.filter(u"dropped: nobody reads the line"_s).size() > 0);
}

void TestBoardLine::floodOfStartBytes_data() {
    QTest::addColumn<QByteArray>("flood");
    QTest::newRow("start bytes") << QByteArray(4500000, char(StartByte));
    QTest::newRow("start and length of a whole image")
        << QByteArray::fromHex("020810").repeated(1500000);
}

void TestBoardLine::floodOfStartBytes() {
    QFETCH(QByteArray, flood);
    const QString path = line->openPseudoTerminal();
    QVERIFY(openFarEnd(path) >= 0);
    const long before = test::residentKiB();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(writeAll(farEnd, flood));
    // The flood ends; the next frame is answered.
    QVERIFY(writeAll(farEnd, QByteArray(FrameCutter::MaxLength, '\0') + powerFrame(255, false)));
    QTRY_VERIFY_WITH_TIMEOUT(!board->powered(), 10000);
    qInfo("%lld bytes in %lld ms, %lld log lines", qlonglong(flood.size()), timer.elapsed(),
          qlonglong(log.size()));
    if (test::ResidentSizeMeaningful)
        QVERIFY(test::residentKiB() - before < 100 * 1024);
    QVERIFY(log.size() < 5000);
}

void TestBoardLine::cutterStaysSmallUnderAFlood() {
    FrameCutter cutter;
    qsizetype pieces = 0;
    for (int i = 0; i < 70; ++i) {
        for (const auto& piece : cutter.feed(QByteArray(64 * 1024, char(StartByte)))) {
            QVERIFY(!piece.isFrame);
            QVERIFY(piece.bytes.size() <= FrameCutter::KeptOfRejected);
            ++pieces;
        }
        QVERIFY(cutter.pending() < FrameCutter::MaxLength);
    }
    QVERIFY2(pieces <= 70, qPrintable(QString::number(pieces)));
    const QByteArray power = powerFrame(255, true);
    const auto cut = cutter.feed(QByteArray(FrameCutter::MaxLength, '\0') + power);
    QVERIFY(!cut.isEmpty());
    QCOMPARE(cut.last().bytes, power);
    QCOMPARE(cut.last().size, power.size());
}

void TestBoardLine::hungUpDeviceIsReopenedQuietly() {
    auto pty = std::make_unique<PseudoTerminal>();
    QString error;
    QVERIFY2(line->openDevice(pty->slavePath(), &error), qPrintable(error));
    pty->hangUp(); // the far end is gone
    QTRY_VERIFY(!log.filter(u"hung up"_s).isEmpty());
    const double cpuBefore = cpuSeconds();
    QTest::qWait(1500);
    const double spent = cpuSeconds() - cpuBefore;
    QVERIFY2(spent < 0.5, qPrintable(u"%1 s of CPU while hung up"_s.arg(spent)));
    QCOMPARE(log.filter(u"hung up"_s).size(), 1);
}

void TestBoardLine::oneClientAtATime() {
    QString error;
    const QString address = line->listen(u"127.0.0.1"_s, 0, &error);
    QVERIFY2(address.startsWith(u"tcp://127.0.0.1:"_s), qPrintable(error));
    const quint16 port = quint16(address.section(u':', -1).toUInt());
    QTcpSocket first;
    first.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(first.waitForConnected(5000));
    QTRY_VERIFY(!log.filter(u"connected"_s).isEmpty());
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, port);
    QTRY_COMPARE(second.state(), QAbstractSocket::UnconnectedState); // closed at once
    QVERIFY(!log.filter(u"second connection"_s).isEmpty());
    first.write(powerFrame(255, false)); // the first is still served
    QTRY_VERIFY(!board->powered());
}

void TestBoardLine::refusedOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");
    QTest::newRow("png folder missing")
        << QStringList{u"--png"_s, u"/nonexistent/zarnet/panel.png"_s} << u"--png"_s;
    QTest::newRow("png under a file")
        << QStringList{u"--png"_s, u"/dev/null/panel.png"_s} << u"--png"_s;
    QTest::newRow("panel too wide") << QStringList{u"--panel"_s, u"2297x64"_s} << u"--panel"_s;
    QTest::newRow("panel too tall") << QStringList{u"--panel"_s, u"256x511"_s} << u"--panel"_s;
    QTest::newRow("the later of two values")
        << QStringList{u"--panel"_s, u"256x64"_s, u"--panel"_s, u"0x0"_s} << u"--panel"_s;
    QTest::newRow("two devices") << QStringList{u"/dev/null"_s, u"/dev/zero"_s} << u"/dev/zero"_s;
    QTest::newRow("unknown option") << QStringList{u"--pannel"_s, u"8x8"_s} << u"--pannel"_s;
}

void TestBoardLine::refusedOptions() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    QProcess process;
    process.start(QStringLiteral(ZARNET_BOARD), arguments + QStringList{u"--headless"_s});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(named));
}

void TestBoardLine::pacedLineTakesItsTime_data() {
    QTest::addColumn<bool>("paced");
    QTest::newRow("paced") << true;
    QTest::newRow("as fast as it comes") << false;
}

// 2304 bytes take 200 ms at 115200 baud.
void TestBoardLine::pacedLineTakesItsTime() {
    QFETCH(bool, paced);
    line->setPaced(paced);
    QVERIFY(openFarEnd(line->openPseudoTerminal()) >= 0);
    const QByteArray frames = powerFrame(255, false).repeated(256);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(writeAll(farEnd, frames));
    QTRY_COMPARE_WITH_TIMEOUT(log.filter(u"power off"_s).size(), 256, 5000);
    const qint64 ms = timer.elapsed();
    QVERIFY2(paced ? ms >= 180 : ms < 150, qPrintable(u"%1 ms"_s.arg(ms)));
}

// A muted controller takes nothing and answers nothing; unmuted, it answers again.
void TestBoardLine::mutedControllerStaysSilent() {
    Board one(1), two(2);
    BoardLine bus(QList<Board*>{&one, &two});
    QVERIFY(openFarEnd(bus.openPseudoTerminal()) >= 0);
    auto answers = [&](uint8_t device) {
        char buffer[64];
        while (::read(farEnd, buffer, sizeof buffer) > 0) {
        }
        if (!writeAll(farEnd, findFrame(device)))
            return false;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 300) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (::read(farEnd, buffer, sizeof buffer) > 0)
                return true;
        }
        return false;
    };
    bus.setMuted(2, true);
    QVERIFY(answers(1));
    QVERIFY(!answers(2));
    QVERIFY(writeAll(farEnd, powerFrame(2, false)));
    QTest::qWait(100);
    QVERIFY(two.powered()); // it took nothing
    bus.setMuted(2, false);
    QVERIFY(answers(2));
}

void TestBoardLine::muteFromStandardInput() {
    QProcess process;
    process.start(QStringLiteral(ZARNET_BOARD), {u"--headless"_s, u"--device"_s, u"1,2"_s});
    QVERIFY(process.waitForStarted(5000));
    process.write("mute 2\nunmute\n");
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT(
        (out += process.readAllStandardOutput()).contains("controller 2 muted"), 5000);
    QByteArray errors;
    QTRY_VERIFY((errors += process.readAllStandardError()).contains("give \"mute N\""));
    process.kill();
    process.waitForFinished(5000);
}

QTEST_GUILESS_MAIN(TestBoardLine)
#include "tst_boardline.moc"
