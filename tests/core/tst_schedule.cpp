#include <core/schedule.h>

#include <QTest>
#include <optional>

using fields::Field;

using namespace Qt::StringLiterals;
using namespace zarnet;

class TestSchedule : public QObject {
    Q_OBJECT
private slots:
    void align_data();
    void align();
    void encode_data();
    void encode();
};

void TestSchedule::align_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("aligned"); // null: not a number
    QTest::newRow("70 -> 64") << u"70"_s << 8 << u"64"_s;
    QTest::newRow("64 stays") << u"64"_s << 8 << u"64"_s;
    QTest::newRow("8 stays") << u"8"_s << 8 << u"8"_s;
    QTest::newRow("7 -> 0") << u"7"_s << 8 << u"0"_s;
    QTest::newRow("12.5 reads as 12") << u"12.5"_s << 8 << u"8"_s;
    QTest::newRow("-13 -> -8") << u"-13"_s << 8 << u"-8"_s;
    QTest::newRow("blank dropped") << u" 64"_s << 8 << u"64"_s;
    QTest::newRow("193 -> 192") << u"193"_s << 2 << u"192"_s;
    QTest::newRow("1 -> 0") << u"1"_s << 2 << u"0"_s;
    QTest::newRow("0 stays") << u"0"_s << 2 << u"0"_s;
    QTest::newRow("-3 -> -2") << u"-3"_s << 2 << u"-2"_s;
    QTest::newRow("letters") << u"abc"_s << 8 << QString();
    QTest::newRow("empty") << QString() << 8 << QString();
    QTest::newRow("beyond 16 bits") << u"40000"_s << 2 << QString();
}

void TestSchedule::align() {
    QFETCH(QString, text);
    QFETCH(int, step);
    QFETCH(QString, aligned);
    const auto result = alignDown(text, step);
    QCOMPARE(result.has_value(), !aligned.isNull());
    if (result)
        QCOMPARE(*result, aligned);
}

void TestSchedule::encode_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused
    QTest::addColumn<std::optional<Field>>("refused");
    QTest::newRow("always ignores the fields")
        << 0 << u"zz"_s << u""_s << QByteArray::fromHex("00000000") << std::optional<Field>();
    QTest::newRow("daily 0845-2130")
        << 1 << u"0845"_s << u"2130"_s << QByteArray::fromHex("120D050A") << std::optional<Field>();
    QTest::newRow("daily 0000") << 1 << u"0000"_s << u"0000"_s << QByteArray::fromHex("10000000")
                                << std::optional<Field>();
    QTest::newRow("daily 2359") << 1 << u"2359"_s << u"2359"_s << QByteArray::fromHex("159F059F")
                                << std::optional<Field>();
    QTest::newRow("daily overnight sent as entered")
        << 1 << u"2130"_s << u"0845"_s << QByteArray::fromHex("150A020D") << std::optional<Field>();
    QTest::newRow("daily hours as they stand: 6815 is 4095")
        << 1 << u"6815"_s << u"0000"_s << QByteArray::fromHex("1FFF0000") << std::optional<Field>();
    QTest::newRow("daily past 4095")
        << 1 << u"6816"_s << u"0000"_s << QByteArray() << std::optional(Field::DailyStart);
    QTest::newRow("daily short start")
        << 1 << u"845"_s << u"2130"_s << QByteArray() << std::optional(Field::DailyStart);
    QTest::newRow("daily letters in end")
        << 1 << u"0845"_s << u"21h0"_s << QByteArray() << std::optional(Field::DailyEnd);
    QTest::newRow("daily sign") << 1 << u"-845"_s << u"2130"_s << QByteArray()
                                << std::optional(Field::DailyStart);
    // Each half is a whole number with blanks and halves, as any field reads.
    QTest::newRow("daily blank hour digit")
        << 1 << u" 845"_s << u"2130"_s << QByteArray::fromHex("120D050A") << std::optional<Field>();
    QTest::newRow("daily blanks in both halves")
        << 1 << u"0 8 "_s << u"21 3"_s << QByteArray::fromHex("100804EF") << std::optional<Field>();
    QTest::newRow("daily fraction in the hours")
        << 1 << u"1.5 "_s << u"0845"_s << QByteArray::fromHex("1041020D") << std::optional<Field>();
    QTest::newRow("daily half minutes to even")
        << 1 << u"0002"_s << u"00.5"_s << QByteArray::fromHex("10020000") << std::optional<Field>();
    QTest::newRow("daily blank minutes")
        << 1 << u"08  "_s << u"2130"_s << QByteArray() << std::optional(Field::DailyStart);
    QTest::newRow("daily negative total")
        << 1 << u"0000"_s << u"-1 0"_s << QByteArray() << std::optional(Field::DailyEnd);
    QTest::newRow("weekdays 0-2") << 2 << u"0"_s << u"2"_s << QByteArray::fromHex("20000002")
                                  << std::optional<Field>();
    QTest::newRow("dates 5-15") << 3 << u"5"_s << u"15"_s << QByteArray::fromHex("3005000F")
                                << std::optional<Field>();
    QTest::newRow("dates half to even")
        << 3 << u"4.5"_s << u"15.5"_s << QByteArray::fromHex("30040010") << std::optional<Field>();
    QTest::newRow("weekdays end 256")
        << 2 << u"0"_s << u"256"_s << QByteArray() << std::optional(Field::RangeEnd);
    QTest::newRow("dates empty start")
        << 3 << u""_s << u"15"_s << QByteArray() << std::optional(Field::RangeStart);
}

void TestSchedule::encode() {
    QFETCH(int, mode);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<Field>, refused);
    const auto result = encodeSchedule(ScheduleMode(mode), start, end);
    if (bytes.isEmpty()) {
        QVERIFY(std::holds_alternative<fields::Refusal>(result));
        QVERIFY(refused && std::get<fields::Refusal>(result).field == *refused);
        return;
    }
    QVERIFY(std::holds_alternative<ScheduleBytes>(result));
    const ScheduleBytes got = std::get<ScheduleBytes>(result);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(got.data()), 4).toHex(' '), bytes.toHex(' '));
}

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
