#include <core/boardschedule.h>

#include <QTest>

using zarnet::scheduleActive;
using Schedule = std::array<uint8_t, 4>;

class TestBoardSchedule : public QObject {
    Q_OBJECT
private slots:
    void active_data();
    void active();
};

Q_DECLARE_METATYPE(Schedule)

namespace {

Schedule daily(int from, int to) {
    return {uint8_t(0x10 + from / 256), uint8_t(from % 256), uint8_t(to / 256), uint8_t(to % 256)};
}

QDateTime at(int year, int month, int day, int hour, int minute, int second = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

} // namespace

void TestBoardSchedule::active_data() {
    QTest::addColumn<Schedule>("schedule");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<bool>("shown");
    const Schedule work = daily(8 * 60 + 45, 21 * 60 + 30);
    // 2026-12-06 is a Sunday.
    QTest::newRow("always") << Schedule{0, 0, 0, 0} << at(2026, 12, 6, 3, 0) << true;
    QTest::newRow("daily 08:44") << work << at(2026, 12, 6, 8, 44, 59) << false;
    QTest::newRow("daily 08:45") << work << at(2026, 12, 6, 8, 45) << true;
    QTest::newRow("daily 21:30:59") << work << at(2026, 12, 6, 21, 30, 59) << true;
    QTest::newRow("daily 21:31") << work << at(2026, 12, 6, 21, 31) << false;
    const Schedule night = daily(21 * 60 + 30, 8 * 60 + 45);
    QTest::newRow("overnight 23:00") << night << at(2026, 12, 6, 23, 0) << true;
    QTest::newRow("overnight 03:00") << night << at(2026, 12, 6, 3, 0) << true;
    QTest::newRow("overnight 12:00") << night << at(2026, 12, 6, 12, 0) << false;
    const Schedule sunToTue{0x20, 0, 0, 2};
    QTest::newRow("Sunday is 0") << sunToTue << at(2026, 12, 6, 12, 0) << true;
    QTest::newRow("Tuesday") << sunToTue << at(2026, 12, 8, 12, 0) << true;
    QTest::newRow("Wednesday") << sunToTue << at(2026, 12, 9, 12, 0) << false;
    QTest::newRow("Saturday") << sunToTue << at(2026, 12, 5, 12, 0) << false;
    const Schedule friToMon{0x20, 5, 0, 1};
    QTest::newRow("Friday to Monday on Saturday") << friToMon << at(2026, 12, 5, 12, 0) << true;
    QTest::newRow("Friday to Monday on Wednesday") << friToMon << at(2026, 12, 9, 12, 0) << false;
    const Schedule fifthToFifteenth{0x30, 5, 0, 15};
    QTest::newRow("the 4th") << fifthToFifteenth << at(2026, 12, 4, 12, 0) << false;
    QTest::newRow("the 5th") << fifthToFifteenth << at(2026, 12, 5, 0, 0) << true;
    QTest::newRow("the 15th") << fifthToFifteenth << at(2026, 12, 15, 23, 59) << true;
    QTest::newRow("the 16th") << fifthToFifteenth << at(2026, 12, 16, 0, 0) << false;
    QTest::newRow("unknown mode") << Schedule{0x40, 0, 0, 0} << at(2026, 12, 6, 12, 0) << false;
}

void TestBoardSchedule::active() {
    QFETCH(Schedule, schedule);
    QFETCH(QDateTime, when);
    QFETCH(bool, shown);
    QCOMPARE(scheduleActive(schedule, when), shown);
}

QTEST_GUILESS_MAIN(TestBoardSchedule)
#include "tst_boardschedule.moc"
