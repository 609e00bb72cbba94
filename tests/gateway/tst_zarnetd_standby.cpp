// Two zarnetd for one hall, with a real broker and a zarnet-board behind TCP as
// the serial device server: one owns the lines, the other takes over.
#include <support/plantparts.h>

#include <QTcpSocket>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace zarnet::testplant;

namespace {

constexpr int LeaseSeconds = 3;

} // namespace

class TestZarnetdStandby : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void ownerGoesAway();
    void pausedOwnerStandsDown();
    void aloneAfterAPause();

private:
    void bothStart(uint32_t value);
    QByteArray config(const QString& client, int priority) const {
        return u"[http]\nlisten = \"127.0.0.1:%1\"\n"_s.arg(webPort(client)).toUtf8() +
               u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"%2\"\n"
               "[standby]\ngroup = \"hall2\"\npriority = %3\nlease_seconds = %4\n"
               "[[sign]]\nname = \"press\"\nlink = \"%5\"\ndevice = 1\nhealth_seconds = 1\n"_s
                   .arg(broker.port())
                   .arg(client)
                   .arg(priority)
                   .arg(LeaseSeconds)
                   .arg(board.address())
                   .toUtf8();
    }
    QByteArray role(const QString& client) const {
        return listener->last(u"zarnet/gateway/%1/status"_s.arg(client));
    }
    std::unique_ptr<Gateway> start(const QString& client, int priority) {
        auto gateway = std::make_unique<Gateway>();
        // Its frames in its log, to tell who wrote.
        gateway->setEnvironment(u"QT_LOGGING_RULES"_s, u"zarnet.link.bytes.debug=true"_s);
        return gateway->start(config(client, priority)) ? std::move(gateway) : nullptr;
    }
    bool publish(uint32_t value) {
        return listener->publish(u"zarnet/press/units/0/set"_s, QByteArray::number(value), true);
    }

    quint16 webPort(const QString& client) const { return client == u"first"_s ? web1 : web2; }

    Broker broker;
    Board board;
    quint16 web1 = freePort(), web2 = freePort();
    std::unique_ptr<Listener> listener;
    std::unique_ptr<Gateway> first, second;
};

void TestZarnetdStandby::initTestCase() {
    QVERIFY2(broker.start(), qPrintable(broker.error));
    listener = std::make_unique<Listener>(broker.port());
    QTRY_VERIFY(listener->connected());
    QVERIFY(board.start(
        {u"--listen"_s, u"tcp://127.0.0.1:%1"_s.arg(freePort()), u"--device"_s, u"1"_s}));
}

// Both start together: the lower priority number owns, the other stands by.
void TestZarnetdStandby::bothStart(uint32_t value) {
    listener->forget();
    first = start(u"first"_s, 1);
    second = start(u"second"_s, 2);
    QVERIFY(first && second);
    QTRY_VERIFY_WITH_TIMEOUT(role(u"first"_s) == "owner" && role(u"second"_s) == "standby", 10000);
    QVERIFY(publish(value));
    QTRY_COMPARE_WITH_TIMEOUT(board.units(1).value(0), value, 5000);
    QVERIFY(board.said().filter(u"refused"_s).isEmpty()); // the standby never connected
    QVERIFY(first->log().contains(u"zarnet.link.bytes: >"_s));
    QVERIFY(!second->log().contains(u"zarnet.link.bytes: >"_s));
}

void TestZarnetdStandby::cleanup() {
    if (QTest::currentTestFailed())
        for (const auto* gateway : {first.get(), second.get()})
            if (gateway)
                qInfo().noquote() << "zarnetd said:\n" << const_cast<Gateway*>(gateway)->log();
    first.reset();
    second.reset();
    listener->publish(u"zarnet/lease/hall2"_s, {}, true);
}

// Killed, the owner sends its will: the standby owns within the lease, and a
// value published since reaches the sign. The first, back, stands by.
void TestZarnetdStandby::ownerGoesAway() {
    bothStart(11);
    if (QTest::currentTestFailed())
        return;
    first->signal(SIGKILL);
    QVERIFY(first->waitForExit(5000) != 0);
    QVERIFY(publish(12));
    QTRY_COMPARE_WITH_TIMEOUT(role(u"second"_s), QByteArray("owner"), (LeaseSeconds + 2) * 1000);
    QTRY_COMPARE_WITH_TIMEOUT(board.units(1).value(0), 12u, 5000);
    first = start(u"first"_s, 1);
    QTRY_COMPARE_WITH_TIMEOUT(role(u"first"_s), QByteArray("standby"), 5000);
    QTest::qWait(2 * LeaseSeconds * 1000);
    QCOMPARE(role(u"second"_s), QByteArray("owner"));
    QCOMPARE(role(u"first"_s), QByteArray("standby"));
}

// Paused, the owner sends no will and holds the device server's connection: the
// standby claims the lease once it runs out. Continued, the first sees it was
// replaced and closes its line without writing; then the new owner gets through.
void TestZarnetdStandby::pausedOwnerStandsDown() {
    bothStart(20);
    if (QTest::currentTestFailed())
        return;
    // The first's page follows it as it stands down.
    QTcpSocket events;
    events.connectToHost(u"127.0.0.1"_s, web1);
    QVERIFY(events.waitForConnected(5000));
    events.write("GET /events HTTP/1.1\r\nHost: localhost\r\n\r\n");
    QByteArray said;
    QTRY_VERIFY((said += events.readAll()).contains("event: gateway"));
    first->signal(SIGSTOP);
    QTRY_COMPARE_WITH_TIMEOUT(role(u"second"_s), QByteArray("owner"), (LeaseSeconds + 3) * 1000);
    QVERIFY(publish(21));
    const qsizetype before = first->log().size();
    first->signal(SIGCONT);
    QTRY_COMPARE_WITH_TIMEOUT(board.units(1).value(0), 21u, 20000);
    QTRY_COMPARE(role(u"first"_s), QByteArray("standby"));
    QTRY_VERIFY_WITH_TIMEOUT((said += events.readAll()).contains(R"("state":"connecting")"), 20000);
    QVERIFY(httpExchange(web1, "GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n")
                .body.contains("\nzarnet_gateway_owner 0\n"));
    QVERIFY2(!first->log().mid(before).contains(u"zarnet.link.bytes: >"_s),
             qPrintable(first->log().mid(before)));
}

// Alone and paused past its lease, a gateway closes its line on waking, finds
// nobody took over, and owns again.
void TestZarnetdStandby::aloneAfterAPause() {
    listener->forget();
    first = start(u"first"_s, 1);
    QVERIFY(first);
    QTRY_COMPARE_WITH_TIMEOUT(role(u"first"_s), QByteArray("owner"), 10000);
    first->signal(SIGSTOP);
    QTest::qWait((LeaseSeconds + 1) * 1000);
    first->signal(SIGCONT);
    QVERIFY(publish(31));
    QTRY_COMPARE_WITH_TIMEOUT(board.units(1).value(0), 31u, (LeaseSeconds + 10) * 1000);
    QCOMPARE(role(u"first"_s), QByteArray("owner"));
}

QTEST_GUILESS_MAIN(TestZarnetdStandby)
#include "tst_zarnetd_standby.moc"
