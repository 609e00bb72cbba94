// zarnetd guarding its signs, on a clock that runs fast: figures that stop coming,
// and the power schedule, with a real broker and zarnet-board controllers.
#include <support/plantparts.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace zarnet::testplant;

namespace {

QString state(const QByteArray& status) {
    return json(status).value(u"state"_s).toString();
}

// The status's power, its "until" as local wall-clock time: the status gives it
// with its UTC offset.
QJsonObject power(const QByteArray& status) {
    QJsonObject power = json(status).value(u"power"_s).toObject();
    const QDateTime until = QDateTime::fromString(power.value(u"until"_s).toString(), Qt::ISODate);
    if (until.timeSpec() != Qt::LocalTime)
        power.insert(u"until"_s, until.toLocalTime().toString(Qt::ISODate));
    return power;
}

// The power frames the board received, in order: "off on off".
QString powerFrames(const Board& board) {
    QStringList out;
    for (const QString& frame : board.frames())
        if (frame.contains(u"power on"_s))
            out << u"on"_s;
        else if (frame.contains(u"power off"_s))
            out << u"off"_s;
    return out.join(u' ');
}

} // namespace

class TestZarnetdGuard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void staleUnitsGetTheirValueUntilFreshOnesCome();
    void staleSignShowsItsImageUntilFreshFiguresCome();
    void scheduleAcrossMidnight();
    void restartInsideOffAndAnOverride();

private:
    // A gateway for one sign on its own board, with `lines` in its [[sign]].
    bool startSign(Gateway& service, Board& board, const QString& name, const QByteArray& lines,
                   const QString& clock);

    Broker broker;
    std::unique_ptr<Listener> listener;
};

void TestZarnetdGuard::initTestCase() {
    QVERIFY2(broker.start(), qPrintable(broker.error));
    listener = std::make_unique<Listener>(broker.port());
    QTRY_VERIFY(listener->connected());
}

void TestZarnetdGuard::cleanupTestCase() {
    listener.reset();
    broker.kill();
}

bool TestZarnetdGuard::startSign(Gateway& service, Board& board, const QString& name,
                                 const QByteArray& lines, const QString& clock) {
    if (!board.start())
        return false;
    service.setTestClock(clock);
    return service.start(u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"zarnetd-%2\"\n"
                         "[[sign]]\nname = \"%2\"\nlink = \"%3\"\n"_s.arg(broker.port())
                             .arg(name, board.address())
                             .toUtf8() +
                         lines);
}

// Ten minutes pass in a second: unit 3 goes stale and shows 0; unit 4, not
// watched, keeps its value; a fresh value ends it.
void TestZarnetdGuard::staleUnitsGetTheirValueUntilFreshOnesCome() {
    // A report left by an earlier configuration that watched unit 4.
    listener->publish(u"zarnet/v1/units/4/stale"_s, "true", true);
    Board board;
    Gateway service;
    QVERIFY(startSign(service, board, u"v1"_s,
                      "max_age = \"10m\"\nunits.4.max_age = \"off\"\nstale = { value = 0 }\n",
                      u"2026-12-07T08:00:00,600"_s));
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/v1/status"_s)) == u"online", 10000);
    listener->publish(u"zarnet/v1/units/set"_s, R"({"3": 1520, "4": 97})");
    QTRY_COMPARE(listener->last(u"zarnet/v1/units/3/stale"_s), QByteArray("false"));
    QTRY_COMPARE(board.units().value(3), 1520u);

    QTRY_COMPARE_WITH_TIMEOUT(listener->last(u"zarnet/v1/units/3/stale"_s), QByteArray("true"),
                              5000);
    QTRY_COMPARE(board.units().value(3), 0u);
    QTRY_COMPARE(listener->last(u"zarnet/v1/units/3"_s), QByteArray("0"));
    QCOMPARE(board.units().value(4), 97u);
    QCOMPARE(listener->on(u"zarnet/v1/units/4/stale"_s),
             (QList<QByteArray>{"true", ""})); // the old report, cleared
    QCOMPARE(listener->on(u"zarnet/v1/units/3/stale"_s).count("true"), 1); // once, not again

    listener->publish(u"zarnet/v1/units/3/set"_s, "1600");
    QTRY_COMPARE(board.units().value(3), 1600u);
    QTRY_COMPARE(listener->last(u"zarnet/v1/units/3/stale"_s), QByteArray("false"));
    QVERIFY(service.log().contains(u"v1 unit 3 is stale"_s));
}

// The stale image replaces the sign's own only while even its newest value is too
// old: a unit that keeps coming holds it off.
void TestZarnetdGuard::staleSignShowsItsImageUntilFreshFiguresCome() {
    Board board;
    Gateway service;
    QVERIFY(startSign(service, board, u"i1"_s,
                      "max_age = \"10m\"\n"
                      "image = { text = \"A1\", window = [192, 0, 64, 16] }\n"
                      "stale = { image = { text = \"数据中断\", window = [0, 0, 64, 16] } }\n",
                      u"2026-12-07T08:00:00,600"_s));
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/i1/status"_s)) == u"online", 10000);
    QTRY_VERIFY(!board.frames().filter(u"at (192,0)"_s).isEmpty());
    listener->publish(u"zarnet/i1/units/set"_s, R"({"0": 1, "1": 2})");
    QTRY_COMPARE(board.units().value(1), 2u);
    // Unit 1 keeps coming for two (test) minutes of real time: no stale image yet.
    for (int i = 0; i < 8; ++i) {
        listener->publish(u"zarnet/i1/units/1/set"_s, QByteArray::number(10 + i));
        QTest::qWait(250);
    }
    QTRY_COMPARE(listener->last(u"zarnet/i1/units/0/stale"_s), QByteArray("true"));
    QVERIFY(board.frames().filter(u"at (0,0)"_s).isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(listener->last(u"zarnet/i1/units/1/stale"_s), QByteArray("true"),
                              5000);
    QTRY_COMPARE(board.frames().filter(u"at (0,0)"_s).size(), 1);
    const qsizetype own = board.frames().filter(u"at (192,0)"_s).size();
    listener->publish(u"zarnet/i1/units/0/set"_s, "5");
    QTRY_COMPARE(board.frames().filter(u"at (192,0)"_s).size(), own + 1);
    QTRY_COMPARE(listener->last(u"zarnet/i1/units/0/stale"_s), QByteArray("false"));
    QCOMPARE(board.frames().filter(u"at (0,0)"_s).size(), 1);
}

// A Friday night shift, 22:00 to 06:00, on a clock where an hour passes in half a
// second: off at start, on at 22:00, off on Saturday at 06:00, and not on again on
// Saturday night.
void TestZarnetdGuard::scheduleAcrossMidnight() {
    Board board;
    Gateway service;
    QVERIFY(startSign(service, board, u"n1"_s,
                      "power = { on = \"22:00\", off = \"06:00\", days = \"fri\" }\n",
                      u"2026-12-04T20:00:00,7200"_s));
    // Only the latest power command waits for a sign that is not online yet, so the
    // first "off" is not sent when 22:00 comes before the sign answers.
    QTRY_VERIFY_WITH_TIMEOUT(powerFrames(board).endsWith(u"on off"_s), 15000);
    QVERIFY2(QStringList({u"off on off"_s, u"on off"_s}).contains(powerFrames(board)),
             qPrintable(powerFrames(board)));
    QTRY_COMPARE(power(listener->last(u"zarnet/n1/status"_s)),
                 (QJsonObject{{u"state"_s, u"off"_s},
                              {u"by"_s, u"schedule"_s},
                              {u"until"_s, u"2026-12-11T22:00:00"_s}}));
    QTest::qWait(8500); // to Saturday 23:00 on the test clock
    QVERIFY(powerFrames(board).endsWith(u"on off"_s));
    QVERIFY2(service.log().contains(u"running on a test clock"_s), qPrintable(service.log()));
}

// Started at 23:00 in a 06:00–22:00 schedule the sign goes off; a command turns
// it on until the next change, which the status names; at 06:00 the schedule
// takes over again.
void TestZarnetdGuard::restartInsideOffAndAnOverride() {
    Board board;
    Gateway service;
    QVERIFY(startSign(service, board, u"d1"_s, "power = { on = \"06:00\", off = \"22:00\" }\n",
                      u"2026-12-07T23:00:00,3600"_s));
    QTRY_VERIFY_WITH_TIMEOUT(powerFrames(board) == u"off"_s, 10000);
    QTRY_COMPARE(json(listener->last(u"zarnet/d1/status"_s))
                     .value(u"power"_s)
                     .toObject()
                     .value(u"by"_s)
                     .toString(),
                 u"schedule"_s);
    listener->publish(u"zarnet/d1/power/set"_s, "on");
    QTRY_COMPARE(powerFrames(board), u"off on"_s);
    QTRY_COMPARE(power(listener->last(u"zarnet/d1/status"_s)),
                 (QJsonObject{{u"state"_s, u"on"_s},
                              {u"by"_s, u"command"_s},
                              {u"until"_s, u"2026-12-08T06:00:00"_s}}));
    // 06:00 comes about seven seconds after the start.
    QTRY_COMPARE_WITH_TIMEOUT(json(listener->last(u"zarnet/d1/status"_s))
                                  .value(u"power"_s)
                                  .toObject()
                                  .value(u"by"_s)
                                  .toString(),
                              u"schedule"_s, 15000);
    QTRY_COMPARE(powerFrames(board), u"off on on"_s);
}

QTEST_MAIN(TestZarnetdGuard)
#include "tst_zarnetd_guard.moc"
