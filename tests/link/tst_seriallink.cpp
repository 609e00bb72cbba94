#include <support/virtualcontroller.h>

#include <link/qtseriallink.h>

#include <QRandomGenerator>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using zarnet::OpenResult;
using zarnet::QtSerialLink;
using zarnet::test::VirtualController;

class TestSerialLink : public QObject {
    Q_OBJECT
private slots:
    void openTellsFailuresApart();
    void reopenKeepsThreshold();
    void noEventsAtThresholdZero();
    void oneEventAtTheThreshold();
    void bytesKeptAcrossThresholdChange();
    void largestFrameGoesOutWhole();
    void closedPortRefusesWrites();
    void hangUpClosesThePort();
};

void TestSerialLink::openTellsFailuresApart() {
    VirtualController controller;
    QtSerialLink link;
    QCOMPARE(link.open(u"/dev/zarnet-no-such-port"_s), OpenResult::NoSuchPort);
    QVERIFY(!link.isOpen());

    QSerialPort other;
    other.setPortName(controller.path());
    QVERIFY(other.open(QIODevice::ReadWrite));
    QCOMPARE(link.open(controller.path()), OpenResult::PortInUse);
    other.close();

    QCOMPARE(link.open(controller.path()), OpenResult::Opened);
    QVERIFY(link.isOpen());
}

void TestSerialLink::reopenKeepsThreshold() {
    VirtualController controller;
    QtSerialLink link;
    link.setReceiveThreshold(14);
    QCOMPARE(link.open(controller.path()), OpenResult::Opened);
    link.close();
    QCOMPARE(link.open(controller.path()), OpenResult::Opened);
    QCOMPARE(link.receiveThreshold(), 14);
}

void TestSerialLink::noEventsAtThresholdZero() {
    VirtualController controller;
    QtSerialLink link;
    QCOMPARE(link.open(controller.path()), OpenResult::Opened);
    QSignalSpy events(&link, &QtSerialLink::commEvent);
    controller.send(QByteArray(20, 'x'));
    QTRY_COMPARE(link.inBufferCount(), 20);
    QTest::qWait(50);
    QCOMPARE(events.count(), 0);
}

void TestSerialLink::oneEventAtTheThreshold() {
    VirtualController controller;
    QtSerialLink link;
    QCOMPARE(link.open(controller.path()), OpenResult::Opened);
    link.setReceiveThreshold(9);
    QSignalSpy events(&link, &QtSerialLink::commEvent);
    controller.send(QByteArray(8, 'a'));
    QTRY_COMPARE(link.inBufferCount(), 8);
    QTest::qWait(50);
    QCOMPARE(events.count(), 0);
    controller.send(QByteArray(1, 'b'));
    QTRY_COMPARE(events.count(), 1);
    QCOMPARE(events.at(0).at(0).value<zarnet::CommEvent>(), zarnet::CommEvent::Receive);
    QCOMPARE(link.inBufferCount(), 9);
    QCOMPARE(link.input(), QByteArray(8, 'a') + 'b');
    QCOMPARE(link.inBufferCount(), 0);
}

void TestSerialLink::bytesKeptAcrossThresholdChange() {
    VirtualController controller;
    QtSerialLink link;
    QCOMPARE(link.open(controller.path()), OpenResult::Opened);
    controller.send("stale"_ba);
    QTRY_COMPARE(link.inBufferCount(), 5);
    QSignalSpy events(&link, &QtSerialLink::commEvent);
    link.setReceiveThreshold(9);
    controller.send("12345"_ba);
    QTRY_COMPARE(events.count(), 1);
    QCOMPARE(link.input(), "stale12345"_ba);
}

void TestSerialLink::largestFrameGoesOutWhole() {
    VirtualController controller;
    QtSerialLink link;
    QCOMPARE(link.open(controller.path()), OpenResult::Opened);
    QByteArray frame(2064, '\0');
    for (char& byte : frame)
        byte = char(QRandomGenerator::global()->bounded(256));
    QVERIFY(link.write(frame));
    QTRY_COMPARE(controller.received().size(), 2064);
    QCOMPARE(controller.received(), frame);
}

void TestSerialLink::closedPortRefusesWrites() {
    QtSerialLink link;
    QVERIFY(!link.write("x"_ba));
}

void TestSerialLink::hangUpClosesThePort() {
    auto* controller = new VirtualController;
    QtSerialLink link;
    QCOMPARE(link.open(controller->path()), OpenResult::Opened);
    QSignalSpy hungUp(&link, &QtSerialLink::hungUp);
    controller->hangUp();
    QTRY_COMPARE(hungUp.count(), 1);
    QVERIFY(!link.isOpen());
    QVERIFY(!link.write("x"_ba));
    delete controller;
    QTest::qWait(50);
    QCOMPARE(hungUp.count(), 1);
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
