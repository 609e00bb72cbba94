// The rules the service's guard follows: when a schedule switches a sign, and when
// a unit's figures count as stale.
#include "configcheck.h"

#include <gateway/config.h>
#include <gateway/powerschedule.h>
#include <gateway/unitages.h>

#include <QTimeZone>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace zarnet::gateway;

namespace {

// "22:00-06:00 fri" as a schedule.
PowerSchedule scheduleFrom(const QString& text) {
    PowerSchedule s;
    s.on = QTime::fromString(text.section(u'-', 0, 0), u"HH:mm"_s);
    s.off = QTime::fromString(text.section(u' ', 0, 0).section(u'-', 1, 1), u"HH:mm"_s);
    s.days = *readDays(text.section(u' ', 1));
    return s;
}

QString describe(const std::optional<PowerSwitch>& s) {
    if (!s)
        return u"none"_s;
    return s->date.toString(u"ddd yyyy-MM-dd "_s) + s->at.toString(u"HH:mm "_s) +
           (s->on ? u"on"_s : u"off"_s);
}

QDateTime at(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), u"yyyy-MM-dd HH:mm"_s);
}

} // namespace

class TestGuardRules : public QObject {
    Q_OBJECT
private slots:
    void days_data();
    void days();
    void switches_data();
    void switches();
    void wallClockThatJumps_data();
    void wallClockThatJumps();
    void daylightSavingInBerlin();
    void ages();
    void signIsStaleOnlyWhenItsNewestValueIs();
    void durations_data();
    void durations();
    void configFaults_data();
    void configFaults();
    void configRead();
};

void TestGuardRules::days_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("days"); // Monday first, or the start of the fault
    QTest::newRow("range") << u"mon-sat"_s << u"1111110"_s;
    QTest::newRow("list") << u"mon,wed,fri"_s << u"1010100"_s;
    QTest::newRow("over the week's end") << u"sat-mon"_s << u"1000011"_s;
    QTest::newRow("mixed, any case") << u"Mon-Tue, SUN"_s << u"1100001"_s;
    QTest::newRow("daily") << u"daily"_s << u"1111111"_s;
    QTest::newRow("one day") << u"sun"_s << u"0000001"_s;
    QTest::newRow("unknown day") << u"mon-fry"_s << QString();
    QTest::newRow("empty") << u""_s << QString();
    QTest::newRow("two dashes") << u"mon-wed-fri"_s << QString();
}

void TestGuardRules::days() {
    QFETCH(QString, text);
    QFETCH(QString, days);
    const auto read = readDays(text);
    if (!read) {
        QCOMPARE(days, QString());
        return;
    }
    QString bits;
    for (int day = 0; day < 7; ++day)
        bits += read->test(size_t(day)) ? u'1' : u'0';
    QCOMPARE(bits, days);
}

// 2026-12-04 is a Friday.
void TestGuardRules::switches_data() {
    QTest::addColumn<QString>("schedule");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("next");
    const QString night = u"22:00-06:00 fri"_s;
    QTest::newRow("night shift, Friday evening")
        << night << at("2026-12-04 21:59") << u"Sat 2026-11-28 06:00 off"_s
        << u"Fri 2026-12-04 22:00 on"_s;
    QTest::newRow("night shift, at the minute")
        << night << at("2026-12-04 22:00") << u"Fri 2026-12-04 22:00 on"_s
        << u"Sat 2026-12-05 06:00 off"_s;
    QTest::newRow("night shift, after midnight")
        << night << at("2026-12-05 03:00") << u"Fri 2026-12-04 22:00 on"_s
        << u"Sat 2026-12-05 06:00 off"_s;
    QTest::newRow("night shift, Saturday night is not a shift")
        << night << at("2026-12-05 23:00") << u"Sat 2026-12-05 06:00 off"_s
        << u"Fri 2026-12-11 22:00 on"_s;
    const QString day = u"06:00-22:00 mon-sat"_s;
    QTest::newRow("day shift, Sunday")
        << day << at("2026-12-06 12:00") << u"Sat 2026-12-05 22:00 off"_s
        << u"Mon 2026-12-07 06:00 on"_s;
    QTest::newRow("day shift, Monday morning")
        << day << at("2026-12-07 06:30") << u"Mon 2026-12-07 06:00 on"_s
        << u"Mon 2026-12-07 22:00 off"_s;
}

void TestGuardRules::switches() {
    QFETCH(QString, schedule);
    QFETCH(QDateTime, now);
    QFETCH(QString, last);
    QFETCH(QString, next);
    const PowerSchedule s = scheduleFrom(schedule);
    QCOMPARE(describe(lastSwitch(s, now.date(), now.time())), last);
    QCOMPARE(describe(nextSwitch(s, now.date(), now.time())), next);
}

// The wall clock read once a minute or so, as the guard does, and what it switches.
void TestGuardRules::wallClockThatJumps_data() {
    QTest::addColumn<QStringList>("readings"); // "yyyy-MM-dd HH:mm"
    QTest::addColumn<QString>("switched");
    QTest::newRow("a night, read every hour")
        << QStringList{u"2026-12-07 20:00"_s, u"2026-12-07 21:00"_s, u"2026-12-07 22:00"_s,
                       u"2026-12-07 23:00"_s, u"2026-12-08 05:00"_s, u"2026-12-08 06:00"_s,
                       u"2026-12-08 07:00"_s}
        << u"off@20:00 on@22:00 off@06:00"_s;
    QTest::newRow("set back over the off switch: no second off")
        << QStringList{u"2026-12-08 05:59"_s, u"2026-12-08 06:05"_s, u"2026-12-08 05:50"_s,
                       u"2026-12-08 06:00"_s, u"2026-12-08 06:10"_s}
        << u"on@05:59 off@06:05"_s;
    QTest::newRow("set back over both switches: nothing repeats")
        << QStringList{u"2026-12-08 06:30"_s, u"2026-12-07 21:30"_s, u"2026-12-07 22:30"_s,
                       u"2026-12-08 06:30"_s}
        << u"off@06:30"_s;
    QTest::newRow("jumped forward over a switch: it still happens")
        << QStringList{u"2026-12-07 21:30"_s, u"2026-12-07 23:30"_s} << u"off@21:30 on@23:30"_s;
    QTest::newRow("jumped over a whole night: only the state in force")
        << QStringList{u"2026-12-07 21:30"_s, u"2026-12-08 07:00"_s} << u"off@21:30 off@07:00"_s;
    QTest::newRow("set back a month: the state in force then, if it differs")
        << QStringList{u"2026-12-08 06:30"_s, u"2026-11-08 23:00"_s, u"2026-11-09 05:00"_s,
                       u"2026-11-09 06:00"_s}
        << u"off@06:30 on@23:00 off@06:00"_s;
    QTest::newRow("set back a month into the same state: nothing to send")
        << QStringList{u"2026-12-08 06:30"_s, u"2026-11-08 12:00"_s, u"2026-11-08 22:00"_s}
        << u"off@06:30 on@22:00"_s;
}

void TestGuardRules::wallClockThatJumps() {
    QFETCH(QStringList, readings);
    QFETCH(QString, switched);
    const PowerSchedule s = scheduleFrom(u"22:00-06:00 daily"_s);
    std::optional<PowerSwitch> applied;
    std::optional<bool> on;
    QStringList out;
    for (const QString& reading : readings) {
        const QDateTime now = QDateTime::fromString(reading, u"yyyy-MM-dd HH:mm"_s);
        const QString at = now.toString(u"HH:mm"_s);
        if (const auto due = dueSwitch(s, applied, now.date(), now.time())) {
            applied = due;
            on = due->on;
            out << (due->on ? u"on@"_s : u"off@"_s) + at;
        } else if (const auto back = clockSetFarBack(s, applied, now.date(), now.time())) {
            applied = back;
            if (on != back->on)
                out << (back->on ? u"on@"_s : u"off@"_s) + at;
            on = back->on;
        }
    }
    QCOMPARE(out.join(u' '), switched);
}

// Berlin's clocks: 2026-03-29 02:00 → 03:00, and 2026-10-25 03:00 → 02:00. A
// switch in the skipped hour happens once, as soon as the hour is over; one in the
// repeated hour happens once, the first time.
void TestGuardRules::daylightSavingInBerlin() {
    const QTimeZone berlin("Europe/Berlin");
    QVERIFY2(berlin.isValid(), "the time zone data (tzdata) is missing");
    const struct {
        QDateTime fromUtc;
        PowerSchedule schedule;
        QString switched;
    } cases[] = {
        {QDateTime(QDate(2026, 3, 28), QTime(22, 0), Qt::UTC), scheduleFrom(u"02:30-05:00 daily"_s),
         u"off@2026-03-28T23:00 on@2026-03-29T03:00 off@2026-03-29T05:00"_s},
        {QDateTime(QDate(2026, 10, 24), QTime(22, 0), Qt::UTC),
         scheduleFrom(u"02:30-05:00 daily"_s),
         u"off@2026-10-25T00:00 on@2026-10-25T02:30 off@2026-10-25T05:00"_s},
    };
    for (const auto& c : cases) {
        std::optional<PowerSwitch> applied;
        QStringList out;
        // Every minute for ten hours of real time, read as Berlin's wall clock.
        for (int minute = 0; minute <= 600; ++minute) {
            const QDateTime wall = c.fromUtc.addSecs(60 * minute).toTimeZone(berlin);
            if (const auto due = dueSwitch(c.schedule, applied, wall.date(), wall.time())) {
                applied = due;
                out << (due->on ? u"on@"_s : u"off@"_s) + wall.toString(u"yyyy-MM-ddTHH:mm"_s);
            }
        }
        QCOMPARE(out.join(u' '), c.switched);
    }
}

void TestGuardRules::ages() {
    UnitAges ages;
    ages.setMaxAge(3, 1000);
    ages.setMaxAge(4, 5000);
    QVERIFY(!ages.nextDeadline()); // nothing known, nothing to watch yet
    QVERIFY(ages.fresh(3, 0));     // a first value of a watched unit is news
    QVERIFY(!ages.fresh(3, 100));
    QVERIFY(!ages.fresh(7, 100)); // not watched
    QCOMPARE(ages.nextDeadline(), std::optional<int64_t>(1100));
    QVERIFY(ages.check(1099).isEmpty());
    QCOMPARE(ages.check(1100), QList<uint8_t>{3});
    QVERIFY(ages.check(5000).isEmpty()); // once
    QVERIFY(ages.stale(3));
    QVERIFY(!ages.stale(7));
    QVERIFY(!ages.nextDeadline());
    QVERIFY(ages.fresh(3, 6000)); // fresh again is news
    QVERIFY(!ages.stale(3));
    QCOMPARE(ages.nextDeadline(), std::optional<int64_t>(7000));
}

void TestGuardRules::signIsStaleOnlyWhenItsNewestValueIs() {
    UnitAges ages;
    ages.setMaxAge(0, 1000);
    ages.setMaxAge(1, 1000);
    QVERIFY(!ages.allStale());
    ages.fresh(0, 0);
    ages.fresh(1, 500);
    ages.check(1000);
    QVERIFY(ages.stale(0));
    QVERIFY(!ages.allStale()); // unit 1 is still fresh
    ages.check(1500);
    QVERIFY(ages.allStale());
    ages.fresh(0, 1600);
    QVERIFY(!ages.allStale());
}

void TestGuardRules::durations_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("ms"); // -1: refused
    QTest::newRow("seconds") << u"90s"_s << qint64(90000);
    QTest::newRow("minutes") << u"10m"_s << qint64(600000);
    QTest::newRow("hours") << u"2h"_s << qint64(7200000);
    QTest::newRow("blanks around") << u" 5m "_s << qint64(300000);
    QTest::newRow("a week") << u"168h"_s << qint64(604800000);
    QTest::newRow("over a week") << u"169h"_s << qint64(-1);
    QTest::newRow("zero") << u"0s"_s << qint64(-1);
    QTest::newRow("no unit") << u"10"_s << qint64(-1);
    QTest::newRow("days") << u"1d"_s << qint64(-1);
    QTest::newRow("two parts") << u"1h30m"_s << qint64(-1);
    QTest::newRow("negative") << u"-5m"_s << qint64(-1);
    QTest::newRow("huge") << u"99999999999h"_s << qint64(-1);
}

void TestGuardRules::durations() {
    QFETCH(QString, text);
    QFETCH(qint64, ms);
    const auto read = readDuration(text);
    if (ms < 0)
        QCOMPARE(read, std::nullopt);
    else
        QCOMPARE(*read, ms);
}

void TestGuardRules::configFaults_data() {
    QTest::addColumn<QByteArray>("lines"); // after a sign's name and link, from line 4
    QTest::addColumn<ConfigFault>("fault");
    QTest::addColumn<int>("line");
    QTest::newRow("max_age") << QByteArray("max_age = \"10\"\n") << ConfigFault::DurationForm << 4;
    QTest::newRow("stale without max_age")
        << QByteArray("stale = { value = 0 }\n") << ConfigFault::StaleUnwatched << 4;
    QTest::newRow("stale word") << QByteArray("max_age = \"1m\"\nstale = \"drop\"\n")
                                << ConfigFault::StaleForm << 5;
    QTest::newRow("stale value") << QByteArray("max_age = \"1m\"\nstale = { value = -1 }\n")
                                 << ConfigFault::NotWholeNumber << 5;
    QTest::newRow("stale with two actions")
        << QByteArray("max_age = \"1m\"\nstale = { value = 0, image = { text = \"x\" } }\n")
        << ConfigFault::StaleForm << 5;
    QTest::newRow("stale image")
        << QByteArray("max_age = \"1m\"\nstale = { image = { text = \"x\", window = [1] } }\n")
        << ConfigFault::ImageRefused << 5;
    QTest::newRow("unit number") << QByteArray("units.300.max_age = \"1m\"\n")
                                 << ConfigFault::UnitKeyForm << 4;
    QTest::newRow("unit max_age") << QByteArray("units.3.max_age = \"5x\"\n")
                                  << ConfigFault::UnitMaxAgeForm << 4;
    QTest::newRow("unit key") << QByteArray("units.3.maxage = \"5m\"\n") << ConfigFault::UnknownKey
                              << 4;
    QTest::newRow("power without off")
        << QByteArray("power = { on = \"06:00\" }\n") << ConfigFault::PowerHalf << 4;
    QTest::newRow("power the same") << QByteArray("power = { on = \"06:00\", off = \"06:00\" }\n")
                                    << ConfigFault::PowerSameTime << 4;
    QTest::newRow("power time") << QByteArray("power = { on = \"6\", off = \"22:00\" }\n")
                                << ConfigFault::TimeOfDayForm << 4;
    QTest::newRow("power days")
        << QByteArray("power = { on = \"06:00\", off = \"22:00\", days = \"weekdays\" }\n")
        << ConfigFault::DaysForm << 4;
    QTest::newRow("power key")
        << QByteArray("power = { on = \"06:00\", off = \"22:00\", day = \"mon\" }\n")
        << ConfigFault::UnknownKey << 4;
}

void TestGuardRules::configFaults() {
    QFETCH(QByteArray, lines);
    QFETCH(ConfigFault, fault);
    QFETCH(int, line);
    const auto read = readConfig("[[sign]]\nname = \"l1\"\nlink = \"1\"\n" + lines, u"z.toml"_s);
    const QString lacking = test::lacksFinding(read, fault, line);
    QVERIFY2(lacking.isEmpty(), qPrintable(lacking));
}

void TestGuardRules::configRead() {
    const auto read =
        readConfig("[[sign]]\nname = \"l1\"\nlink = \"1\"\nmax_age = \"10m\"\n"
                   "units.4.max_age = \"off\"\n"
                   "[sign.units.5]\nmax_age = \"30s\"\n"
                   "[sign.stale]\nimage = { text = \"数据中断\" }\n"
                   "[sign.power]\non = \"22:00\"\noff = \"06:00\"\ndays = \"mon-fri\"\n",
                   u"z.toml"_s);
    if (const auto* faults = std::get_if<QList<ConfigFinding>>(&read))
        QFAIL(qPrintable(describe(*faults, u"z.toml"_s).join(u'\n')));
    const SignConfig& sign = std::get<Config>(read).signs.first();
    QCOMPARE(sign.maxAgeMs, std::optional<int64_t>(600000));
    QCOMPARE(sign.unitMaxAgeMs.at(4), std::nullopt);
    QCOMPARE(sign.unitMaxAgeMs.at(5), std::optional<int64_t>(30000));
    QCOMPARE(sign.staleAction, StaleAction::Image);
    QVERIFY(sign.staleImage->payload.contains("数据中断"));
    QCOMPARE(sign.power->on, QTime(22, 0));
    QCOMPARE(sign.power->days.to_ulong(), 0x1Fu);
}

QTEST_GUILESS_MAIN(TestGuardRules)
#include "tst_guardrules.moc"
