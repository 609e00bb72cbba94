#include <link/quitsignals.h>

#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <csignal>

class TestQuitSignals : public QObject {
    Q_OBJECT
private slots:
    void terminationEndsEvenAnOpenMessageLoop();
};

void TestQuitSignals::terminationEndsEvenAnOpenMessageLoop() {
    int requests = 0;
    zarnet::onTerminationRequest([&] {
        ++requests;
        QCoreApplication::exit(0);
    });
    // A modal box runs a loop of its own, like this one; the request must end it.
    QEventLoop modal;
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    QTimer::singleShot(5000, &modal, [&] { modal.exit(1); });
    QCOMPARE(modal.exec(), 0);
    QCOMPARE(requests, 1);
}

QTEST_GUILESS_MAIN(TestQuitSignals)
#include "tst_quitsignals.moc"
