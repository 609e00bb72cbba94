// zarnetd between a real mosquitto broker and real zarnet-board controllers, on
// pseudo-terminals and on TCP, all on loopback.
#include <support/plantparts.h>
#include <support/resident.h>

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace zarnet::testplant;

namespace {

QByteArray signConfig(const QString& name, const QString& link, int health = 30,
                      const QByteArray& extra = {}) {
    return u"\n[[sign]]\nname = \"%1\"\nlink = \"%2\"\nhealth_seconds = %3\n"_s.arg(name, link)
               .arg(health)
               .toUtf8() +
           extra;
}

QByteArray brokerConfig(quint16 port, const QString& clientId = u"zarnetd-test"_s) {
    return u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"%2\"\n"_s.arg(port)
        .arg(clientId)
        .toUtf8();
}

QString state(const QByteArray& status) {
    return QJsonDocument::fromJson(status).object().value(u"state"_s).toString();
}

} // namespace

class TestZarnetd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void valuesReachTheSign();
    void badPayloadsSendNothing_data();
    void badPayloadsSendNothing();
    void silentSignGoesOfflineAndGetsEverythingBack();
    void stoppedBoardOnTcpComesBack();
    void brokerRestartKeepsCommandsFlowing();
    void twoGatewaysShareOneBroker();
    void burstEndsWithTheFinalValues();
    void retainedStateComesWholeAfterAStart();
    void refusalsThatRepeatAreCounted();
    void hugePayloadIsNeverHeld();
    void tlsBrokerWithItsAuthority();
    void stopsCleanly();

private:
    Broker broker;
    Board board; // line1 on a pseudo-terminal, for the tests that share it
    std::unique_ptr<Gateway> gateway;
    std::unique_ptr<Listener> listener;
};

void TestZarnetd::initTestCase() {
    QVERIFY2(broker.start(), qPrintable(broker.error));
    QVERIFY(board.start());
    gateway = std::make_unique<Gateway>();
    QVERIFY(gateway->start(brokerConfig(broker.port()) + signConfig(u"line1"_s, board.address())));
    listener = std::make_unique<Listener>(broker.port());
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/line1/status"_s)) == u"online", 10000);
    QTRY_COMPARE(listener->last(u"zarnet/gateway/zarnetd-test/status"_s), QByteArray("online"));
}

void TestZarnetd::cleanup() {
    if (QTest::currentTestFailed() && gateway)
        qInfo().noquote() << "zarnetd said:\n" << gateway->log().right(3000);
}

void TestZarnetd::cleanupTestCase() {
    listener.reset();
    gateway.reset();
    broker.kill();
}

void TestZarnetd::valuesReachTheSign() {
    listener->publish(u"zarnet/line1/units/3/set"_s, "1520");
    listener->publish(u"zarnet/line1/units/set"_s, R"({"10": 7, "11": 8})");
    QTRY_COMPARE(board.units().value(3), 1520u);
    QTRY_COMPARE(board.units().value(11), 8u);
    // The batch's two consecutive units went out in one frame.
    QVERIFY(!board.frames().filter(u"units 10..11 = 7, 8"_s).isEmpty());
    QTRY_COMPARE(listener->last(u"zarnet/line1/units/3"_s), QByteArray("1520"));

    listener->publish(u"zarnet/line1/power/set"_s, "off");
    listener->publish(u"zarnet/line1/clock/set"_s, "2026-12-07 06:00:05");
    listener->publish(u"zarnet/line1/image/set"_s,
                      R"({"text": "生产一线", "window": [192, 0, 64, 16]})");
    listener->publish(u"zarnet/line1/clear/set"_s, "");
    QTRY_VERIFY(!board.frames().filter(u"clear"_s).isEmpty());
    const QString frames = board.frames().join(u'\n');
    QVERIFY(frames.contains(u"power off"_s));
    QVERIFY(frames.contains(u"clock 2026-12-07 06:00:05"_s));
    QVERIFY2(frames.contains(u"0x41"_s), qPrintable(frames));
    QVERIFY(listener->on(u"zarnet/line1/error"_s).isEmpty());
    // The status names its gateway, and its time says which zone it is in.
    const QJsonObject status =
        QJsonDocument::fromJson(listener->last(u"zarnet/line1/status"_s)).object();
    QCOMPARE(status.value(u"gateway"_s).toString(), u"zarnetd-test"_s);
    const QDateTime since =
        QDateTime::fromString(status.value(u"since"_s).toString(), Qt::ISODateWithMs);
    QVERIFY2(since.timeSpec() != Qt::LocalTime, qPrintable(status.value(u"since"_s).toString()));
}

void TestZarnetd::badPayloadsSendNothing_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not a number") << u"units/4/set"_s << QByteArray("abc") << u"whole number"_s;
    QTest::newRow("too large") << u"units/4/set"_s << QByteArray("4294967296") << u"whole number"_s;
    QTest::newRow("top bit") << u"units/4/set"_s << QByteArray("2147483648") << u"whole number"_s;
    QTest::newRow("unknown unit") << u"units/256/set"_s << QByteArray("1") << u"unknown unit"_s;
    QTest::newRow("bad JSON") << u"units/set"_s << QByteArray("{\"1\": ") << u"not JSON"_s;
    QTest::newRow("bad batch value")
        << u"units/set"_s << QByteArray(R"({"1": "x"})") << u"unit 1 takes"_s;
    QTest::newRow("power") << u"power/set"_s << QByteArray("maybe") << u"on or off"_s;
    QTest::newRow("clock") << u"clock/set"_s << QByteArray("tomorrow") << u"clock takes"_s;
    QTest::newRow("clear with text") << u"clear/set"_s << QByteArray("x") << u"empty"_s;
    QTest::newRow("unknown command") << u"volume/set"_s << QByteArray("3") << u"unknown command"_s;
    QTest::newRow("image not JSON") << u"image/set"_s << QByteArray("生产") << u"not JSON"_s;
    QTest::newRow("image window") << u"image/set"_s
                                  << QByteArray(R"({"text": "a", "window": [256, 0, 64, 16]})")
                                  << u"window: x"_s;
    QTest::newRow("image bmp") << u"image/set"_s << QByteArray(R"({"bmp": "Qk0="})")
                               << u"picture"_s;
    QTest::newRow("over 1 MiB") << u"units/set"_s << QByteArray(1024 * 1024 + 1, ' ')
                                << u"more than 1 MiB"_s;
    // Refused from its header, before any of its 16 million dots is decoded.
    QImage huge(4096, 4096, QImage::Format_Mono);
    huge.fill(0);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    huge.save(&png, "PNG");
    QTest::newRow("huge picture") << u"image/set"_s
                                  << R"({"bmp": ")" + png.data().toBase64() + R"("})"
                                  << u"more than 2097152 dots"_s;
}

void TestZarnetd::badPayloadsSendNothing() {
    QFETCH(QString, command);
    QFETCH(QByteArray, payload);
    QFETCH(QString, reason);
    const QString topic = u"zarnet/line1/"_s + command;
    const qsizetype errors = listener->on(u"zarnet/line1/error"_s).size();
    const qsizetype frames = board.frames().size();
    listener->publish(topic, payload);
    QTRY_COMPARE(listener->on(u"zarnet/line1/error"_s).size(), errors + 1);
    const QJsonObject error =
        QJsonDocument::fromJson(listener->last(u"zarnet/line1/error"_s)).object();
    QCOMPARE(error.value(u"topic"_s).toString(), topic);
    QVERIFY2(error.value(u"reason"_s).toString().contains(reason),
             qPrintable(error.value(u"reason"_s).toString()));
    QVERIFY(error.value(u"payload"_s).toString().toUtf8().size() <= 200);
    // A good command after it is the only thing that reaches the line.
    const QByteArray marker = QByteArray::number(QRandomGenerator::global()->bounded(1000000));
    listener->publish(u"zarnet/line1/units/200/set"_s, marker);
    QTRY_COMPARE(board.units().value(200), marker.toUInt());
    QCOMPARE(board.frames().size(), frames + 1);
}

// A controller that stops answering (its line still there) is offline after two
// missed connection tests; when it answers again it gets every value and the image.
void TestZarnetd::silentSignGoesOfflineAndGetsEverythingBack() {
    Board silent;
    QVERIFY(silent.start());
    Gateway service;
    QVERIFY(service.start(brokerConfig(broker.port(), u"zarnetd-silent"_s) +
                          signConfig(u"quiet"_s, silent.address(), 1,
                                     "image = { text = \"A1\", window = [0, 0, 32, 16] }\n")));
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/quiet/status"_s)) == u"online", 10000);
    listener->publish(u"zarnet/quiet/units/set"_s, R"({"0": 11, "1": 12, "2": 13})");
    QTRY_COMPARE(silent.units().value(2), 13u);
    QTRY_VERIFY(!silent.frames().filter(u"0x41"_s).isEmpty());

    silent.pause();
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/quiet/status"_s)) == u"offline", 7000);
    // Two missed tests: the health interval (1 s) and the wait (1 s), then the test
    // again (1 s) and its wait (1 s), with room to spare.
    QVERIFY2(clock.elapsed() < 6000, qPrintable(QString::number(clock.elapsed())));
    const QJsonObject status =
        QJsonDocument::fromJson(listener->last(u"zarnet/quiet/status"_s)).object();
    QVERIFY(status.value(u"reason"_s).toString().contains(u"no answer"_s));
    listener->publish(u"zarnet/quiet/units/5/set"_s, "55"); // kept while offline
    QTest::qWait(200);
    const qsizetype before = silent.frames().size();
    silent.resume();
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/quiet/status"_s)) == u"online", 10000);
    QTRY_COMPARE(silent.units().value(5), 55u);
    // The runs go out in turn around the table, so 0..2 may follow 5.
    const auto again = [&] { return silent.frames().mid(before).join(u'\n'); };
    QTRY_VERIFY2(again().contains(u"units 0..2 = 11, 12, 13"_s), qPrintable(again()));
    QVERIFY2(again().contains(u"0x41"_s), qPrintable(again()));
}

void TestZarnetd::stoppedBoardOnTcpComesBack() {
    const quint16 port = freePort();
    const QString listen = u"tcp://127.0.0.1:%1"_s.arg(port);
    auto remote = std::make_unique<Board>();
    QVERIFY(remote->start({u"--listen"_s, listen}));
    QTemporaryDir dir;
    QFile secret(dir.filePath(u"broker.secret"_s));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("pa55-s3cret-7\n");
    secret.close();
    Gateway service;
    QVERIFY(service.start(brokerConfig(broker.port(), u"zarnetd-tcp"_s) +
                          "username = \"zarnet\"\npassword_file = \"" + secret.fileName().toUtf8() +
                          "\"\n" + signConfig(u"remote"_s, listen, 1)));
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/remote/status"_s)) == u"online", 10000);
    listener->publish(u"zarnet/remote/units/7/set"_s, "700");
    QTRY_COMPARE(remote->units().value(7), 700u);

    remote.reset(); // killed
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/remote/status"_s)) == u"offline", 3000);
    remote = std::make_unique<Board>(); // a controller that restarted knows nothing
    QVERIFY(remote->start({u"--listen"_s, listen}));
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/remote/status"_s)) == u"online", 20000);
    QTRY_COMPARE(remote->units().value(7), 700u);
    QCOMPARE(service.terminate(), 0);
    QVERIFY(service.log().contains(u"remote offline"_s)); // it said why
    QVERIFY(!service.log().contains(u"s3cret"_s));
}

// A broker of its own, so that the other tests keep theirs whatever happens here.
void TestZarnetd::brokerRestartKeepsCommandsFlowing() {
    Broker own;
    QVERIFY2(own.start(), qPrintable(own.error));
    const quint16 port = own.port();
    Board sign;
    QVERIFY(sign.start());
    Gateway service;
    QVERIFY(service.start(brokerConfig(port, u"zarnetd-restart"_s) +
                          signConfig(u"kept"_s, sign.address())));
    const QString gatewayStatus = u"zarnet/gateway/zarnetd-restart/status"_s;
    {
        Listener before(port);
        QTRY_VERIFY_WITH_TIMEOUT(before.last(gatewayStatus) == QByteArray("online"), 10000);
        before.publish(u"zarnet/kept/units/3/set"_s, "303");
        QTRY_COMPARE(sign.units().value(3), 303u);
    }

    own.kill();
    QTest::qWait(300);
    Broker again; // nothing retained survives: what the gateway says now, it said anew
    QVERIFY2(again.start(port), qPrintable(again.error));
    Listener after(port);
    QTRY_VERIFY_WITH_TIMEOUT(after.last(gatewayStatus) == QByteArray("online"), 40000);
    QTRY_VERIFY(state(after.last(u"zarnet/kept/status"_s)) == u"online");
    QTRY_COMPARE(after.last(u"zarnet/kept/units/3"_s), QByteArray("303"));
    after.publish(u"zarnet/kept/units/9/set"_s, "909"); // resubscribed
    QTRY_COMPARE_WITH_TIMEOUT(sign.units().value(9), 909u, 10000);
    QCOMPARE(sign.units().value(3), 303u); // the sign kept its values meanwhile
    QCOMPARE(service.terminate(), 0);
}

void TestZarnetd::twoGatewaysShareOneBroker() {
    Board a1, a2, b1;
    const QString a2Listen = u"tcp://127.0.0.1:%1"_s.arg(freePort());
    QVERIFY(a1.start());
    QVERIFY(a2.start({u"--listen"_s, a2Listen}));
    QVERIFY(b1.start());
    Gateway first, second;
    QVERIFY(first.start(brokerConfig(broker.port(), u"gw-a"_s) + signConfig(u"a1"_s, a1.address()) +
                        signConfig(u"a2"_s, a2Listen)));
    QVERIFY(
        second.start(brokerConfig(broker.port(), u"gw-b"_s) + signConfig(u"b1"_s, b1.address())));
    for (const QString& sign : {u"a1"_s, u"a2"_s, u"b1"_s})
        QTRY_VERIFY_WITH_TIMEOUT(
            state(listener->last(u"zarnet/%1/status"_s.arg(sign))) == u"online", 10000);
    listener->publish(u"zarnet/a1/units/1/set"_s, "101");
    listener->publish(u"zarnet/a2/units/1/set"_s, "201");
    listener->publish(u"zarnet/b1/units/1/set"_s, "301");
    QTRY_COMPARE(a1.units().value(1), 101u);
    QTRY_COMPARE(a2.units().value(1), 201u);
    QTRY_COMPARE(b1.units().value(1), 301u);
    // Neither gateway takes the other's sign for an unknown one.
    QTest::qWait(300);
    for (const QString& sign : {u"a1"_s, u"a2"_s, u"b1"_s})
        QVERIFY(listener->on(u"zarnet/%1/error"_s.arg(sign)).isEmpty());
    QCOMPARE(a1.units().size(), 1);
    QCOMPARE(b1.units().size(), 1);
}

// Published retained, as plant systems are asked to: what the broker's queue drops
// in the burst, the gateway reads again from the broker once the burst is over.
void TestZarnetd::burstEndsWithTheFinalValues() {
    constexpr int Updates = 100000;
    QMap<int, uint32_t> last;
    QRandomGenerator random(16);
    for (int i = 0; i < Updates; ++i) {
        const int unit = int(random.bounded(64));
        const uint32_t value = random.bounded(2147483648u);
        last[unit] = value;
        QVERIFY(listener->publish(u"zarnet/line1/units/%1/set"_s.arg(unit),
                                  QByteArray::number(value), true));
        if (i % 1000 == 999) // lets the client's queue drain as it goes
            QTRY_VERIFY_WITH_TIMEOUT(listener->unacknowledged() < 200, 20000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (auto it = last.begin(); it != last.end(); ++it)
                if (board.units().value(it.key()) != it.value())
                    return false;
            return true;
        }(),
        120000);
    // What the gateway says is on the sign is what is on it.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (auto it = last.begin(); it != last.end(); ++it)
                if (listener->last(u"zarnet/line1/units/%1"_s.arg(it.key())) !=
                    QByteArray::number(it.value()))
                    return false;
            return true;
        }(),
        20000);
    qInfo("%d updates to 64 units took %lld frames", Updates, qlonglong(board.frames().size()));
}

// More retained values than the broker queues for one client at once, behind
// thousands of retained junk topics: every sign still starts with all of its own.
void TestZarnetd::retainedStateComesWholeAfterAStart() {
    Broker own;
    QVERIFY2(own.start(), qPrintable(own.error));
    Listener plant(own.port());
    QTRY_VERIFY(plant.connected());
    auto publishPaced = [&](const QString& topic, const QByteArray& payload) {
        return QTest::qWaitFor([&] { return plant.unacknowledged() < 200; }, 20000) &&
               plant.publish(topic, payload, true);
    };
    for (int junk = 0; junk < 5000; ++junk)
        QVERIFY(publishPaced(u"zarnet/r0/junk%1/set"_s.arg(junk), "1"));
    std::array<Board, 4> boards;
    QByteArray config = brokerConfig(own.port(), u"zarnetd-retained"_s);
    for (int sign = 0; sign < 4; ++sign) {
        QVERIFY(boards[size_t(sign)].start());
        config += signConfig(u"r%1"_s.arg(sign), boards[size_t(sign)].address());
        for (int unit = 0; unit < 256; ++unit)
            QVERIFY(publishPaced(u"zarnet/r%1/units/%2/set"_s.arg(sign).arg(unit),
                                 QByteArray::number(sign * 1000 + unit)));
    }
    QTRY_COMPARE_WITH_TIMEOUT(plant.unacknowledged(), 0, 20000);
    Gateway service;
    QVERIFY(service.start(config));
    for (int sign = 0; sign < 4; ++sign) {
        const Board& signBoard = boards[size_t(sign)];
        QTRY_VERIFY_WITH_TIMEOUT(signBoard.units().size() == 256, 30000);
        for (int unit = 0; unit < 256; ++unit)
            QCOMPARE(signBoard.units().value(unit), uint32_t(sign * 1000 + unit));
    }
}

void TestZarnetd::refusalsThatRepeatAreCounted() {
    const auto logged = [&] { return int(gateway->log().count(u"dropped a command"_s)); };
    const int before = logged();
    const qsizetype errors = listener->on(u"zarnet/line1/error"_s).size();
    for (int i = 0; i < 300; ++i)
        listener->publish(u"zarnet/line1/units/%1/set"_s.arg(i % 8), "N/A");
    QTRY_COMPARE_WITH_TIMEOUT(listener->on(u"zarnet/line1/error"_s).size(), errors + 300, 10000);
    QVERIFY2(logged() <= before + 1, qPrintable(gateway->log().right(2000)));
}

// The broker drops what exceeds the size the gateway declared; the gateway's
// memory does not grow by the payload.
void TestZarnetd::hugePayloadIsNeverHeld() {
    const qint64 before = gateway->peakKiB();
    QVERIFY(before > 0);
    listener->publish(u"zarnet/line1/image/set"_s, QByteArray(64 * 1024 * 1024, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(listener->unacknowledged(), 0, 20000);
    listener->publish(u"zarnet/line1/units/201/set"_s, "2010"); // the gateway still listens
    QTRY_COMPARE(board.units().value(201), 2010u);
    QVERIFY2(gateway->peakKiB() - before < 16 * 1024,
             qPrintable(u"%1 KiB, then %2 KiB"_s.arg(before).arg(gateway->peakKiB())));
    // Nor does it remember junk topics published under a sign's name.
    const qint64 beforeJunk = gateway->peakKiB();
    const qsizetype errors = listener->on(u"zarnet/line1/error"_s).size();
    for (int i = 0; i < 500; ++i) {
        QVERIFY(QTest::qWaitFor([&] { return listener->unacknowledged() < 50; }, 10000));
        listener->publish(u"zarnet/line1/%1%2/set"_s.arg(i).arg(QString(16000, u'j')), "", true);
    }
    QTRY_COMPARE_WITH_TIMEOUT(listener->on(u"zarnet/line1/error"_s).size(), errors + 500, 20000);
    if (zarnet::test::ResidentSizeMeaningful) // not under the sanitizers' quarantine
        QVERIFY2(gateway->peakKiB() - beforeJunk < 8 * 1024,
                 qPrintable(u"%1 KiB, then %2 KiB"_s.arg(beforeJunk).arg(gateway->peakKiB())));
}

// mqtts:// with the broker's certificate authority; a gateway that trusts another
// authority does not connect at all.
void TestZarnetd::tlsBrokerWithItsAuthority() {
    QTemporaryDir dir, other;
    Certificates certificates, stranger;
    QVERIFY2(certificates.make(dir.path()), qPrintable(certificates.error));
    QVERIFY2(stranger.make(other.path()), qPrintable(stranger.error));
    Broker secure;
    QVERIFY2(
        secure.start(0, u"cafile %1\ncertfile %2\nkeyfile %3\n"_s
                            .arg(certificates.caFile, certificates.certFile, certificates.keyFile)
                            .toUtf8()),
        qPrintable(secure.error));
    Board tlsBoard;
    QVERIFY(tlsBoard.start());
    auto tlsConfig = [&](const QString& clientId, const QString& caFile, const QString& sign) {
        return u"[broker]\nurl = \"mqtts://127.0.0.1:%1\"\nclient_id = \"%2\"\nca_file = \"%3\"\n"_s
                   .arg(secure.port())
                   .arg(clientId, caFile)
                   .toUtf8() +
               signConfig(sign, tlsBoard.address());
    };
    Gateway trusting;
    QVERIFY(trusting.start(tlsConfig(u"gw-tls"_s, certificates.caFile, u"tls1"_s)));
    Listener watcher(secure.port(), u"zarnet/#"_s, certificates.caFile);
    QTRY_VERIFY_WITH_TIMEOUT(state(watcher.last(u"zarnet/tls1/status"_s)) == u"online", 10000);
    watcher.publish(u"zarnet/tls1/units/2/set"_s, "222");
    QTRY_COMPARE(tlsBoard.units().value(2), 222u);
    QCOMPARE(trusting.terminate(), 0);

    Board other2;
    QVERIFY(other2.start());
    Gateway doubting;
    QVERIFY(doubting.start(u"[broker]\nurl = \"mqtts://127.0.0.1:%1\"\nclient_id = \"gw-x\"\n"
                           "ca_file = \"%2\"\n"_s.arg(secure.port())
                               .arg(stranger.caFile)
                               .toUtf8() +
                           signConfig(u"tls2"_s, other2.address())));
    QTRY_VERIFY_WITH_TIMEOUT(doubting.log().contains(u"broker connection lost"_s), 10000);
    QVERIFY(watcher.on(u"zarnet/gateway/gw-x/status"_s).isEmpty());
    secure.kill();
}

void TestZarnetd::stopsCleanly() {
    listener->forget();
    QCOMPARE(gateway->terminate(), 0);
    QTRY_COMPARE(listener->last(u"zarnet/gateway/zarnetd-test/status"_s), QByteArray("offline"));
    const QJsonObject status =
        QJsonDocument::fromJson(listener->last(u"zarnet/line1/status"_s)).object();
    QCOMPARE(status.value(u"state"_s).toString(), u"offline"_s);
    QCOMPARE(status.value(u"reason"_s).toString(), u"zarnetd stopped"_s);
}

QTEST_GUILESS_MAIN(TestZarnetd)
#include "tst_zarnetd.moc"
