#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <QElapsedTimer>
#include <QFile>
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

namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine, so the resident size grows
// by design there; its leak checker watches for leaks instead.
constexpr bool ResidentSizeMeaningful = false;
#else
constexpr bool ResidentSizeMeaningful = true;
#endif

long residentKiB() {
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLong() * 4; // pages of 4 KiB
}

} // namespace

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
            f.click(u"FindCommand"_s);
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
