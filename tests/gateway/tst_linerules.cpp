// The rules of a shared line: whose turn comes next, how a sign's health follows
// its tests, and how busy the line was.
#include <gateway/lineload.h>
#include <gateway/linescheduler.h>
#include <gateway/signhealth.h>

#include <QtTest>

using namespace Qt::StringLiterals;
using namespace zarnet::gateway;

class TestLineRules : public QObject {
    Q_OBJECT
private slots:
    void turns_data();
    void turns();
    void health_data();
    void health();
    void load_data();
    void load();
};

// Each sign as "cN" (N commands waiting), "t" (a test due) or "tMS" (due for MS ms);
// the turns until none is left, as "1" (a command of sign 1) or "1t".
void TestLineRules::turns_data() {
    QTest::addColumn<QStringList>("signs");
    QTest::addColumn<int>("from");
    QTest::addColumn<QString>("order");
    QTest::newRow("a burst does not hold up a single value")
        << QStringList{u"c5"_s, u"c1"_s} << 0 << u"0 1 0 0 0 0"_s;
    QTest::newRow("the single value within one round")
        << QStringList{u"c3"_s, u"c3"_s, u"c1"_s} << 1 << u"1 2 0 1 0 1 0"_s;
    QTest::newRow("commands before tests")
        << QStringList{u"t"_s, u"c2"_s, u"t"_s} << 0 << u"1 1 2t 0t"_s;
    QTest::newRow("a test kept waiting goes first")
        << QStringList{u"c2"_s, u"t5000"_s} << 0 << u"1t 0 0"_s;
    QTest::newRow("nothing to do") << QStringList{u""_s, u""_s} << 0 << u""_s;
}

void TestLineRules::turns() {
    QFETCH(QStringList, signs);
    QFETCH(int, from);
    QFETCH(QString, order);
    QList<LineWant> wants;
    QList<int> commands;
    for (const QString& sign : signs) {
        commands.append(sign.startsWith(u'c') ? sign.mid(1).toInt() : 0);
        wants.append({commands.last() > 0, sign.startsWith(u't'),
                      sign.startsWith(u't') ? sign.mid(1).toLongLong() : 0});
    }
    QStringList got;
    qsizetype next = from;
    while (const auto turn = nextTurn(wants, next)) {
        QVERIFY(got.size() < 100);
        next = turn->sign + 1;
        LineWant& want = wants[turn->sign];
        if (turn->test)
            want.test = false;
        else
            want.command = --commands[turn->sign] > 0;
        got.append(QString::number(turn->sign) + (turn->test ? u"t"_s : QString()));
    }
    QCOMPARE(got.join(u' '), order);
}

// Outcomes "a" answered, "m" missed, "d" the line went down; after each the state
// (C connecting, N online, F offline) and the seconds to the next test.
void TestLineRules::health_data() {
    QTest::addColumn<QString>("outcomes");
    QTest::addColumn<QString>("states");
    QTest::newRow("silent from the start: back-off up to 30 s")
        << u"m m m m m m m m"_s << u"C1 F1 F2 F4 F8 F16 F30 F30"_s;
    QTest::newRow("one miss is not offline") << u"a m a"_s << u"N60 N1 N60"_s;
    QTest::newRow("two misses in a row are") << u"a m m m a"_s << u"N60 N1 F1 F2 N60"_s;
    QTest::newRow("an answer starts the back-off again")
        << u"m m m a m m"_s << u"C1 F1 F2 N60 N1 F1"_s;
    QTest::newRow("the line's failure") << u"a d m m"_s << u"N60 F- F1 F2"_s;
}

void TestLineRules::health() {
    QFETCH(QString, outcomes);
    QFETCH(QString, states);
    SignHealth health;
    QStringList got;
    for (const QString& outcome : outcomes.split(u' ')) {
        QString next = u"-"_s;
        if (outcome == u"a")
            next = QString::number(health.answered(60000) / 1000);
        else if (outcome == u"m")
            next = QString::number(health.missed() / 1000);
        else
            health.lineDown();
        static const QMap<SignHealth::State, QString> letters = {
            {SignHealth::State::Connecting, u"C"_s},
            {SignHealth::State::Online, u"N"_s},
            {SignHealth::State::Offline, u"F"_s}};
        got.append(letters[health.state()] + next);
    }
    QCOMPARE(got.join(u' '), states);
}

// Busy spans "FROM-TO" in seconds, and the share of the last minute at `now`.
void TestLineRules::load_data() {
    QTest::addColumn<QString>("spans");
    QTest::addColumn<double>("now");
    QTest::addColumn<double>("share");
    QTest::newRow("since the start when shorter than a minute") << u"0-5"_s << 10.0 << 0.5;
    QTest::newRow("across seconds") << u"0.5-1.5 3-3.25"_s << 5.0 << 0.25;
    QTest::newRow("only the last minute counts") << u"0-30"_s << 100.0 << 0.0;
    QTest::newRow("busy all the time") << u"0-200"_s << 200.0 << 1.0;
    QTest::newRow("idle") << QString() << 30.0 << 0.0;
}

void TestLineRules::load() {
    QFETCH(QString, spans);
    QFETCH(double, now);
    QFETCH(double, share);
    LineLoad load;
    for (const QString& span : spans.split(u' ', Qt::SkipEmptyParts))
        load.busy(qint64(span.section(u'-', 0, 0).toDouble() * 1e6),
                  qint64(span.section(u'-', 1, 1).toDouble() * 1e6));
    QVERIFY2(qAbs(load.share(qint64(now * 1e6)) - share) < 0.02,
             qPrintable(QString::number(load.share(qint64(now * 1e6)))));
}

QTEST_MAIN(TestLineRules)
#include "tst_linerules.moc"
