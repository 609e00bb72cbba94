// zarnetd driving several controllers on one line, with a real broker and a
// zarnet-board playing the bus, on a pseudo-terminal and on TCP.
#include <support/plantparts.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace zarnet::testplant;

namespace {

// Signs NAME1..NAME4 on devices 1..4 of one line.
QByteArray busConfig(quint16 brokerPort, const QString& link, const QString& name) {
    QByteArray toml = u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"zarnetd-bus\"\n"
                      "[[line]]\nlink = \"%2\"\nresponse_ms = 100\n"_s.arg(brokerPort)
                          .arg(link)
                          .toUtf8();
    for (int device = 1; device <= 4; ++device)
        toml += u"[[sign]]\nname = \"%1%2\"\nlink = \"%3\"\ndevice = %2\nhealth_seconds = 1\n"_s
                    .arg(name)
                    .arg(device)
                    .arg(link)
                    .toUtf8();
    return toml;
}

} // namespace

class TestZarnetdBus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void oneLineManySigns_data();
    void oneLineManySigns();

private:
    QJsonObject status(int device) const {
        return json(listener->last(u"zarnet/%1%2/status"_s.arg(signPrefix).arg(device)));
    }
    QString stateOf(int device) const { return status(device).value(u"state"_s).toString(); }
    QString reasonOf(int device) const { return status(device).value(u"reason"_s).toString(); }
    bool publish(int device, const QByteArray& value) {
        return listener->publish(u"zarnet/%1%2/units/0/set"_s.arg(signPrefix).arg(device), value);
    }

    QString signPrefix; // of the names of the signs in the running test

    Broker broker;
    std::unique_ptr<Listener> listener;
};

void TestZarnetdBus::initTestCase() {
    QVERIFY2(broker.start(), qPrintable(broker.error));
    listener = std::make_unique<Listener>(broker.port());
    QTRY_VERIFY(listener->connected());
}

void TestZarnetdBus::cleanupTestCase() {
    listener.reset();
    broker.kill();
}

void TestZarnetdBus::oneLineManySigns_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("name");
    QTest::newRow("pseudo-terminal, named by a symbolic link") << false << u"pty"_s;
    QTest::newRow("serial device server") << true << u"tcp"_s;
}

// Devices 1..3 answer; two controllers share number 4. One of the three falls
// silent and comes back; then the whole line goes away and comes back.
void TestZarnetdBus::oneLineManySigns() {
    QFETCH(bool, tcp);
    QFETCH(QString, name);
    signPrefix = name;
    QTemporaryDir dir;
    const QString link = tcp ? u"tcp://127.0.0.1:%1"_s.arg(freePort()) : dir.filePath(u"bus"_s);
    const QStringList arguments = {u"--device"_s, u"1,2,3"_s, u"--collide"_s, u"4"_s, u"--paced"_s};
    auto board = std::make_unique<Board>();
    auto startBoard = [&] {
        if (tcp)
            return board->start(arguments + QStringList{u"--listen"_s, link});
        QFile::remove(link);
        return board->start(arguments) && QFile::link(board->address(), link);
    };
    QVERIFY(startBoard());
    Gateway service;
    QVERIFY(service.start(busConfig(broker.port(), link, name)));
    for (int device = 1; device <= 3; ++device)
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(device), u"online"_s, 10000);
    // Two controllers answering on one number garble each other.
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(4), u"offline"_s, 10000);
    QCOMPARE(reasonOf(4), u"garbled answer — possible address collision"_s);
    const QJsonObject line = status(1).value(u"line"_s).toObject();
    QCOMPARE(line.value(u"link"_s).toString(), link);
    QVERIFY(line.value(u"load"_s).toDouble(-1) >= 0 && line.value(u"load"_s).toDouble() <= 1);

    for (int device = 1; device <= 3; ++device)
        publish(device, QByteArray::number(device * 10));
    for (int device = 1; device <= 3; ++device)
        QTRY_COMPARE(board->units(device).value(0), uint32_t(device * 10));

    board->mute(2);
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(2), u"offline"_s, 6000);
    QVERIFY2(reasonOf(2).startsWith(u"no answer"_s), qPrintable(reasonOf(2)));
    publish(2, "21"); // waits for the sign
    publish(1, "11");
    publish(3, "31");
    QTRY_COMPARE(board->units(1).value(0), 11u);
    QTRY_COMPARE(board->units(3).value(0), 31u);
    QCOMPARE(stateOf(1), u"online"_s);
    QCOMPARE(board->units(2).value(0), 20u);
    board->unmute(2);
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(2), u"online"_s, 10000);
    QTRY_COMPARE(board->units(2).value(0), 21u);

    board.reset(); // the line goes away: every sign on it with it
    for (int device = 1; device <= 4; ++device)
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(device), u"offline"_s, 5000);
    QCOMPARE(reasonOf(1), reasonOf(3));
    board = std::make_unique<Board>(); // restarted: it knows nothing
    QVERIFY(startBoard());
    for (int device = 1; device <= 3; ++device)
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(device), u"online"_s, 20000);
    for (int device = 1; device <= 3; ++device)
        QTRY_COMPARE(board->units(device).value(0), uint32_t(device * 10 + 1));
    QCOMPARE(service.terminate(), 0);
    QVERIFY(service.log().contains(u"line %1 down"_s.arg(link))); // it said why
}

QTEST_MAIN(TestZarnetdBus)
#include "tst_zarnetd_bus.moc"
