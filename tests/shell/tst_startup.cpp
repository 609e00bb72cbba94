#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <ui/messages.h>
#include <ui/statuslamp.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void windowHasEveryControl();
    void noUsablePort();
    void scanOrder_data();
    void scanOrder();
    void reopenKeepsTheLampGreen();
    void badPortText();
    void failedSwitchLeavesNoPortOpen();
    void hangUpTurnsTheLampBlack();
    void deviceNumberRule_data();
    void deviceNumberRule();
    void deviceNumberTakenBeforeTheClick();
    void exitClosesThePort();
};

namespace {

const QColor Green(0, 255, 0);
const QColor Black(0, 0, 0);

QColor lamp(FormFixture& f) {
    return f.c().control.portLamp->fillColor();
}

} // namespace

void TestStartup::windowHasEveryControl() {
    FormFixture f;
    f.start();
    QCOMPARE(f.form->windowTitle(), u"ZarnetV1.02 - LED点阵屏控制"_s);
    QCOMPARE(f.form->size(), QSize(655, 415));
    QCOMPARE(f.form->minimumSize(), f.form->maximumSize());
    QVERIFY(f.form->windowIcon().availableSizes().contains(QSize(48, 48)));
    const QMap<QString, int> maxLengths = {
        {u"LedIDText"_s, 10},      {u"StTimeText"_s, 4},      {u"EnTimeText"_s, 4},
        {u"RsAddText_0"_s, 2},     {u"RsAddText_1"_s, 2},     {u"RsDataText_0"_s, 8},
        {u"RsDataText_8"_s, 8},    {u"RsGetAddText_0"_s, 2},  {u"RsGetAddText_1"_s, 2},
        {u"RsGetValText_0"_s, 10}, {u"RsGetValText_9"_s, 10}, {u"DotText"_s, 32767},
        {u"XstText"_s, 32767}};
    for (auto it = maxLengths.begin(); it != maxLengths.end(); ++it) {
        auto* field = f.find<QLineEdit>(it.key());
        QVERIFY2(field, qPrintable(it.key()));
        QCOMPARE(field->maxLength(), it.value());
    }
    const QMap<QString, QString> captions = {
        {u"Frame1"_s, u"控制信息"_s}, {u"Frame2"_s, u"点阵信息"_s},
        {u"Frame3"_s, u"下载数据"_s}, {u"Frame4"_s, u"显示时段控制"_s},
        {u"Frame5"_s, u"返回数据"_s}, {u"Frame6"_s, u"显示位置与大小"_s}};
    for (auto it = captions.begin(); it != captions.end(); ++it)
        QCOMPARE(f.find<QGroupBox>(it.key())->title(), it.value());
    const QStringList buttons = {u"OpenRs232Command"_s, u"FindCommand"_s,     u"SeTimeCommand"_s,
                                 u"OpenPowCommand"_s,   u"ClosePowCommand"_s, u"ExitCommand"_s,
                                 u"DotFontCommand"_s,   u"DotTxtCommand"_s,   u"Command5"_s,
                                 u"ClsDotCommand"_s,    u"TxtSendCommand"_s,  u"Rs23Command"_s,
                                 u"Rs24Command"_s,      u"RsGetCommand"_s};
    for (const QString& name : buttons)
        QVERIFY2(f.find<QPushButton>(name), qPrintable(name));
    QCOMPARE(f.find<QWidget>(u"Picture1"_s), f.c().dots.picture);
    QVERIFY(f.find<QWidget>(u"Line1"_s));
    for (int i = 0; i < 4; ++i)
        QVERIFY(f.find<QWidget>(u"Label3_%1"_s.arg(i)));
    QCOMPARE(f.find<QWidget>(u"Label3_0"_s)->parentWidget()->objectName(), u"Frame5"_s);
    QCOMPARE(f.find<QWidget>(u"Label3_3"_s)->parentWidget()->objectName(), u"Frame3"_s);
    QCOMPARE(f.c().dots.dotText->font().pointSizeF(), 21.75);
    QVERIFY(f.c().dots.width->font().bold());
    // Group boxes stand side by side, left to right.
    QCOMPARE(f.find<QWidget>(u"Frame2"_s)->geometry(), QRect(8, 8, 273, 401));
    QCOMPARE(f.find<QWidget>(u"Frame1"_s)->geometry(), QRect(528, 8, 121, 401));
    // Inside "点阵信息": 120, 2040, 3855 × 1455 and 120, 3720, 3855 × 1695 twips.
    QCOMPARE(f.find<QWidget>(u"Frame6"_s)->geometry(), QRect(8, 136, 257, 97));
    QCOMPARE(f.find<QWidget>(u"Frame4"_s)->geometry(), QRect(8, 248, 257, 113));
    for (QWidget* child :
         f.find<QWidget>(u"Frame4"_s)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        QVERIFY2(QRect(0, 0, 257, 113).contains(child->geometry()),
                 qPrintable(child->objectName()));
}

void TestStartup::noUsablePort() {
    FormFixture f;
    f.start();
    QCOMPARE(f.messages.errors, QStringList{text::noUsablePort()});
    auto* combo = f.c().control.portBox;
    QCOMPARE(combo->count(), 16);
    for (int i = 0; i < 16; ++i)
        QCOMPARE(combo->itemText(i), QString::number(i + 1));
    QCOMPARE(combo->currentText(), u"3"_s);
    QCOMPARE(f.c().control.deviceNumber->text(), u"255"_s);
    QCOMPARE(f.form->link().device(), uint8_t(255));
    QVERIFY(f.c().dots.timeOptions[0]->isChecked());
    QVERIFY(!f.serial.isOpen());
    QVERIFY(lamp(f) != Green && lamp(f) != Black);
}

void TestStartup::scanOrder_data() {
    // Each port: m = missing, b = busy, f = free, o = opens with another failure.
    QTest::addColumn<QString>("ports");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("1, 2 missing, 3 free") << u"mmf"_s << u"3"_s << true << QStringList{};
    QTest::newRow("1 busy, 2 free") << u"bf"_s << u"2"_s << true << QStringList{};
    QTest::newRow("16th free") << u"bbbbbbbbbbbbbbbf"_s << u"16"_s << true << QStringList{};
    QTest::newRow("other failure is chosen")
        << u"mof"_s << u"2"_s << false << QStringList{text::portOpenError()};
    QTest::newRow("all busy") << u"bb"_s << u"3"_s << false << QStringList{text::noUsablePort()};
}

void TestStartup::scanOrder() {
    QFETCH(QString, ports);
    QFETCH(QString, chosen);
    QFETCH(bool, open);
    QFETCH(QStringList, errors);
    QTemporaryDir dir;
    std::vector<std::unique_ptr<VirtualController>> controllers;
    std::vector<std::unique_ptr<QSerialPort>> holders;
    FormFixture f;
    for (int i = 0; i < ports.size(); ++i) {
        const QString number = QString::number(i + 1);
        const QChar kind = ports[i];
        if (kind == u'm') {
            f.catalog.ports[number] = dir.filePath(u"missing"_s);
            continue;
        }
        if (kind == u'o') {
            f.catalog.ports[number] = u"/dev/null"_s; // exists, but is no serial line
            continue;
        }
        controllers.push_back(std::make_unique<VirtualController>());
        f.catalog.ports[number] = controllers.back()->path();
        if (kind == u'b') {
            holders.push_back(std::make_unique<QSerialPort>(controllers.back()->path()));
            QVERIFY(holders.back()->open(QIODevice::ReadWrite));
        }
    }
    f.start();
    QCOMPARE(f.c().control.portBox->currentText(), chosen);
    QCOMPARE(f.serial.isOpen(), open);
    QCOMPARE(f.messages.errors, errors);
    if (errors.isEmpty())
        QCOMPARE(lamp(f), Green);
    else if (errors[0] == text::portOpenError())
        QCOMPARE(lamp(f), Black);
    if (open)
        QCOMPARE(u"/dev/"_s + f.serial.portName(), f.catalog.ports[chosen]);
}

void TestStartup::reopenKeepsTheLampGreen() {
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    f.click(f.c().control.openPort);
    QVERIFY(f.serial.isOpen());
    QCOMPARE(lamp(f), Green);
    QVERIFY(f.messages.errors.isEmpty());
}

void TestStartup::badPortText() {
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    f.c().control.portBox->setEditText(u"abc"_s);
    f.click(f.c().control.openPort);
    QCOMPARE(lamp(f), Black);
    QCOMPARE(f.messages.errors, QStringList{text::portOpenError()});
    QVERIFY(!f.serial.isOpen());
}

void TestStartup::failedSwitchLeavesNoPortOpen() {
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    QVERIFY(f.serial.isOpen());
    f.c().control.portBox->setEditText(u"9"_s);
    f.click(f.c().control.openPort);
    QVERIFY(!f.serial.isOpen());
    QCOMPARE(lamp(f), Black);
    // The first port is free again: another program could take it now.
    QSerialPort other(controller.path());
    QVERIFY(other.open(QIODevice::ReadWrite));
}

void TestStartup::hangUpTurnsTheLampBlack() {
    auto controller = std::make_unique<VirtualController>();
    FormFixture f;
    f.start(controller->path());
    QCOMPARE(lamp(f), Green);
    controller->hangUp();
    QTRY_VERIFY(!f.serial.isOpen());
    QCOMPARE(lamp(f), Black);
    f.click(f.c().control.powerOn);
    QCOMPARE(f.messages.errors, QStringList{text::portClosed()});
}

void TestStartup::deviceNumberRule_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("device");
    // The device number is 7 before each row is typed.
    QTest::newRow("300") << u"300"_s << u"255"_s << 255;
    QTest::newRow("255") << u"255"_s << u"255"_s << 255;
    QTest::newRow("0") << u"0"_s << u"0"_s << 0;
    QTest::newRow("7") << u"7"_s << u"7"_s << 7;
    QTest::newRow("32767") << u"32767"_s << u"255"_s << 255;
    QTest::newRow("abc") << u"abc"_s << u"7"_s << 7;
    QTest::newRow("empty") << QString() << u"7"_s << 7;
    QTest::newRow("negative") << u"-1"_s << u"7"_s << 7;
    QTest::newRow("beyond 16 bits") << u"70000"_s << u"7"_s << 7;
    QTest::newRow("blanks around") << u" 12 "_s << u" 12 "_s << 12;
}

void TestStartup::deviceNumberRule() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, device);
    FormFixture f;
    f.start();
    f.enter(f.c().control.deviceNumber, u"7"_s);
    QCOMPARE(f.form->link().device(), uint8_t(7));
    f.enter(f.c().control.deviceNumber, typed);
    QCOMPARE(f.c().control.deviceNumber->text(), shown);
    QCOMPARE(int(f.form->link().device()), device);
    QCOMPARE(f.messages.errors.size(), 1); // only the scan's
}

void TestStartup::deviceNumberTakenBeforeTheClick() {
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    auto* field = f.c().control.deviceNumber;
    field->setFocus(Qt::MouseFocusReason);
    field->selectAll();
    QTest::keyClicks(field, u"1"_s);
    f.click(f.c().control.powerOn);
    QTRY_COMPARE(controller.frames().size(), 1);
    QCOMPARE(controller.frames()[0].toHex(' '), "02 00 09 01 ee 12 01 f5 03"_ba);
}

void TestStartup::exitClosesThePort() {
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    QVERIFY(f.serial.isOpen());
    f.click(f.c().control.exit);
    QVERIFY(!f.form->isVisible());
    QVERIFY(!f.serial.isOpen());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
