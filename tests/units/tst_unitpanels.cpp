#include <support/golden.h>
#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <ui/messages.h>

#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;
using namespace zarnet::test::reach;

class TestUnitPanels : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void showAtOnceAndFixed();
    void countNineSendsAllNineValues();
    void refusalsSendNothing_data();
    void refusalsSendNothing();
    void readRequestArmsTheThreshold();
    void writeThenReadBack();
    void shortReplyLeavesLaterFields();
    void closedPortSendsNothing();

private:
    // Nothing may reach the line for a while.
    void expectSilence();

    std::unique_ptr<VirtualController> controller;
    std::unique_ptr<FormFixture> fixture;
};

void TestUnitPanels::init() {
    controller = std::make_unique<VirtualController>();
    fixture = std::make_unique<FormFixture>();
    fixture->start(controller->path());
    QVERIFY(fixture->serial.isOpen());
}

void TestUnitPanels::cleanup() {
    fixture.reset();
    controller.reset();
}

void TestUnitPanels::expectSilence() {
    QTest::qWait(100);
    QCOMPARE(controller->received().toHex(' '), QByteArray());
}

void TestUnitPanels::showAtOnceAndFixed() {
    fixture->enter(fixture->c().download.values[0], u"1234"_s);
    fixture->click(fixture->c().download.showNow);
    fixture->click(fixture->c().download.showFixed);
    QTRY_COMPARE(controller->frames().size(), 2);
    QCOMPARE(controller->frames()[0].toHex(' '), golden::Units1234ShowNow.toHex(' '));
    QCOMPARE(controller->frames()[1].toHex(' '), golden::Units1234Fixed.toHex(' '));
    QCOMPARE(fixture->c().download.values[0]->text(), u"1234"_s);
}

void TestUnitPanels::countNineSendsAllNineValues() {
    fixture->enter(fixture->c().download.unitCount, u"9"_s);
    for (int i = 0; i < 9; ++i)
        fixture->enter(fixture->c().download.values[i], QString::number(i + 1));
    fixture->click(fixture->c().download.showNow);
    QTRY_COMPARE(controller->frames().size(), 1);
    const QByteArray frame = controller->frames()[0];
    QCOMPARE(frame.size(), 46);
    QCOMPARE(frame.left(3).toHex(), "02002e"_ba);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(uint8_t(frame[11 + 4 * i]), uint8_t(i + 1));
}

void TestUnitPanels::refusalsSendNothing_data() {
    QTest::addColumn<EditOf>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<ButtonOf>("button");
    QTest::newRow("download count 10") << downloadCount << u"10"_s << showNow;
    QTest::newRow("download start -1") << downloadStart << u"-1"_s << showFixed;
    QTest::newRow("value -1") << firstValue << u"-1"_s << showNow;
    QTest::newRow("value 3e9") << firstValue << u"3e9"_s << showNow;
    QTest::newRow("read start letters") << readStart << u"ab"_s << getData;
    QTest::newRow("read start -1") << readStart << u"-1"_s << getData;
    QTest::newRow("read count empty") << readCount << QString() << getData;
}

void TestUnitPanels::refusalsSendNothing() {
    QFETCH(EditOf, field);
    QFETCH(QString, text);
    QFETCH(ButtonOf, button);
    QLineEdit* edit = field(fixture->c());
    fixture->serial.setReceiveThreshold(9);
    fixture->enter(edit, text);
    fixture->click(button(fixture->c()));
    QCOMPARE(fixture->messages.errors.size(), 1);
    QVERIFY(!fixture->messages.errors[0].isEmpty());
    QCOMPARE(QApplication::focusWidget(), edit);
    QCOMPARE(edit->text(), text);
    QCOMPARE(fixture->serial.receiveThreshold(), 9);
    expectSilence();
}

void TestUnitPanels::readRequestArmsTheThreshold() {
    fixture->enter(fixture->c().readBack.unitCount, u"10"_s);
    fixture->click(fixture->c().readBack.getData);
    QTRY_COMPARE(controller->frames().size(), 1);
    QCOMPARE(controller->frames()[0].toHex(' '),
             QByteArray::fromHex("02000AFFEE30000A2103").toHex(' ')); // count 10, device 255
    QCOMPARE(fixture->serial.receiveThreshold(), 50);
}

void TestUnitPanels::writeThenReadBack() {
    controller->setAnswering(true);
    fixture->enter(fixture->c().download.startUnit, u"3"_s);
    fixture->enter(fixture->c().download.unitCount, u"3"_s);
    fixture->enter(fixture->c().download.values[0], u"99999999"_s);
    fixture->enter(fixture->c().download.values[1], u"0"_s);
    fixture->enter(fixture->c().download.values[2], u"2.5"_s);
    fixture->click(fixture->c().download.showFixed);
    QTRY_COMPARE(controller->units().size(), 3);

    fixture->enter(fixture->c().readBack.startUnit, u"3"_s);
    fixture->enter(fixture->c().readBack.unitCount, u"3"_s);
    fixture->click(fixture->c().readBack.getData);
    QTRY_COMPARE(fixture->c().readBack.readBackValues[0]->text(), u"99999999"_s);
    QCOMPARE(fixture->c().readBack.readBackValues[1]->text(), u"0"_s);
    QCOMPARE(fixture->c().readBack.readBackValues[2]->text(), u"2"_s);
    QCOMPARE(fixture->serial.inBufferCount(), 0);
    QVERIFY(fixture->messages.errors.isEmpty());
}

void TestUnitPanels::shortReplyLeavesLaterFields() {
    for (int i = 0; i < 10; ++i)
        fixture->c().readBack.readBackValues[i]->setText(u"x"_s);
    fixture->enter(fixture->c().readBack.unitCount, u"3"_s);
    fixture->click(fixture->c().readBack.getData);
    QTRY_COMPARE(controller->frames().size(), 1);
    controller->send(VirtualController::unitReply(0, {4294967295u, 5, 6}));
    QTRY_COMPARE(fixture->c().readBack.readBackValues[0]->text(), u"4294967295"_s);
    QCOMPARE(fixture->c().readBack.readBackValues[2]->text(), u"6"_s);
    for (int i = 3; i < 10; ++i)
        QCOMPARE(fixture->c().readBack.readBackValues[i]->text(), u"x"_s);
}

void TestUnitPanels::closedPortSendsNothing() {
    fixture->serial.close();
    fixture->click(fixture->c().download.showNow);
    fixture->click(fixture->c().readBack.getData);
    QCOMPARE(fixture->messages.errors, QStringList(2, text::portClosed()));
    QCOMPARE(fixture->serial.receiveThreshold(), 0);
    expectSilence();
}

QTEST_MAIN(TestUnitPanels)
#include "tst_unitpanels.moc"
