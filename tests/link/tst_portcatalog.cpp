#include <link/portcatalog.h>

#include <QTest>

using namespace Qt::StringLiterals;

class TestPortCatalog : public QObject {
    Q_OBJECT
private slots:
    void order_data();
    void order();
    void numbers();
    void devicePathsOpenAsTheyStand();
};

void TestPortCatalog::order_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("ordered");
    QTest::newRow("groups in order")
        << QStringList{u"ttyACM0"_s, u"ttyUSB0"_s, u"ttyAMA0"_s, u"ttyS0"_s}
        << QStringList{u"ttyS0"_s, u"ttyAMA0"_s, u"ttyUSB0"_s, u"ttyACM0"_s};
    QTest::newRow("numbers, not text") << QStringList{u"ttyS10"_s, u"ttyS2"_s, u"ttyS1"_s}
                                       << QStringList{u"ttyS1"_s, u"ttyS2"_s, u"ttyS10"_s};
    QTest::newRow("the rest last, by name")
        << QStringList{u"rfcomm0"_s, u"ttyXRUSB1"_s, u"ttyUSB3"_s, u"ttyXRUSB0"_s}
        << QStringList{u"ttyUSB3"_s, u"rfcomm0"_s, u"ttyXRUSB0"_s, u"ttyXRUSB1"_s};
    QTest::newRow("pseudo-terminals left out")
        << QStringList{u"pts/3"_s, u"ttyS0"_s, u"ptmx"_s} << QStringList{u"ttyS0"_s};
    QTest::newRow("none") << QStringList{} << QStringList{};
}

void TestPortCatalog::order() {
    QFETCH(QStringList, names);
    QFETCH(QStringList, ordered);
    QCOMPARE(zarnet::orderSerialDevices(names), ordered);
}

void TestPortCatalog::numbers() {
    const QStringList ports = {u"ttyS0"_s, u"ttyUSB0"_s};
    QCOMPARE(zarnet::nthDevice(ports, 1), std::optional<QString>(u"ttyS0"_s));
    QCOMPARE(zarnet::nthDevice(ports, 2), std::optional<QString>(u"ttyUSB0"_s));
    QVERIFY(!zarnet::nthDevice(ports, 3));
    QVERIFY(!zarnet::nthDevice(ports, 0));
    QVERIFY(!zarnet::nthDevice(ports, -1));
}

void TestPortCatalog::devicePathsOpenAsTheyStand() {
    zarnet::SystemPortCatalog catalog;
#ifndef Q_OS_WIN
    QCOMPARE(catalog.device(u"/dev/pts/7"_s), std::optional<QString>(u"/dev/pts/7"_s));
    QCOMPARE(catalog.device(u" /dev/ttyUSB0 "_s), std::optional<QString>(u"/dev/ttyUSB0"_s));
#endif
    QVERIFY(!catalog.device(u"abc"_s));
    QVERIFY(!catalog.device(u"70000"_s));
}

QTEST_GUILESS_MAIN(TestPortCatalog)
#include "tst_portcatalog.moc"
