#include <support/golden.h>
#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <ui/messages.h>

#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;

class TestControlCommands : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void frames_data();
    void frames();
    void clockFrameForTheInjectedTime();
    void clearLeavesTheCanvas();
    void findReportsTheDevice();
    void bytesDuringTheMessageAreDropped();
    void unknownCommandShowsNothing();
    void replyLongerThanThresholdIsDropped();
    void staleBytesSpoilTheNextReply();
    void kTwelveFillsTenFields();

private:
    void press(const QString& button, const QString& device);

    std::unique_ptr<VirtualController> controller;
    std::unique_ptr<FormFixture> fixture;
};

void TestControlCommands::init() {
    controller = std::make_unique<VirtualController>();
    fixture = std::make_unique<FormFixture>();
    fixture->start(controller->path());
    QVERIFY(fixture->serial.isOpen());
}

void TestControlCommands::cleanup() {
    fixture.reset();
    controller.reset();
}

void TestControlCommands::press(const QString& button, const QString& device) {
    fixture->enter(fixture->c().control.deviceNumber, device);
    fixture->click(fixture->find<QPushButton>(button));
}

void TestControlCommands::frames_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("threshold");
    QTest::newRow("power on 1") << u"OpenPowCommand"_s << u"1"_s << golden::PowerOn1 << 0;
    QTest::newRow("power on 255") << u"OpenPowCommand"_s << u"255"_s << golden::PowerOn255 << 0;
    QTest::newRow("power off 1") << u"ClosePowCommand"_s << u"1"_s << golden::PowerOff1 << 0;
    QTest::newRow("clear 1") << u"ClsDotCommand"_s << u"1"_s << golden::Clear1 << 0;
    QTest::newRow("find 1") << u"FindCommand"_s << u"1"_s << golden::Find1 << 9;
    QTest::newRow("find 255") << u"FindCommand"_s << u"255"_s << golden::Find255 << 9;
}

void TestControlCommands::frames() {
    QFETCH(QString, button);
    QFETCH(QString, device);
    QFETCH(QByteArray, frame);
    QFETCH(int, threshold);
    press(button, device);
    fixture->click(fixture->find<QPushButton>(button)); // a second click sends the same frame again
    QTRY_COMPARE(controller->frames().size(), 2);
    QCOMPARE(controller->frames()[0].toHex(' '), frame.toHex(' '));
    QCOMPARE(controller->frames()[1].toHex(' '), frame.toHex(' '));
    QCOMPARE(controller->received().size(), 2 * frame.size());
    QCOMPARE(fixture->serial.receiveThreshold(), threshold);
    QVERIFY(fixture->messages.errors.isEmpty());
}

void TestControlCommands::clockFrameForTheInjectedTime() {
    fixture->now = QDateTime(QDate(2026, 12, 5), QTime(20, 18, 51));
    press(u"SeTimeCommand"_s, u"1"_s);
    fixture->now = QDateTime(QDate(2027, 3, 1), QTime(9, 5, 7));
    fixture->click(fixture->c().control.setTime);
    QTRY_COMPARE(controller->frames().size(), 2);
    QCOMPARE(controller->frames()[0].toHex(' '), golden::Clock1.toHex(' '));
    QCOMPARE(controller->frames()[1].mid(6, 6).toHex(' '), "1b 03 01 09 05 07"_ba);
}

void TestControlCommands::clearLeavesTheCanvas() {
    fixture->click(fixture->c().dots.drawText);
    const QImage drawn = fixture->form->canvas().image();
    fixture->click(fixture->c().dots.clearDots);
    QTRY_COMPARE(controller->frames().size(), 1);
    QCOMPARE(fixture->form->canvas().image(), drawn);
}

void TestControlCommands::findReportsTheDevice() {
    controller->setAnswering(true);
    fixture->click(fixture->c().control.find);
    QTRY_COMPARE(fixture->messages.informations.size(), 1);
    QCOMPARE(fixture->messages.informations[0], u"找到  255 号设备~！"_s);
    QCOMPARE(text::foundDevice(5), u"找到  5 号设备~！"_s);
    QCOMPARE(fixture->serial.inBufferCount(), 0);
    QVERIFY(fixture->messages.errors.isEmpty());
}

void TestControlCommands::bytesDuringTheMessageAreDropped() {
    fixture->click(fixture->c().control.find);
    fixture->messages.whileOpen = [this] {
        controller->send("late bytes"_ba);
        QTRY_COMPARE(fixture->serial.inBufferCount(), 10);
    };
    controller->send(VirtualController::findReply(5));
    QTRY_COMPARE(fixture->messages.informations.size(), 1);
    QCOMPARE(fixture->messages.informations[0], u"找到  5 号设备~！"_s);
    QCOMPARE(fixture->serial.inBufferCount(), 0);
}

void TestControlCommands::unknownCommandShowsNothing() {
    fixture->click(fixture->c().control.find);
    controller->send(VirtualController::reply(0x12, "\x01"_ba));
    QTRY_COMPARE(fixture->serial.inBufferCount(), 0);
    QTest::qWait(50);
    QVERIFY(fixture->messages.informations.isEmpty());
}

void TestControlCommands::replyLongerThanThresholdIsDropped() {
    fixture->click(fixture->c().control.find); // threshold 9
    const QByteArray unitReply = VirtualController::unitReply(0, {1234});
    QCOMPARE(unitReply.size(), 14);
    controller->sendInPieces(unitReply, {9, 5}, 100);
    QTRY_COMPARE(fixture->serial.inBufferCount(), 5);
    QCOMPARE(fixture->c().readBack.readBackValues[0]->text(), u"0"_s);
}

void TestControlCommands::staleBytesSpoilTheNextReply() {
    controller->send("\x02\x00\x09"_ba); // below any threshold: stays waiting
    QTRY_COMPARE(fixture->serial.inBufferCount(), 3);
    fixture->click(fixture->c().control.find);
    controller->send(VirtualController::findReply(9));
    QTRY_COMPARE(fixture->serial.inBufferCount(), 0);
    QTest::qWait(50);
    QVERIFY(fixture->messages.informations.isEmpty());
}

void TestControlCommands::kTwelveFillsTenFields() {
    QList<uint32_t> values;
    for (uint32_t i = 0; i < 12; ++i)
        values.append(100 + i);
    fixture->serial.setReceiveThreshold(58);
    controller->send(VirtualController::unitReply(0, values));
    QTRY_COMPARE(fixture->c().readBack.readBackValues[9]->text(), u"109"_s);
    QCOMPARE(fixture->c().readBack.readBackValues[0]->text(), u"100"_s);
}

QTEST_MAIN(TestControlCommands)
#include "tst_controlcommands.moc"
