#include <core/frame.h>
#include <core/requests.h>

#include <QTest>

class TestFrames : public QObject {
    Q_OBJECT
private slots:
    void golden_data();
    void golden();
    void clockBytes_data();
    void clockBytes();
    void checkByteCoversExactlyTheMiddle();
    void lengthBytes();
};

using Frame = QByteArray;

void TestFrames::golden_data() {
    QTest::addColumn<Frame>("frame");
    QTest::addColumn<Frame>("expected");
    const QDateTime clock(QDate(2026, 12, 5), QTime(20, 18, 51));
    QTest::newRow("power on 1") << zarnet::powerFrame(1, true)
                                << QByteArray::fromHex("02000901EE1201F503");
    QTest::newRow("power on 255") << zarnet::powerFrame(255, true)
                                  << QByteArray::fromHex("020009FFEE12010B03");
    QTest::newRow("power off 1") << zarnet::powerFrame(1, false)
                                 << QByteArray::fromHex("02000901EE1200F403");
    QTest::newRow("clear 1") << zarnet::clearFrame(1) << QByteArray::fromHex("02000901EE4000A603");
    QTest::newRow("find 1") << zarnet::findFrame(1) << QByteArray::fromHex("02000901EE2101C603");
    QTest::newRow("find 255") << zarnet::findFrame(255)
                              << QByteArray::fromHex("020009FFEE21FFC603");
    QTest::newRow("clock 2026-12-05 20:18:51")
        << zarnet::clockFrame(1, clock) << QByteArray::fromHex("02000E01EE201A0C05141233E703");
    QTest::newRow("generic unit read 1")
        << zarnet::buildFrame(1, zarnet::UnitReadCode, QByteArray::fromHex("0001"))
        << QByteArray::fromHex("02000A01EE300001D403");
    QTest::newRow("generic unit read 255")
        << zarnet::buildFrame(255, zarnet::UnitReadCode, QByteArray::fromHex("0001"))
        << QByteArray::fromHex("02000AFFEE3000012A03");
}

void TestFrames::golden() {
    QFETCH(Frame, frame);
    QFETCH(Frame, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void TestFrames::clockBytes_data() {
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<Frame>("bytes6to11");
    QTest::newRow("1 March 2027 09:05:07")
        << QDateTime(QDate(2027, 3, 1), QTime(9, 5, 7)) << QByteArray::fromHex("1B0301090507");
    QTest::newRow("year 2000") << QDateTime(QDate(2000, 1, 1), QTime(12, 0, 0))
                               << QByteArray::fromHex("0001010C0000");
    QTest::newRow("year 2099") << QDateTime(QDate(2099, 12, 31), QTime(1, 2, 3))
                               << QByteArray::fromHex("630C1F010203");
    QTest::newRow("midnight") << QDateTime(QDate(2026, 6, 15), QTime(0, 0, 0))
                              << QByteArray::fromHex("1A060F000000");
    QTest::newRow("23:59:59") << QDateTime(QDate(2026, 6, 15), QTime(23, 59, 59))
                              << QByteArray::fromHex("1A060F173B3B");
}

void TestFrames::clockBytes() {
    QFETCH(QDateTime, time);
    QFETCH(Frame, bytes6to11);
    const QByteArray frame = zarnet::clockFrame(7, time);
    QCOMPARE(frame.size(), 14);
    QCOMPARE(frame.mid(6, 6).toHex(' '), bytes6to11.toHex(' '));
    QCOMPARE(uint8_t(frame[12]), zarnet::checkByte(frame));
}

void TestFrames::checkByteCoversExactlyTheMiddle() {
    const QByteArray frame = zarnet::buildFrame(0x5A, 0x41, QByteArray::fromHex("0102030405"));
    const uint8_t check = zarnet::checkByte(frame);
    for (int i = 0; i < frame.size(); ++i) {
        QByteArray changed = frame;
        changed[i] = char(changed[i] ^ 0x10);
        const bool covered = i >= 1 && i <= frame.size() - 3;
        QVERIFY2((zarnet::checkByte(changed) != check) == covered, qPrintable(QString::number(i)));
    }
}

void TestFrames::lengthBytes() {
    const QByteArray longest = zarnet::buildFrame(255, 0x41, QByteArray(2056, '\0'));
    QCOMPARE(longest.size(), 2064);
    QCOMPARE(uint8_t(longest[1]), uint8_t(0x08));
    QCOMPARE(uint8_t(longest[2]), uint8_t(0x10));
    QCOMPARE(uint8_t(longest[2063]), uint8_t(0x03));
    // A payload whose length cannot be told in 16 bits gives no frame at all.
    QVERIFY(zarnet::buildFrame(1, 0x41, QByteArray(65528, '\0')).isEmpty());
    QCOMPARE(zarnet::buildFrame(1, 0x41, QByteArray(65527, '\0')).size(), 65535);
}

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
