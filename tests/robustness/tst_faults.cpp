#include <support/golden.h>
#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <ui/messages.h>
#include <ui/statuslamp.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void hangUpDuringTheLargestImage();
    void garbageWithoutPause();
    void repliesOneByteAtATime();
    void portTakenBetweenScanAndOpen();
};

namespace {

QColor lamp(FormFixture& f) {
    return f.c().control.portLamp->fillColor();
}

// Hands out ports like any catalog, but once the window has had its port open
// and closed it again, another program takes the device before it is reopened.
class GrabbingCatalog : public MapCatalog {
public:
    explicit GrabbingCatalog(const SerialLink& serial) : serial_(serial) {}

    std::optional<QString> device(const QString& portText) const override {
        const auto path = MapCatalog::device(portText);
        if (serial_.isOpen()) {
            armed_ = true;
        } else if (armed_ && path && !thief) {
            thief = std::make_unique<QSerialPort>(*path);
            thief->open(QIODevice::ReadWrite);
        }
        return path;
    }
    mutable std::unique_ptr<QSerialPort> thief;

private:
    const SerialLink& serial_;
    mutable bool armed_ = false;
};

} // namespace

void TestFaults::hangUpDuringTheLargestImage() {
    auto first = std::make_unique<VirtualController>();
    FormFixture f;
    f.start(first->path());
    f.c().dots.width->setText(u"256"_s);
    f.c().dots.height->setText(u"64"_s);
    f.click(f.c().dots.sendImage); // 2064 bytes wait in the port's buffer...
    first->hangUp();             // ...when the line goes
    QTRY_VERIFY(!f.serial.isOpen());
    QCOMPARE(lamp(f), QColor(0, 0, 0));

    // Back on a good line, the next frame goes out whole, with nothing left over.
    VirtualController second;
    f.catalog.ports[u"1"_s] = second.path();
    f.c().control.portBox->setEditText(u"1"_s);
    f.click(f.c().control.openPort);
    QCOMPARE(lamp(f), QColor(0, 255, 0));
    f.click(f.c().dots.sendImage);
    QTRY_COMPARE(second.frames().size(), 1);
    QTest::qWait(50);
    QCOMPARE(second.received().size(), 2064);
    QCOMPARE(second.frames()[0].size(), 2064);
}

void TestFaults::garbageWithoutPause() {
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    f.click(f.c().control.find); // threshold 9: every 9 bytes make an event

    int ticks = 0;
    QTimer heartbeat; // the window's thread must keep turning
    connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
    heartbeat.start(20);
    QTimer flood;
    connect(&flood, &QTimer::timeout, [&] {
        QByteArray junk(512, '\0');
        for (char& byte : junk)
            byte = char(QRandomGenerator::global()->bounded(256));
        controller.send(junk);
    });
    flood.start(1);
    QElapsedTimer elapsed;
    elapsed.start();
    QTest::qWait(2000);
    flood.stop();
    QVERIFY2(ticks >= 40, qPrintable(QString::number(ticks)));
    QVERIFY(f.messages.informations.isEmpty());
    QVERIFY(f.messages.errors.isEmpty());
    QVERIFY(f.serial.isOpen());

    QTRY_COMPARE(f.serial.inBufferCount() < 9, true);
    f.serial.clearInput();
    controller.setAnswering(true);
    f.click(f.c().control.find);
    QTRY_COMPARE(f.messages.informations, QStringList{text::foundDevice(255)});
}

void TestFaults::repliesOneByteAtATime() {
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    f.click(f.c().control.find);
    const QByteArray found = VirtualController::findReply(255);
    controller.sendInPieces(found, QList<int>(found.size(), 1), 5);
    QTRY_COMPARE(f.messages.informations, QStringList{text::foundDevice(255)});

    f.enter(f.c().readBack.unitCount, u"3"_s);
    f.click(f.c().readBack.getData);
    const QByteArray values = VirtualController::unitReply(0, {11, 22, 33});
    controller.sendInPieces(values, QList<int>(values.size(), 1), 5);
    QTRY_COMPARE(f.c().readBack.readBackValues[2]->text(), u"33"_s);
    QCOMPARE(f.c().readBack.readBackValues[0]->text(), u"11"_s);
    QCOMPARE(f.serial.inBufferCount(), 0);
}

void TestFaults::portTakenBetweenScanAndOpen() {
    VirtualController controller;
    FormFixture f;
    GrabbingCatalog catalog(f.serial);
    catalog.ports[u"1"_s] = controller.path();
    f.form = std::make_unique<MainForm>(
        Platform{f.serial, catalog, f.messages, f.dialogs, [&f] { return f.now; }});
    f.form->load();
    QVERIFY(catalog.thief && catalog.thief->isOpen());
    QCOMPARE(f.c().control.portBox->currentText(), u"1"_s);
    QCOMPARE(f.messages.errors, QStringList{text::portOpenError()});
    QVERIFY(!f.serial.isOpen());
    QCOMPARE(lamp(f), QColor(0, 0, 0));
    f.click(f.c().control.powerOn);
    QCOMPARE(f.messages.errors.last(), text::portClosed());
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
