#include <support/resident.h>
#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <ui/messages.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;

// A chattering line must not grow the window, and a reply must wait for the
// handler that is running instead of being handled inside its message box.
class TestFlood : public QObject {
    Q_OBJECT
private slots:
    void floodAtThresholdZero();
    void floodWhileTheFoundBoxIsOpen();
    void replyWaitsForTheRefusalBox();
};

namespace {

constexpr qint64 FloodBytes = 50 * 1024 * 1024;
constexpr long AllowedGrowthKiB = 20 * 1024;

bool flood(VirtualController& controller, qint64 bytes) {
    bool done = false;
    controller.flood(bytes, [&done] { done = true; });
    QElapsedTimer waited;
    waited.start();
    while (!done && waited.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QTest::qWait(100); // what is still in the line arrives
    return done;
}

void checkGrowth(long before) {
    const long after = residentKiB();
    qInfo("resident %ld KiB before, %ld KiB after", before, after);
    if (ResidentSizeMeaningful)
        QVERIFY2(after - before < AllowedGrowthKiB,
                 qPrintable(u"grew by %1 KiB"_s.arg(after - before)));
}

// Presses "测试连接" until the device is shown; the first reply may come behind
// bytes the flood left waiting, and is then discarded together with them.
bool foundAfterAtMostTwoTries(FormFixture& f) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        f.messages.informations.clear();
        f.click(f.c().control.find);
        if (QTest::qWaitFor([&] { return !f.messages.informations.isEmpty(); }, 2000))
            return f.messages.informations == QStringList{text::foundDevice(255)};
    }
    return false;
}

} // namespace

void TestFlood::floodAtThresholdZero() {
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    const long before = residentKiB();
    QVERIFY(flood(controller, FloodBytes));
    checkGrowth(before);
    QVERIFY(f.serial.inBufferCount() <= SerialLink::MaxKept);
    controller.setAnswering(true);
    QVERIFY(foundAfterAtMostTwoTries(f));
}

void TestFlood::floodWhileTheFoundBoxIsOpen() {
    VirtualController controller;
    controller.setAnswering(true);
    FormFixture f;
    f.start(controller.path());
    bool flooded = false;
    f.messages.whileOpen = [&] {
        if (!std::exchange(flooded, true))
            QVERIFY(flood(controller, FloodBytes));
    };
    const long before = residentKiB();
    f.click(f.c().control.find);
    QTRY_VERIFY_WITH_TIMEOUT(flooded, 5000);
    QTRY_COMPARE(f.messages.informations, QStringList{text::foundDevice(255)});
    checkGrowth(before);
    QVERIFY(foundAfterAtMostTwoTries(f));
}

void TestFlood::replyWaitsForTheRefusalBox() {
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    f.click(f.c().control.find); // threshold 9; the controller stays silent for now
    f.c().readBack.startUnit->setText(u"ab"_s);
    bool replied = false;
    f.messages.whileOpen = [&] {
        if (std::exchange(replied, true))
            return;
        controller.send(VirtualController::findReply(5)); // arrives while the box is open
        QTest::qWait(200);
        QVERIFY(f.messages.informations.isEmpty());
    };
    f.click(f.c().readBack.getData);
    QCOMPARE(f.messages.errors, QStringList{text::startUnit()});
    QTRY_COMPARE(f.messages.informations, QStringList{text::foundDevice(5)});
    QCOMPARE(f.messages.mostOpen, 1);
}

QTEST_MAIN(TestFlood)
#include "tst_flood.moc"
