#include <support/golden.h>
#include <support/testplatform.h>

#include <board/boardline.h>
#include <core/board.h>
#include <ui/messages.h>
#include <ui/statuslamp.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;

// The window on a serial device server: the same requests and replies as on a
// serial line, with a yellow lamp while it connects.
class TestTcpWindow : public QObject {
    Q_OBJECT
private slots:
    void requestsAndRepliesOverTcp();
    void hangUpDuringAnImage();
    void refusedConnection();
    void badAddresses_data();
    void badAddresses();
};

namespace {

const QColor Green(0, 255, 0);
const QColor Yellow(255, 255, 0);
const QColor Black(0, 0, 0);

QColor lamp(FormFixture& f) {
    return f.c().control.portLamp->fillColor();
}

void openAddress(FormFixture& f, const QString& address) {
    f.messages.errors.clear();
    f.c().control.portBox->setEditText(address);
    f.click(f.c().control.openPort);
}

} // namespace

void TestTcpWindow::requestsAndRepliesOverTcp() {
    Board board;
    BoardLine line(board);
    QString error;
    const QString address = line.listen(u"127.0.0.1"_s, 0, &error);
    QVERIFY2(!address.isEmpty(), qPrintable(error));
    FormFixture f;
    f.start();
    openAddress(f, address);
    QCOMPARE(lamp(f), Yellow);
    QTRY_COMPARE(lamp(f), Green);
    QVERIFY(f.messages.errors.isEmpty());

    f.click(f.c().control.find);
    QTRY_COMPARE(f.messages.informations, QStringList{text::foundDevice(255)});
    f.enter(f.c().download.unitCount, u"2"_s);
    f.enter(f.c().download.values[0], u"1520"_s);
    f.enter(f.c().download.values[1], u"97"_s);
    f.click(f.c().download.showNow);
    QTRY_COMPARE(board.units().size(), 2);
    f.enter(f.c().readBack.unitCount, u"2"_s);
    f.click(f.c().readBack.getData);
    QTRY_COMPARE(f.c().readBack.readBackValues[1]->text(), u"97"_s);
    QCOMPARE(f.c().readBack.readBackValues[0]->text(), u"1520"_s);
    f.click(f.c().control.powerOff);
    QTRY_VERIFY(!board.powered());
}

void TestTcpWindow::hangUpDuringAnImage() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    FormFixture f;
    f.start();
    openAddress(f, u"tcp://127.0.0.1:%1"_s.arg(server.serverPort()));
    QTRY_COMPARE(lamp(f), Green);
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket* far = server.nextPendingConnection();
    f.c().dots.width->setText(u"256"_s);
    f.c().dots.height->setText(u"64"_s);
    f.click(f.c().dots.sendImage);
    far->close(); // the server goes away with the image on its way
    QTRY_COMPARE(lamp(f), Black);
    QVERIFY(!f.serial.isOpen());
    f.click(f.c().control.powerOn);
    QCOMPARE(f.messages.errors, QStringList{text::portClosed()});
}

void TestTcpWindow::refusedConnection() {
    quint16 port = 0;
    {
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost, 0));
        port = gone.serverPort();
    }
    FormFixture f;
    f.start();
    openAddress(f, u"tcp://127.0.0.1:%1"_s.arg(port));
    QTRY_COMPARE(lamp(f), Black);
    QCOMPARE(f.messages.errors, QStringList{text::portOpenError()});
    QVERIFY(!f.serial.isOpen());
}

void TestTcpWindow::badAddresses_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("fault");
    QTest::newRow("no port") << u"tcp://127.0.0.1"_s << int(AddressFault::NoPort);
    QTest::newRow("port 0") << u"tcp://127.0.0.1:0"_s << int(AddressFault::BadPort);
    QTest::newRow("port 70000") << u"tcp://127.0.0.1:70000"_s << int(AddressFault::BadPort);
    QTest::newRow("empty host") << u"tcp://:4001"_s << int(AddressFault::EmptyHost);
    QTest::newRow("unknown scheme")
        << u"telnet://127.0.0.1:23"_s << int(AddressFault::UnknownScheme);
}

void TestTcpWindow::badAddresses() {
    QFETCH(QString, address);
    QFETCH(int, fault);
    FormFixture f;
    f.start();
    openAddress(f, address);
    QCOMPARE(f.messages.errors, QStringList{text::badAddress(AddressFault(fault))});
    QCOMPARE(lamp(f), Black);
    QVERIFY(!f.serial.isOpen());
}

QTEST_MAIN(TestTcpWindow)
#include "tst_tcpwindow.moc"
