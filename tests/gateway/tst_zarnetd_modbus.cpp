// zarnetd's Modbus TCP side, from a real Qt Modbus client on loopback, with the
// real broker and zarnet-board controllers behind it.
#include <support/plantparts.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace zarnet::testplant;

namespace {

QString state(const QByteArray& status) {
    return QJsonDocument::fromJson(status).object().value(u"state"_s).toString();
}

QModbusRequest request(quint8 code, const char* hex) {
    return QModbusRequest(QModbusPdu::FunctionCode(code), QByteArray::fromHex(hex));
}

// A PLC that asks one thing at a time and waits for the answer.
class Plc {
public:
    bool connect(quint16 port) {
        client_.setConnectionParameter(QModbusDevice::NetworkAddressParameter, u"127.0.0.1"_s);
        client_.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
        client_.setTimeout(3000);
        client_.setNumberOfRetries(0);
        client_.connectDevice();
        return QTest::qWaitFor([this] { return client_.state() == QModbusDevice::ConnectedState; },
                               5000);
    }
    bool connected() const { return client_.state() == QModbusDevice::ConnectedState; }
    // The response's function code and data in hex, for requests that succeed.
    QString ask(int unit, const QModbusRequest& request) {
        std::unique_ptr<QModbusReply> reply(client_.sendRawRequest(request, unit));
        if (!reply)
            return u"not sent: "_s + client_.errorString();
        if (!reply->isFinished() && !QSignalSpy(reply.get(), &QModbusReply::finished).wait(5000))
            return u"no answer"_s;
        if (reply->error() != QModbusDevice::NoError)
            return u"failed: "_s + reply->errorString();
        const QModbusResponse response = reply->rawResult();
        return QString::fromLatin1(
            (QByteArray(1, char(response.functionCode())) + response.data()).toHex());
    }

    // The same over a socket of its own, for requests that are refused: Qt's client
    // reads an exception's code into a signed char, which the sanitizers reject.
    static QString askRaw(quint16 port, int unit, const QModbusRequest& request) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(3000))
            return u"no connection"_s;
        const QByteArray pdu = QByteArray(1, char(request.functionCode())) + request.data();
        QByteArray adu = QByteArray::fromHex("00070000");
        adu.append(char((pdu.size() + 1) >> 8)).append(char((pdu.size() + 1) & 0xFF));
        socket.write(adu + char(unit) + pdu);
        QByteArray answer;
        while (answer.size() < 9 && socket.waitForReadyRead(5000))
            answer += socket.readAll();
        if (answer.size() < 9)
            return u"no answer"_s;
        return QString::fromLatin1(answer.mid(7).toHex());
    }

private:
    QModbusTcpClient client_;
};

} // namespace

class TestZarnetdModbus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void writesReachTheSignAndTheBroker();
    void halvesMakeOneValue();
    void brokerAndModbusShareTheTable();
    void refusalsSendNothing_data();
    void refusalsSendNothing();
    void requestsForTwoSignsInOneSegment();
    void brokenStreamClosesOnlyItsConnection();
    void statusRegistersFollowTheSign();
    void portInUseStopsTheService();
    void fullTableClosesTheQuietestClient();
    void busyAddressMakesRoomForAPlc();
    void pipelinedReadsAreAllAnswered();
    void writeOutlivesTheBrokersReplay();
    void stopsCleanlyWithClientsConnected();

private:
    Broker broker;
    Board line1, line2;
    quint16 modbusPort = 0;
    std::unique_ptr<Gateway> gateway;
    std::unique_ptr<Listener> listener;
    Plc plc;
};

void TestZarnetdModbus::initTestCase() {
    QVERIFY2(broker.start(), qPrintable(broker.error));
    QVERIFY(line1.start());
    QVERIFY(line2.start());
    modbusPort = freePort();
    gateway = std::make_unique<Gateway>();
    QVERIFY(gateway->start(u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"zarnetd-mb\"\n"
                           "[modbus]\nlisten = \"127.0.0.1:%2\"\n"
                           "[[sign]]\nname = \"line1\"\nlink = \"%3\"\nmodbus_unit = 1\n"
                           "[[sign]]\nname = \"line2\"\nlink = \"%4\"\nmodbus_unit = 2\n"
                           "health_seconds = 1\n"_s.arg(broker.port())
                               .arg(modbusPort)
                               .arg(line1.address(), line2.address())
                               .toUtf8()));
    listener = std::make_unique<Listener>(broker.port());
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/line1/status"_s)) == u"online", 10000);
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/line2/status"_s)) == u"online", 10000);
    QVERIFY(plc.connect(modbusPort));
}

void TestZarnetdModbus::cleanup() {
    if (QTest::currentTestFailed() && gateway)
        qInfo().noquote() << "zarnetd said:\n" << gateway->log().right(3000);
}

void TestZarnetdModbus::cleanupTestCase() {
    listener.reset();
    gateway.reset();
    broker.kill();
}

// The worked example of the README: 123456 is registers [1, 57920].
void TestZarnetdModbus::writesReachTheSignAndTheBroker() {
    QCOMPARE(plc.ask(1, request(0x10, "000600020400 01e240")), u"1000060002"_s);
    QTRY_COMPARE(line1.units().value(3), 123456u);
    QTRY_COMPARE(listener->last(u"zarnet/line1/units/3"_s), QByteArray("123456"));
    QCOMPARE(plc.ask(1, request(0x03, "00060002")), u"03040001e240"_s);
    QVERIFY(!line2.units().contains(3)); // unit 2 is the other sign
}

void TestZarnetdModbus::halvesMakeOneValue() {
    QCOMPARE(plc.ask(1, request(0x06, "00090005")), u"0600090005"_s); // low word of unit 4
    QTRY_COMPARE(line1.units().value(4), 5u);
    QCOMPARE(plc.ask(1, request(0x06, "00080002")), u"0600080002"_s); // then its high word
    QTRY_COMPARE(line1.units().value(4), 131077u);
    QTRY_COMPARE(listener->last(u"zarnet/line1/units/4"_s), QByteArray("131077"));
}

void TestZarnetdModbus::brokerAndModbusShareTheTable() {
    listener->publish(u"zarnet/line1/units/10/set"_s, "77");
    QTRY_COMPARE(plc.ask(1, request(0x03, "00140002")), u"03040000004d"_s);
    QCOMPARE(plc.ask(1, request(0x10, "001400020400000058")), u"1000140002"_s); // 88
    QTRY_COMPARE(line1.units().value(10), 88u);
    QTRY_COMPARE(listener->last(u"zarnet/line1/units/10"_s), QByteArray("88"));
}

void TestZarnetdModbus::refusalsSendNothing_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<QModbusRequest>("req");
    QTest::addColumn<QString>("answer");
    QTest::newRow("unknown unit id") << 9 << request(0x10, "00000002040000 0001") << u"900a"_s;
    QTest::newRow("unit id 0") << 0 << request(0x06, "00000001") << u"860a"_s;
    QTest::newRow("a word past unit 255") << 1 << request(0x06, "02000001") << u"8602"_s;
    QTest::newRow("two words ending past the table")
        << 1 << request(0x10, "01ff00020400010002") << u"9002"_s;
    QTest::newRow("read past the table") << 1 << request(0x03, "01fe0004") << u"8302"_s;
    QTest::newRow("no such input register") << 1 << request(0x04, "00020001") << u"8402"_s;
    QTest::newRow("a count that disagrees with the bytes")
        << 1 << request(0x10, "0000000304000100020003") << u"9003"_s;
    QTest::newRow("a value with the top bit")
        << 1 << request(0x10, "0028000204800000 00") << u"9003"_s;
    QTest::newRow("a high word with the top bit") << 1 << request(0x06, "00288000") << u"8603"_s;
}

void TestZarnetdModbus::refusalsSendNothing() {
    QFETCH(int, unit);
    QFETCH(QModbusRequest, req);
    QFETCH(QString, answer);
    const qsizetype before = line1.frames().size() + line2.frames().size();
    QCOMPARE(Plc::askRaw(modbusPort, unit, req), answer);
    // A good write after it is the only thing that reaches a line.
    QCOMPARE(plc.ask(1, request(0x06, "00c90007")), u"0600c90007"_s); // unit 100, low word
    QTRY_COMPARE(line1.units().value(100), 7u);
    QCOMPARE(line1.frames().size() + line2.frames().size(), before + 1);
    QCOMPARE(plc.ask(1, request(0x06, "00c90000")), u"0600c90000"_s);
    QTRY_COMPARE(line1.units().value(100), 0u);
}

// Two requests for two signs in one TCP segment each get their own answer.
void TestZarnetdModbus::requestsForTwoSignsInOneSegment() {
    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, modbusPort);
    QVERIFY(raw.waitForConnected(3000));
    raw.write(QByteArray::fromHex("0001000000090110000b00010200 2a"
                                  "0002000000090210000b00010200 2b"));
    QByteArray answers;
    QTRY_VERIFY_WITH_TIMEOUT((answers += raw.readAll()).size() >= 24, 5000);
    QCOMPARE(answers.toHex(),
             QByteArray("000100000006011000 0b0001 000200000006021000 0b0001").replace(' ', ""));
    QTRY_COMPARE(line1.units().value(5), 42u);
    QTRY_COMPARE(line2.units().value(5), 43u);
}

void TestZarnetdModbus::brokenStreamClosesOnlyItsConnection() {
    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, modbusPort);
    QVERIFY(raw.waitForConnected(3000));
    raw.write(QByteArray::fromHex("00010001000601060000 0001")); // protocol 1 is not Modbus
    QTRY_VERIFY_WITH_TIMEOUT(raw.state() == QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(plc.ask(1, request(0x03, "00000001")).left(4), u"0302"_s);
    QVERIFY(gateway->log().contains(u"protocol identifier 1 is not Modbus"_s));
}

void TestZarnetdModbus::statusRegistersFollowTheSign() {
    const QString online = plc.ask(2, request(0x04, "00000002"));
    QCOMPARE(online.left(8), u"04040000"_s); // online, and answered within a few seconds
    QVERIFY2(online.mid(8).toUInt(nullptr, 16) <= 3, qPrintable(online));
    line2.pause();
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/line2/status"_s)) == u"offline", 6000);
    QCOMPARE(plc.ask(2, request(0x04, "00000001")), u"04020001"_s);
    QTest::qWait(2100);
    QVERIFY(plc.ask(2, request(0x04, "00010001")).mid(6).toUInt(nullptr, 16) >= 2);
    // Writes to an offline sign wait for it, as the broker's do.
    QCOMPARE(plc.ask(2, request(0x06, "000d0009")), u"06000d0009"_s); // unit 6

    line2.resume();
    QTRY_VERIFY_WITH_TIMEOUT(state(listener->last(u"zarnet/line2/status"_s)) == u"online", 10000);
    QTRY_COMPARE(line2.units().value(6), 9u);
    QCOMPARE(plc.ask(2, request(0x04, "00000001")), u"04020000"_s);
}

void TestZarnetdModbus::portInUseStopsTheService() {
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    Gateway second;
    QVERIFY(second.start(u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"zarnetd-mb2\"\n"
                         "[modbus]\nlisten = \"127.0.0.1:%2\"\n"
                         "[[sign]]\nname = \"other\"\nlink = \"/dev/null-no-such\"\n"
                         "modbus_unit = 1\n"_s.arg(broker.port())
                             .arg(taken.serverPort())
                             .toUtf8()));
    QCOMPARE(second.waitForExit(5000), 2);
    QVERIFY2(second.log().contains(u"cannot listen for Modbus TCP on 127.0.0.1"_s),
             qPrintable(second.log()));
}

// Connections a PLC left behind must not lock it out.
void TestZarnetdModbus::fullTableClosesTheQuietestClient() {
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    auto connectOne = [&] {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, modbusPort);
        return idle.back()->waitForConnected(3000);
    };
    for (int i = 0; i < 31; ++i) // with the PLC, the table is full
        QVERIFY(connectOne());
    QTest::qWait(100);
    QCOMPARE(plc.ask(1, request(0x03, "00000001")).left(4), u"0302"_s);
    QVERIFY(connectOne());
    // One of the idle ones goes (accepted in the same millisecond, they are equally quiet).
    auto closed = [&] {
        return std::count_if(idle.begin(), idle.end(), [](const auto& socket) {
            return socket->state() == QAbstractSocket::UnconnectedState;
        });
    };
    QTRY_COMPARE_WITH_TIMEOUT(closed(), 1, 5000);
    QCOMPARE(plc.ask(1, request(0x03, "00000001")).left(4), u"0302"_s);
    QVERIFY(gateway->log().contains(u"it was the quietest"_s));
}

// One address holding many busy connections gives up one of its own, however
// quiet a PLC polling from another address is.
void TestZarnetdModbus::busyAddressMakesRoomForAPlc() {
    QTcpSocket other;
    QVERIFY(other.bind(QHostAddress(u"127.0.0.2"_s)));
    other.connectToHost(QHostAddress::LocalHost, modbusPort);
    QVERIFY(other.waitForConnected(3000));
    const QByteArray read = QByteArray::fromHex("000100000006010300000001");
    other.write(read);
    QTRY_VERIFY(other.bytesAvailable() >= 11);
    std::vector<std::unique_ptr<QTcpSocket>> busy;
    auto connectBusy = [&] {
        busy.push_back(std::make_unique<QTcpSocket>());
        busy.back()->connectToHost(QHostAddress::LocalHost, modbusPort);
        return busy.back()->waitForConnected(3000);
    };
    for (int i = 0; i < 30; ++i) // with the two PLCs, the table is full
        QVERIFY(connectBusy());
    QTest::qWait(300);
    for (auto& socket : busy) // each asks after the other address did
        socket->write(read);
    QTRY_VERIFY(std::all_of(busy.begin(), busy.end(),
                            [](const auto& socket) { return socket->bytesAvailable() >= 11; }));
    QCOMPARE(plc.ask(1, request(0x03, "00000001")).left(4), u"0302"_s);
    QVERIFY(connectBusy());
    QTRY_COMPARE_WITH_TIMEOUT(std::count_if(busy.begin(), busy.end(),
                                            [](const auto& socket) {
                                                return socket->state() ==
                                                       QAbstractSocket::UnconnectedState;
                                            }),
                              1, 5000);
    QTest::qWait(100);
    QCOMPARE(other.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(plc.ask(1, request(0x03, "00000001")).left(4), u"0302"_s);
}

// A client that sends many reads at once and reads its answers keeps its connection.
void TestZarnetdModbus::pipelinedReadsAreAllAnswered() {
    constexpr int Reads = 4500;
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, modbusPort);
    QVERIFY(client.waitForConnected(3000));
    QByteArray requests;
    for (int i = 0; i < Reads; ++i) // 125 registers each: 259 bytes an answer
        requests += QByteArray::fromHex("0000000000060103 0000007d")
                        .replace(0, 2, QByteArray(2, char(i % 256)));
    client.write(requests);
    qint64 answered = 0;
    QTRY_VERIFY_WITH_TIMEOUT((answered += client.readAll().size()) >= qint64(Reads) * 259, 20000);
    QCOMPARE(answered, qint64(Reads) * 259);
    QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
}

// A newer write over Modbus is not undone when the broker hands over the older
// retained value again after the gateway reconnects.
void TestZarnetdModbus::writeOutlivesTheBrokersReplay() {
    listener->publish(u"zarnet/line1/units/20/set"_s, "100", true);
    QTRY_COMPARE(line1.units().value(20), 100u);
    // Nor is a newer value published without retain.
    listener->publish(u"zarnet/line1/units/21/set"_s, "100", true);
    listener->publish(u"zarnet/line1/units/21/set"_s, "200");
    QTRY_COMPARE(line1.units().value(21), 200u);
    QCOMPARE(plc.ask(1, request(0x10, "0028000204000000 32")), u"1000280002"_s); // 50
    QTRY_COMPARE(line1.units().value(20), 50u);
    // Another client with the gateway's id, again and again: the broker ends the
    // gateway's connection each time, and the gateway says why it keeps losing it.
    for (int kick = 0; kick < 3; ++kick) {
        const auto onlines = listener->on(u"zarnet/gateway/zarnetd-mb/status"_s).count("online");
        {
            zarnet::gateway::MqttClient::Settings settings;
            settings.port = broker.port();
            settings.clientId = u"zarnetd-mb"_s;
            zarnet::gateway::MqttClient intruder(settings);
            QVERIFY(intruder.start());
            QTRY_VERIFY(intruder.isConnected());
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            listener->on(u"zarnet/gateway/zarnetd-mb/status"_s).count("online") > onlines, 10000);
    }
    QTest::qWait(1000); // the retained commands are taken again
    QCOMPARE(line1.units().value(20), 50u);
    QCOMPARE(line1.units().value(21), 200u);
    QCOMPARE(plc.ask(1, request(0x03, "00280002")), u"030400000032"_s);
    QCOMPARE(listener->last(u"zarnet/line1/units/20"_s), QByteArray("50"));
    QVERIFY(
        gateway->log().contains(u"another client is probably using the client id zarnetd-mb"_s));
}

// The service ends cleanly while a client is connected: it closes the client first.
void TestZarnetdModbus::stopsCleanlyWithClientsConnected() {
    QCOMPARE(plc.ask(1, request(0x03, "00000001")).left(4), u"0302"_s);
    QCOMPARE(gateway->terminate(), 0);
    QVERIFY2(gateway->log().contains(u"Modbus clients"_s), qPrintable(gateway->log()));
    QTRY_VERIFY(!plc.connected());
}

QTEST_MAIN(TestZarnetdModbus)
#include "tst_zarnetd_modbus.moc"
