#include <core/reply.h>

#include <QTest>

using zarnet::Reply;

class TestReply : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void everySingleByteCorruptionIsDropped();
};

using Bytes = QByteArray;
using Values = QList<uint32_t>;

namespace {

constexpr int None = int(Reply::Kind::None);
constexpr int Found = int(Reply::Kind::FoundDevice);
constexpr int Units = int(Reply::Kind::UnitValues);

// A unit read reply carrying `count` in byte 7, the given values and `stray` bytes
// after them, checked.
QByteArray unitReply(int count, const Values& values, int stray = 0) {
    QByteArray frame;
    const int length = 10 + 4 * int(values.size()) + stray;
    frame.append(char(2)).append(char(length / 256)).append(char(length % 256));
    frame.append(char(0xEE)).append(char(0)).append(char(0x30)).append(char(0)).append(char(count));
    for (uint32_t v : values)
        frame.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    frame.append(stray, char(0x5A));
    uint8_t check = 0;
    for (int i = 1; i < frame.size(); ++i)
        check ^= uint8_t(frame[i]);
    return frame.append(char(check)).append(char(3));
}

} // namespace

void TestReply::parse_data() {
    QTest::addColumn<Bytes>("block");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("device");
    QTest::addColumn<Values>("values");
    const Bytes found = Bytes::fromHex("020009EE002105C303");
    QTest::newRow("found device 5") << found << Found << 5 << Values{};
    QTest::newRow("byte 4 not examined")
        << Bytes::fromHex("020009EE772105B403") << Found << 5 << Values{};
    QTest::newRow("40000 and 5 as worked")
        << Bytes::fromHex("020012EE0030000200009C40000000051703") << Units << 0 << Values{40000, 5};
    QTest::newRow("40000 and 5") << unitReply(2, {40000, 5}) << Units << 0 << Values{40000, 5};
    QTest::newRow("k = 0") << Bytes::fromHex("02000AEE00300000D403") << Units << 0 << Values{};
    QTest::newRow("99999999 from unit 3")
        << Bytes::fromHex("02000EEE0030030105F5E0FF3D03") << Units << 0 << Values{99999999};
    QTest::newRow("above signed range")
        << unitReply(1, {4294967295u}) << Units << 0 << Values{4294967295u};
    Values twelve;
    for (uint32_t i = 0; i < 12; ++i)
        twelve.append(i);
    QTest::newRow("k = 12") << unitReply(12, twelve) << Units << 0 << twelve;
    QTest::newRow("k promises more than the length holds")
        << unitReply(5, {7, 8}) << Units << 0 << Values{7, 8};
    QTest::newRow("k = 255 on an empty reply") << unitReply(255, {}) << Units << 0 << Values{};
    QTest::newRow("k smaller than the length") << unitReply(1, {7, 8}) << Units << 0 << Values{7};
    for (int stray = 1; stray <= 3; ++stray)
        QTest::addRow("k = 2, one value and %d stray bytes", stray)
            << unitReply(2, {7}, stray) << Units << 0 << Values{7};
    QTest::newRow("two replies in one block") << found + found << None << 0 << Values{};
    QTest::newRow("first half of a split reply") << found.left(5) << None << 0 << Values{};
    QTest::newRow("second half of a split reply") << found.mid(5) << None << 0 << Values{};
    QTest::newRow("stale bytes before a reply")
        << Bytes::fromHex("0203") + found << None << 0 << Values{};
    QTest::newRow("eight bytes") << found.left(8) << None << 0 << Values{};
    QTest::newRow("empty") << Bytes() << None << 0 << Values{};
    // A checked reply with another command code must not report a device.
    QTest::newRow("unknown command")
        << Bytes::fromHex("020009EE0012014503") << None << 0 << Values{};
    QTest::newRow("request framing, not a reply")
        << Bytes::fromHex("020009FFEE2105C303") << None << 0 << Values{};
}

void TestReply::parse() {
    QFETCH(Bytes, block);
    QFETCH(int, kind);
    QFETCH(int, device);
    QFETCH(Values, values);
    const Reply reply = zarnet::parseReply(block);
    QCOMPARE(int(reply.kind), kind);
    QCOMPARE(reply.device, device);
    QCOMPARE(reply.values, values);
}

void TestReply::everySingleByteCorruptionIsDropped() {
    const Bytes good = Bytes::fromHex("020009EE002105C303");
    for (int i = 0; i < good.size(); ++i) {
        for (int flip : {0x01, 0x80, 0xFF}) {
            Bytes bad = good;
            bad[i] = char(bad[i] ^ flip);
            QVERIFY2(zarnet::parseReply(bad).kind == Reply::Kind::None,
                     qPrintable(QStringLiteral("byte %1 ^ %2").arg(i).arg(flip)));
        }
    }
}

QTEST_GUILESS_MAIN(TestReply)
#include "tst_reply.moc"
