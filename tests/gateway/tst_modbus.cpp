// What a Modbus TCP client meets: the framing around each request, and the
// registers of a sign as Qt's server answers them.
#include <gateway/modbusframe.h>
#include <gateway/sign.h>
#include <gateway/signregisters.h>
#include <link/portcatalog.h>

#include <QtTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::gateway;

namespace {

// "3=123456 7=1" as unit values.
std::map<uint8_t, uint32_t> unitsFrom(const QString& text) {
    std::map<uint8_t, uint32_t> units;
    for (const QString& pair : text.split(u' ', Qt::SkipEmptyParts))
        units[uint8_t(pair.section(u'=', 0, 0).toUInt())] = pair.section(u'=', 1).toUInt();
    return units;
}

// A response as its function code byte and data, in hex.
QString pduHex(const QModbusResponse& response) {
    quint8 code = quint8(response.functionCode());
    if (response.isException())
        code |= QModbusPdu::ExceptionByte;
    return QString::fromLatin1((QByteArray(1, char(code)) + response.data()).toHex());
}

} // namespace

class TestModbus : public QObject {
    Q_OBJECT
private slots:
    void readAdu_data();
    void readAdu();
    void responseBytes();
    void unitWords_data();
    void unitWords();
    void ageSaturates();
    void registers_data();
    void registers();
};

void TestModbus::readAdu_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>(
        "expected"); // "more", "fault KIND VALUE" or "TRANSACTION UNIT PDU SIZE"
    QTest::newRow("nothing") << QByteArray() << u"more"_s;
    QTest::newRow("half a header") << QByteArray::fromHex("000100") << u"more"_s;
    QTest::newRow("header without its PDU")
        << QByteArray::fromHex("00010000000601030000") << u"more"_s;
    QTest::newRow("read holding registers")
        << QByteArray::fromHex("1234000000060103000a0002") << u"4660 1 03000a0002 12"_s;
    QTest::newRow("only the first of two")
        << QByteArray::fromHex("000100000006010300000001000200000006020400000001")
        << u"1 1 0300000001 12"_s;
    QTest::newRow("function code alone")
        << QByteArray::fromHex("000500000002ff11") << u"5 255 11 8"_s;
    QTest::newRow("not Modbus") << QByteArray::fromHex("000100010006010300000001")
                                << u"fault 0 1"_s;
    QTest::newRow("no function code") << QByteArray::fromHex("00010000000101") << u"fault 1 1"_s;
    QTest::newRow("longer than Modbus allows")
        << QByteArray::fromHex("00010000ffff01") << u"fault 1 65535"_s;
}

void TestModbus::readAdu() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const auto read = gateway::readAdu(bytes);
    if (std::holds_alternative<AduIncomplete>(read)) {
        QCOMPARE(u"more"_s, expected);
    } else if (const auto* fault = std::get_if<AduFault>(&read)) {
        QCOMPARE(u"fault %1 %2"_s.arg(int(fault->kind)).arg(fault->value), expected);
        const QString words = describe(*fault);
        QVERIFY2(
            words.contains(fault->kind == AduFault::Kind::Protocol ? u"protocol"_s : u"length"_s) &&
                words.contains(QString::number(fault->value)),
            qPrintable(words));
    } else {
        const auto& adu = std::get<ModbusAdu>(read);
        const QString pdu = QString::fromLatin1(
            (QByteArray(1, char(adu.request.functionCode())) + adu.request.data()).toHex());
        QCOMPARE(u"%1 %2 %3 %4"_s.arg(adu.transaction).arg(adu.unit).arg(pdu).arg(adu.size),
                 expected);
    }
}

void TestModbus::responseBytes() {
    QCOMPARE(aduBytes(0x1234, 7,
                      QModbusResponse(QModbusPdu::ReadHoldingRegisters,
                                      QByteArray::fromHex("0400010002")))
                 .toHex(),
             QByteArray("12340000000707030400010002"));
    QCOMPARE(aduBytes(1, 9,
                      QModbusExceptionResponse(QModbusPdu::WriteSingleRegister,
                                               QModbusPdu::GatewayPathUnavailable))
                 .toHex(),
             QByteArray("00010000000309860a"));
}

void TestModbus::unitWords_data() {
    QTest::addColumn<uint32_t>("value");
    QTest::addColumn<quint16>("high");
    QTest::addColumn<quint16>("low");
    QTest::newRow("the README's example") << 123456u << quint16(1) << quint16(57920);
    QTest::newRow("zero") << 0u << quint16(0) << quint16(0);
    QTest::newRow("low word only") << 65535u << quint16(0) << quint16(65535);
    QTest::newRow("high word only") << 65536u << quint16(1) << quint16(0);
    QTest::newRow("largest") << 4294967295u << quint16(65535) << quint16(65535);
}

void TestModbus::unitWords() {
    QFETCH(uint32_t, value);
    QFETCH(quint16, high);
    QFETCH(quint16, low);
    QCOMPARE(unitRegisters(value), (std::array<quint16, 2>{high, low}));
    QCOMPARE(unitValue(high, low), value);
}

void TestModbus::ageSaturates() {
    QCOMPARE(ageRegister(std::nullopt), quint16(65535));
    QCOMPARE(ageRegister(0), quint16(0));
    QCOMPARE(ageRegister(1999), quint16(1));
    QCOMPARE(ageRegister(65535999), quint16(65535));
    QCOMPARE(ageRegister(65536000), quint16(65535));
    QCOMPARE(ageRegister(qint64(1) << 40), quint16(65535));
}

void TestModbus::registers_data() {
    QTest::addColumn<QString>("before");     // unit values already set
    QTest::addColumn<QByteArray>("request"); // function code and data
    QTest::addColumn<QString>("response");   // function code and data, or the exception
    QTest::addColumn<QString>("after");      // the units a write set
    const QString none;
    QTest::newRow("both words at once")
        << none << QByteArray::fromHex("1000060002040001e240") << u"1000060002"_s << u"3=123456"_s;
    QTest::newRow("low half keeps the high half")
        << u"3=123456"_s << QByteArray::fromHex("0600070005") << u"0600070005"_s << u"3=65541"_s;
    QTest::newRow("high half keeps the low half")
        << u"3=123456"_s << QByteArray::fromHex("0600060000") << u"0600060000"_s << u"3=57920"_s;
    QTest::newRow("zero to a unit never set")
        << none << QByteArray::fromHex("0601fe0000") << u"0601fe0000"_s << u"255=0"_s;
    QTest::newRow("a write across two units sets both")
        << u"3=123456 4=65536"_s << QByteArray::fromHex("1000070002040009000a") << u"1000070002"_s
        << u"3=65545 4=655360"_s;
    QTest::newRow("read and write in one")
        << none << QByteArray::fromHex("170006000200080002040000002a") << u"170400000000"_s
        << u"4=42"_s;
    QTest::newRow("mask write keeps the masked bits")
        << u"3=123456"_s << QByteArray::fromHex("160007fff0000a") << u"160007fff0000a"_s
        << u"3=123466"_s;
    QTest::newRow("read what is set or about to be")
        << u"3=123456 4=7"_s << QByteArray::fromHex("0300060004") << u"03080001e24000000007"_s
        << none;
    QTest::newRow("state: connecting, never answered")
        << none << QByteArray::fromHex("0400000002") << u"04040002ffff"_s << none;
    QTest::newRow("word past unit 255")
        << none << QByteArray::fromHex("0602000001") << u"8602"_s << none;
    QTest::newRow("two words ending past the table")
        << none << QByteArray::fromHex("1001ff00020400010002") << u"9002"_s << none;
    QTest::newRow("read past the table")
        << none << QByteArray::fromHex("0301fe0003") << u"8302"_s << none;
    QTest::newRow("no third input register")
        << none << QByteArray::fromHex("0400020001") << u"8402"_s << none;
    QTest::newRow("no coils") << none << QByteArray::fromHex("0100000001") << u"8102"_s << none;
    QTest::newRow("a write one byte short")
        << none << QByteArray::fromHex("06000700") << u"8603"_s << none;
    QTest::newRow("an exception's code as a request")
        << u"3=123456"_s << QByteArray::fromHex("9000060001020000") << u"9001"_s << none;
    QTest::newRow("serial-line diagnostics")
        << none << QByteArray::fromHex("0800040000") << u"8801"_s << none;
    QTest::newRow("read past the table, write inside it")
        << none << QByteArray::fromHex("1701ff000200060001020001") << u"9702"_s << none;
    QTest::newRow("unknown function")
        << none << QByteArray::fromHex("41000700") << u"c101"_s << none;
}

void TestModbus::registers() {
    QFETCH(QString, before);
    QFETCH(QByteArray, request);
    QFETCH(QString, response);
    QFETCH(QString, after);
    SignConfig config;
    config.name = u"l1"_s;
    PlantClock clock;
    Sign sign(config, clock); // never started: its table is all that matters here
    const auto preset = unitsFrom(before);
    for (const auto& [unit, value] : preset)
        sign.setUnit(unit, value);
    SignRegisters registers;
    const QModbusResponse answer = registers.answer(
        QModbusRequest(QModbusPdu::FunctionCode(quint8(request[0])), request.mid(1)), sign);
    QCOMPARE(pduHex(answer), response);
    auto expected = preset;
    for (const auto& [unit, value] : unitsFrom(after))
        expected[unit] = value;
    for (int unit = 0; unit < 256; ++unit) {
        const auto want = expected.find(uint8_t(unit));
        QCOMPARE(sign.unitWanted(uint8_t(unit)),
                 want == expected.end() ? std::nullopt : std::optional<uint32_t>(want->second));
    }
}

QTEST_GUILESS_MAIN(TestModbus)
#include "tst_modbus.moc"
