#include <support/resident.h>
#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;

// Ten thousand requests and ten thousand replies through the window must not
// make the program grow.
class TestSoak : public QObject {
    Q_OBJECT
private slots:
    void tenThousandRoundTrips();
};

void TestSoak::tenThousandRoundTrips() {
    if (residentKiB() < 0)
        QSKIP("no /proc/self/statm here");
    VirtualController controller;
    controller.setAnswering(true);
    FormFixture f;
    f.start(controller.path());
    int replies = 0;
    f.messages.whileOpen = [&] {
        ++replies;
        f.messages.informations.clear();
    };
    auto roundTrips = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const int before = replies;
            f.click(f.c().control.find);
            QElapsedTimer waited;
            waited.start();
            while (replies == before && waited.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            if (replies == before)
                return false;
            if (i % 100 == 0)
                controller.clearReceived();
        }
        return true;
    };
    QVERIFY(roundTrips(1000)); // warm-up: caches, fonts, buffers reach their size
    const long before = residentKiB();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(roundTrips(10000));
    const long after = residentKiB();
    qInfo("10000 requests and replies in %lld ms; resident %ld KiB before, %ld KiB after",
          timer.elapsed(), before, after);
    QCOMPARE(replies, 11000);
    if (ResidentSizeMeaningful)
        QVERIFY2(after - before < 2048, qPrintable(u"grew by %1 KiB"_s.arg(after - before)));
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
