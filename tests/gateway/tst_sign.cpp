// One sign on its line against a controller on a pseudo-terminal: what goes out,
// and what the sign's state says, when the line misbehaves.
#include <gateway/commandqueue.h>
#include <gateway/gateway.h>
#include <gateway/line.h>
#include <gateway/sign.h>
#include <link/portcatalog.h>
#include <support/virtualcontroller.h>

#include <canvas/songfont.h>
#include <core/frame.h>
#include <core/imageframe.h>

#include <QtTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::gateway;
using Kind = CommandQueue::Kind;

namespace {

class PathCatalog : public PortCatalog {
public:
    std::optional<QString> device(const QString& text) const override { return text; }
};

SignConfig signOn(const QString& path) {
    SignConfig config;
    config.name = u"l1"_s;
    config.link = path;
    config.healthSeconds = 1;
    return config;
}

// A sign alone on its line.
struct Alone {
    Alone(const SignConfig& config, const PortCatalog& ports, const PlantClock& clock)
        : line(LineConfig{config.link, 150, 1, {config.name}, 0, config.link}, ports),
          sign(config, clock) {
        line.add(sign);
    }
    void start() {
        sign.start();
        line.start();
    }
    Line line;
    Sign sign;
};

int countCode(const QList<QByteArray>& frames, uint8_t code) {
    return int(std::count_if(frames.begin(), frames.end(),
                             [code](const QByteArray& f) { return FrameView(f).code() == code; }));
}

} // namespace

class TestSign : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installSongSubstitutions(); }
    void commandQueue_data();
    void commandQueue();
    void strayByteDoesNotTakeTheSignOffline();
    void answersCountAgainstTheSign_data();
    void answersCountAgainstTheSign();
    void clearedSignGetsNoImageBack();
    void onlyTheLatestImageIsDrawn();
    void retainedOneTimeCommandsAreNotReplayed();
    void replaysDoNotMakeStaleFiguresFresh();
    void earlierDeadlineIsNotMissed();
};

// Operations: "+K" put kind K, "-" take (appends the kind taken), "<K" put back K.
void TestSign::commandQueue_data() {
    QTest::addColumn<QString>("operations");
    QTest::addColumn<QString>("taken");
    QTest::newRow("in order") << u"+P +C -,-"_s << u"PC"_s;
    QTest::newRow("latest of a kind wins, at the back") << u"+P +C +P -,-,-"_s << u"CP"_s;
    QTest::newRow("failed goes first") << u"+P +C - <P -,-"_s << u"PPC"_s;
    QTest::newRow("not over a newer one") << u"+P - +C +P <P -,-,-"_s << u"PCP"_s;
    QTest::newRow("image back after clear") << u"+I +X - <I -,-"_s << u"IIX"_s;
}

void TestSign::commandQueue() {
    QFETCH(QString, operations);
    QFETCH(QString, taken);
    static const QMap<QChar, Kind> kinds = {
        {u'P', Kind::Power}, {u'C', Kind::Clock}, {u'I', Kind::Image}, {u'X', Kind::Clear}};
    CommandQueue queue;
    QString got;
    for (const QString& op : operations.split(QRegularExpression(u"[ ,]"_s))) {
        if (op.startsWith(u'+'))
            queue.put(kinds[op[1]], QByteArray(1, op[1].toLatin1()));
        else if (op.startsWith(u'<'))
            queue.putBack({kinds[op[1]], QByteArray(1, op[1].toLatin1())});
        else if (const auto command = queue.take())
            got += QChar::fromLatin1(command->frame[0]);
    }
    QCOMPARE(got, taken);
    QVERIFY(queue.isEmpty());
}

void TestSign::strayByteDoesNotTakeTheSignOffline() {
    test::VirtualController controller;
    controller.setAnswering(true);
    PathCatalog ports;
    PlantClock clock;
    Alone alone(signOn(controller.path()), ports, clock);
    Sign& line = alone.sign;
    int offline = 0;
    connect(&line, &Sign::stateChanged, this,
            [&] { offline += line.state() == Sign::State::Offline; });
    alone.start();
    QTRY_COMPARE(line.state(), Sign::State::Online);
    controller.send(QByteArray("\x55", 1)); // noise on the line, less than a reply
    const int tests = countCode(controller.frames(), FindCode);
    QTRY_VERIFY_WITH_TIMEOUT(countCode(controller.frames(), FindCode) >= tests + 2, 5000);
    QCOMPARE(offline, 0);
    QCOMPARE(line.state(), Sign::State::Online);
}

// Sign 5, with sign 6 on its line or alone: what the line hears after a test to
// device 5, and the signs' states after two such tests. Device 6 answers each test
// after 100 ms. A line on which answers come, however wrong, stays open.
void TestSign::answersCountAgainstTheSign_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("afterMs");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("withNeighbour");
    const QByteArray own = test::VirtualController::findReply(5);
    QByteArray garbled = own;
    garbled[6] = char(garbled[6] ^ 0x40);
    QTest::newRow("in time") << own << 40 << u"online: the sign answers"_s << true;
    QTest::newRow("another device") << test::VirtualController::findReply(7) << 0
                                    << u"offline: another controller answered (device 7)"_s << true;
    QTest::newRow("garbled") << garbled << 0
                             << u"offline: garbled answer — possible address collision"_s << true;
    QTest::newRow("late, while the next sign waits")
        << own << 200 << u"offline: answered late"_s << true;
    QTest::newRow("late, after it") << own << 400 << u"offline: answered late"_s << true;
    QTest::newRow("late, alone") << own << 400 << u"offline: answered late"_s << false;
}

void TestSign::answersCountAgainstTheSign() {
    QFETCH(QByteArray, answer);
    QFETCH(int, afterMs);
    QFETCH(QString, state);
    QFETCH(bool, withNeighbour);
    test::VirtualController controller;
    connect(&controller, &test::VirtualController::frameReceived, this,
            [&](const QByteArray& frame) {
                if (FrameView(frame).code() != FindCode)
                    return;
                if (FrameView(frame).device() == 5)
                    controller.sendLater(answer, afterMs);
                else
                    controller.sendLater(test::VirtualController::findReply(6), 100);
            });
    PathCatalog ports;
    PlantClock clock;
    SignConfig config = signOn(controller.path());
    config.device = 5;
    Alone alone(config, ports, clock);
    config.name = u"l2"_s;
    config.device = 6;
    Sign neighbour(config, clock);
    if (withNeighbour) {
        alone.line.add(neighbour);
        neighbour.start();
    }
    alone.start();
    auto now = [](const Sign& sign) {
        return (sign.state() == Sign::State::Online ? u"online: "_s : u"offline: "_s) +
               sign.reason();
    };
    QTRY_VERIFY2_WITH_TIMEOUT(now(alone.sign).startsWith(state), qPrintable(now(alone.sign)), 5000);
    if (withNeighbour) {
        QTRY_COMPARE(neighbour.state(), Sign::State::Online);
    }
    QTest::qWait(1200); // another test, and its late answer
    QVERIFY2(now(alone.sign).startsWith(state), qPrintable(now(alone.sign)));
    QCOMPARE(alone.line.state(), Line::State::Open);
}

void TestSign::clearedSignGetsNoImageBack() {
    test::VirtualController controller;
    controller.setAnswering(true);
    PathCatalog ports;
    PlantClock clock;
    Alone alone(signOn(controller.path()), ports, clock);
    Sign& line = alone.sign;
    line.setImage(dotImageFrame(255, {}, {0, 0, 1, 8}, QByteArray(8, '\xff')));
    line.setUnit(4, 44);
    alone.start();
    QTRY_COMPARE(countCode(controller.frames(), DotImageCode), 1);
    line.clear();
    QTRY_COMPARE(countCode(controller.frames(), ClearDotsCode), 1);

    controller.setAnswering(false); // falls silent, then answers again
    QTRY_VERIFY_WITH_TIMEOUT(line.state() == Sign::State::Offline, 5000);
    controller.clearReceived();
    controller.setAnswering(true);
    QTRY_VERIFY_WITH_TIMEOUT(line.state() == Sign::State::Online, 10000);
    QTRY_COMPARE(countCode(controller.frames(), UnitShowNowCode), 1); // the units go again
    QTest::qWait(100);
    QCOMPARE(countCode(controller.frames(), DotImageCode), 0); // the image does not
}

// Images that come faster than the line sends them cost one drawing: the latest.
void TestSign::onlyTheLatestImageIsDrawn() {
    test::VirtualController controller;
    controller.setAnswering(true);
    PathCatalog ports;
    PlantClock clock;
    Alone alone(signOn(controller.path()), ports, clock);
    Sign& line = alone.sign;
    alone.start();
    QTRY_COMPARE(line.state(), Sign::State::Online);
    int drawn = 0;
    for (char i = 1; i <= 5; ++i)
        line.drawImage([&drawn, i] {
            ++drawn;
            return std::optional(dotImageFrame(255, {}, {0, 0, 1, 8}, QByteArray(8, i)));
        });
    QTRY_COMPARE(countCode(controller.frames(), DotImageCode), 1);
    QTest::qWait(100);
    QCOMPARE(drawn, 1);
    const auto images = controller.frames();
    QVERIFY(std::any_of(images.begin(), images.end(), [](const QByteArray& frame) {
        return FrameView(frame).code() == DotImageCode && frame.contains(QByteArray(8, 5));
    }));
}

void TestSign::retainedOneTimeCommandsAreNotReplayed() {
    test::VirtualController controller;
    controller.setAnswering(true);
    PathCatalog ports;
    PlantClock clock;
    Config config;
    config.broker.host = u"127.0.0.1"_s;
    config.broker.port = 9; // nobody: the broker plays no part here
    config.signs.append(signOn(controller.path()));
    Gateway gateway(config, ports, clock);
    QString error;
    QVERIFY(gateway.start(&error));
    QTRY_VERIFY(countCode(controller.frames(), FindCode) > 0);
    gateway.command(u"zarnet/l1/clock/set"_s, "2026-01-01 00:00:00", true);
    gateway.command(u"zarnet/l1/clear/set"_s, "", true);
    gateway.command(u"zarnet/l1/power/set"_s, "off", true); // a state, taken as it is
    QTRY_COMPARE(countCode(controller.frames(), PowerCode), 1);
    QTest::qWait(100);
    QCOMPARE(countCode(controller.frames(), SetClockCode), 0);
    QCOMPARE(countCode(controller.frames(), ClearDotsCode), 0);
    gateway.command(u"zarnet/l1/clear/set"_s, "", false); // a live one is carried out
    QTRY_COMPARE(countCode(controller.frames(), ClearDotsCode), 1);
}

// What the broker hands over again after a reconnect is not news: a stale unit
// stays stale (and keeps its stale value), a scheduled sign keeps its schedule.
void TestSign::replaysDoNotMakeStaleFiguresFresh() {
    test::VirtualController controller;
    controller.setAnswering(true);
    PathCatalog ports;
    PlantClock clock(QDateTime(QDate(2026, 12, 7), QTime(23, 0)), 600); // 10 min a second
    Config config;
    config.broker.host = u"127.0.0.1"_s;
    config.broker.port = 9; // nobody: the broker plays no part here
    SignConfig sign = signOn(controller.path());
    sign.maxAgeMs = 600000;
    sign.staleAction = StaleAction::Value;
    sign.staleValue = 0;
    sign.power = PowerSchedule{QTime(6, 0), QTime(22, 0)};
    config.signs.append(sign);
    Gateway gateway(config, ports, clock);
    QString error;
    QVERIFY(gateway.start(&error));
    QTRY_VERIFY_WITH_TIMEOUT(controller.units().value(3) == 0 && !controller.frames().isEmpty(),
                             5000);
    gateway.command(u"zarnet/l1/units/3/set"_s, "1520", false);
    QTRY_COMPARE(controller.units().value(3), 1520u);
    QTRY_COMPARE_WITH_TIMEOUT(controller.units().value(3), 0u, 5000); // stale: the set value
    const int powerFrames = countCode(controller.frames(), PowerCode);
    gateway.command(u"zarnet/l1/units/3/set"_s, "1520", true); // the broker's replay
    gateway.command(u"zarnet/l1/power/set"_s, "on", true);
    QTest::qWait(300);
    QCOMPARE(controller.units().value(3), 0u);
    QCOMPARE(countCode(controller.frames(), PowerCode), powerFrames);
    gateway.command(u"zarnet/l1/units/3/set"_s, "1600", true); // published while we were away
    QTRY_COMPARE(controller.units().value(3), 1600u);
}

// A unit with a short maximum age, fresh again while a longer one's timer runs,
// goes stale on time.
void TestSign::earlierDeadlineIsNotMissed() {
    PathCatalog ports;
    PlantClock clock(QDateTime(QDate(2026, 12, 7), QTime(8, 0)), 600); // 30 s in 50 ms
    SignConfig config = signOn(u"/nonexistent"_s);
    config.maxAgeMs = 600000;       // 1 s of real time
    config.unitMaxAgeMs[0] = 30000; // 50 ms
    Sign line(config, clock);
    QList<uint8_t> stale;
    connect(&line.staleWatch(), &StaleWatch::staleChanged, this, [&](uint8_t unit, bool isStale) {
        if (isStale)
            stale.append(unit);
    });
    line.setUnit(3, 1);
    line.setUnit(0, 1);
    QTRY_COMPARE_WITH_TIMEOUT(stale, QList<uint8_t>{0}, 500);
    line.setUnit(0, 2); // fresh again; unit 3's timer is the one running
    QElapsedTimer timer;
    timer.start();
    QTRY_COMPARE_WITH_TIMEOUT(stale.count(0), 2, 2000);
    QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
}

QTEST_MAIN(TestSign)
#include "tst_sign.moc"
