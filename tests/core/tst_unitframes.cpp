#include <core/unitframes.h>

#include <core/frame.h>

#include <QTest>

using fields::Field;
using fields::Refusal;

using namespace Qt::StringLiterals;
using namespace zarnet;

class TestUnitFrames : public QObject {
    Q_OBJECT
private slots:
    void writeFrames_data();
    void writeFrames();
    void valueBytes_data();
    void valueBytes();
    void refusals_data();
    void refusals();
    void readFrames_data();
    void readFrames();
};

namespace {

QByteArray writeFrame(uint8_t device, uint8_t code, const QString& start, const QString& count,
                      const QStringList& values) {
    const auto read = readUnitWrite(start, count, values);
    if (!std::holds_alternative<UnitWrite>(read))
        return {};
    return unitWriteFrame(device, code, std::get<UnitWrite>(read));
}

QStringList nine(const QString& text) {
    return QStringList(UnitValueFields, text);
}

} // namespace

void TestUnitFrames::writeFrames_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("1234 shown at once")
        << writeFrame(255, UnitShowNowCode, u"0"_s, u"1"_s, {u"1234"_s})
        << QByteArray::fromHex("02000EFFEE230001000004D2EB03");
    QTest::newRow("1234 fixed") << writeFrame(255, UnitFixedCode, u"0"_s, u"1"_s, {u"1234"_s})
                                << QByteArray::fromHex("02000EFFEE240001000004D2EC03");
    QTest::newRow("count 0 reads no value")
        << writeFrame(7, UnitShowNowCode, u"4"_s, u"0"_s, nine(u"-1"_s))
        << buildFrame(7, UnitShowNowCode, QByteArray::fromHex("0400"));
    QTest::newRow("count 2 ignores the other seven")
        << writeFrame(1, UnitShowNowCode, u"0"_s, u"2"_s,
                      {u"1"_s, u"2"_s, u"-1"_s, u"x"_s, u"3e9"_s, u""_s, u""_s, u""_s, u""_s})
        << buildFrame(1, UnitShowNowCode, QByteArray::fromHex("00020000000100000002"));
}

void TestUnitFrames::writeFrames() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void TestUnitFrames::valueBytes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("99999999") << u"99999999"_s << QByteArray::fromHex("05F5E0FF");
    QTest::newRow("empty") << QString() << QByteArray::fromHex("00000000");
    QTest::newRow("letters") << u"abc"_s << QByteArray::fromHex("00000000");
    QTest::newRow("12abc") << u"12abc"_s << QByteArray::fromHex("0000000C");
    QTest::newRow("2.5") << u"2.5"_s << QByteArray::fromHex("00000002");
    QTest::newRow("3.5") << u"3.5"_s << QByteArray::fromHex("00000004");
    QTest::newRow("blanks inside") << u" 1 2 "_s << QByteArray::fromHex("0000000C");
    QTest::newRow("1e3") << u"1e3"_s << QByteArray::fromHex("000003E8");
    QTest::newRow("largest") << u"2.147483647e9"_s << QByteArray::fromHex("7FFFFFFF");
}

void TestUnitFrames::valueBytes() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const QByteArray frame = writeFrame(255, UnitShowNowCode, u"0"_s, u"1"_s, {text});
    QCOMPARE(frame.size(), 14);
    QCOMPARE(frame.mid(8, 4).toHex(' '), bytes.toHex(' '));
}

void TestUnitFrames::refusals_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<Refusal>("refusal");
    QTest::newRow("start -1") << u"-1"_s << u"1"_s << nine(u"0"_s) << Refusal{Field::DownloadStart};
    QTest::newRow("start letters")
        << u"ab"_s << u"1"_s << nine(u"0"_s) << Refusal{Field::DownloadStart};
    QTest::newRow("start empty") << QString() << u"1"_s << nine(u"0"_s)
                                 << Refusal{Field::DownloadStart};
    QTest::newRow("count 10") << u"0"_s << u"10"_s << nine(u"0"_s) << Refusal{Field::DownloadCount};
    QTest::newRow("count 9.5 rounds to 10")
        << u"0"_s << u"9.5"_s << nine(u"0"_s) << Refusal{Field::DownloadCount};
    QTest::newRow("value -1") << u"0"_s << u"1"_s << nine(u"-1"_s) << Refusal{Field::UnitValue, 0};
    QTest::newRow("value 3e9 in the third field")
        << u"0"_s << u"3"_s << QStringList{u"1"_s, u"2"_s, u"3e9"_s}
        << Refusal{Field::UnitValue, 2};
}

void TestUnitFrames::refusals() {
    QFETCH(QString, start);
    QFETCH(QString, count);
    QFETCH(QStringList, values);
    QFETCH(Refusal, refusal);
    const auto read = readUnitWrite(start, count, values);
    QVERIFY(std::holds_alternative<Refusal>(read));
    QVERIFY(std::get<Refusal>(read) == refusal);
}

void TestUnitFrames::readFrames_data() {
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QByteArray>("expected"); // empty: refused
    QTest::addColumn<int>("replyLength");
    QTest::newRow("255, 0, 1") << 255 << u"0"_s << u"1"_s
                               << QByteArray::fromHex("02000AFFEE3000012A03") << 14;
    QTest::newRow("1, 0, 10") << 1 << u"0"_s << u"10"_s
                              << QByteArray::fromHex("02000A01EE30000ADF03") << 50;
    QTest::newRow("count 0") << 1 << u"0"_s << u"0"_s
                             << buildFrame(1, UnitReadCode, QByteArray::fromHex("0000")) << 10;
    QTest::newRow("count 99 is sent as entered")
        << 1 << u"0"_s << u"99"_s << buildFrame(1, UnitReadCode, QByteArray::fromHex("0063"))
        << 406;
    QTest::newRow("start -1") << 1 << u"-1"_s << u"1"_s << QByteArray() << 0;
    QTest::newRow("start letters") << 1 << u"x"_s << u"1"_s << QByteArray() << 0;
    QTest::newRow("count 256") << 1 << u"0"_s << u"256"_s << QByteArray() << 0;
}

void TestUnitFrames::readFrames() {
    QFETCH(int, device);
    QFETCH(QString, start);
    QFETCH(QString, count);
    QFETCH(QByteArray, expected);
    QFETCH(int, replyLength);
    const auto read = readUnitRead(start, count);
    QCOMPARE(std::holds_alternative<UnitRead>(read), !expected.isEmpty());
    if (expected.isEmpty())
        return;
    const UnitRead request = std::get<UnitRead>(read);
    QCOMPARE(unitReadFrame(uint8_t(device), request).toHex(' '), expected.toHex(' '));
    QCOMPARE(unitReplyLength(request.count), replyLength);
}

QTEST_GUILESS_MAIN(TestUnitFrames)
#include "tst_unitframes.moc"
