#include <core/faultwords.h>
#include <core/linkaddress.h>

#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;
using namespace zarnet;

class TestLinkAddress : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void onlySchemesAreNetworkLinks();
};

void TestLinkAddress::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::addColumn<std::optional<AddressFault>>("fault");
    const std::optional<AddressFault> fine;
    QTest::newRow("IPv4") << u"tcp://127.0.0.7:4001"_s << u"127.0.0.7"_s << 4001 << fine;
    QTest::newRow("host name") << u"tcp://line3-server:10001"_s << u"line3-server"_s << 10001
                               << fine;
    QTest::newRow("IPv6") << u"tcp://[::1]:4001"_s << u"::1"_s << 4001 << fine;
    QTest::newRow("blanks and upper case")
        << u"  TCP://127.0.0.1:65535 "_s << u"127.0.0.1"_s << 65535 << fine;
    QTest::newRow("no port") << u"tcp://127.0.0.1"_s << QString() << 0
                             << std::optional(AddressFault::NoPort);
    QTest::newRow("empty port") << u"tcp://127.0.0.1:"_s << QString() << 0
                                << std::optional(AddressFault::NoPort);
    QTest::newRow("port 0") << u"tcp://127.0.0.1:0"_s << QString() << 0
                            << std::optional(AddressFault::BadPort);
    QTest::newRow("port 65536") << u"tcp://127.0.0.1:65536"_s << QString() << 0
                                << std::optional(AddressFault::BadPort);
    QTest::newRow("port with letters")
        << u"tcp://127.0.0.1:40a1"_s << QString() << 0 << std::optional(AddressFault::BadPort);
    QTest::newRow("signed port") << u"tcp://127.0.0.1:+41"_s << QString() << 0
                                 << std::optional(AddressFault::BadPort);
    QTest::newRow("empty host") << u"tcp://:4001"_s << QString() << 0
                                << std::optional(AddressFault::EmptyHost);
    QTest::newRow("empty brackets")
        << u"tcp://[]:4001"_s << QString() << 0 << std::optional(AddressFault::EmptyHost);
    QTest::newRow("IPv6 without brackets")
        << u"tcp://::1:4001"_s << QString() << 0 << std::optional(AddressFault::BadPort);
    QTest::newRow("blank in the host")
        << u"tcp://host :4001"_s << QString() << 0 << std::optional(AddressFault::EmptyHost);
    QTest::newRow("blank before the host")
        << u"tcp:// [::1]:4001"_s << QString() << 0 << std::optional(AddressFault::EmptyHost);
    QTest::newRow("unclosed bracket")
        << u"tcp://[::1"_s << QString() << 0 << std::optional(AddressFault::EmptyHost);
    QTest::newRow("path after the port")
        << u"tcp://h:1/"_s << QString() << 0 << std::optional(AddressFault::BadPort);
    QTest::newRow("unknown scheme") << u"udp://127.0.0.1:4001"_s << QString() << 0
                                    << std::optional(AddressFault::UnknownScheme);
}

void TestLinkAddress::parse() {
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(std::optional<AddressFault>, fault);
    const auto parsed = parseTcpAddress(text);
    if (fault) {
        QVERIFY(std::holds_alternative<AddressFault>(parsed));
        QVERIFY(std::get<AddressFault>(parsed) == *fault);
        QVERIFY(!describe(*fault).isEmpty());
        return;
    }
    QVERIFY(std::holds_alternative<TcpAddress>(parsed));
    QCOMPARE(std::get<TcpAddress>(parsed).host, host);
    QCOMPARE(int(std::get<TcpAddress>(parsed).port), port);
}

void TestLinkAddress::onlySchemesAreNetworkLinks() {
    QVERIFY(isNetworkAddress(u"tcp://h:1"_s));
    QVERIFY(isNetworkAddress(u"xyz://h:1"_s));
    for (const QString& text : {u"3"_s, u"/dev/ttyUSB0"_s, u"abc"_s, QString()})
        QVERIFY(!isNetworkAddress(text));
    // Port 0 asks for any free port, which only a listener can.
    QVERIFY(std::holds_alternative<TcpAddress>(parseTcpAddress(u"tcp://127.0.0.1:0"_s, true)));
}

QTEST_GUILESS_MAIN(TestLinkAddress)
#include "tst_linkaddress.moc"
