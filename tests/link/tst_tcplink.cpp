#include <link/qtseriallink.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace zarnet;

// The link on a serial device server: TCP on loopback behaves as a serial line.
class TestTcpLink : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void connectsWithoutBlocking();
    void eventAtTheThreshold();
    void largestFrameGoesOutWhole();
    void farEndClosingIsAHangUp();
    void refusedConnectionFails();
    void silentServerStaysOpen();
    void noAnswerWithinThreeSeconds();
    void failureIsToldAfterConnecting();

private:
    QString address() const { return u"tcp://127.0.0.1:%1"_s.arg(server->serverPort()); }
    // Opens the link and waits for the server to take the connection.
    bool connectLink();

    std::unique_ptr<QTcpServer> server;
    QTcpSocket* far = nullptr; // the server's end
    QtSerialLink link;
    QByteArray arrived;
};

void TestTcpLink::init() {
    server = std::make_unique<QTcpServer>();
    QVERIFY(server->listen(QHostAddress::LocalHost, 0));
    connect(server.get(), &QTcpServer::newConnection, this, [this] {
        far = server->nextPendingConnection();
        connect(far, &QTcpSocket::readyRead, this, [this] { arrived += far->readAll(); });
    });
}

void TestTcpLink::cleanup() {
    link.close();
    server.reset();
    far = nullptr;
    arrived.clear();
}

bool TestTcpLink::connectLink() {
    QSignalSpy opened(&link, &SerialLink::opened);
    if (link.open(address()) != OpenResult::Connecting)
        return false;
    return opened.wait(5000) && opened.at(0).at(0).value<OpenResult>() == OpenResult::Opened &&
           QTest::qWaitFor([this] { return far != nullptr; }, 5000);
}

void TestTcpLink::connectsWithoutBlocking() {
    QSignalSpy opened(&link, &SerialLink::opened);
    QCOMPARE(link.open(address()), OpenResult::Connecting);
    QVERIFY(!link.isOpen()); // not yet: the lamp is yellow meanwhile
    QVERIFY(!link.write("x"_ba));
    QTRY_COMPARE(opened.count(), 1);
    QCOMPARE(opened.at(0).at(0).value<OpenResult>(), OpenResult::Opened);
    QVERIFY(link.isOpen());
    QCOMPARE(link.portName(), address());
}

void TestTcpLink::eventAtTheThreshold() {
    QVERIFY(connectLink());
    link.setReceiveThreshold(9);
    QSignalSpy events(&link, &SerialLink::commEvent);
    far->write(QByteArray(8, 'a'));
    QTRY_COMPARE(link.inBufferCount(), 8);
    QTest::qWait(50);
    QCOMPARE(events.count(), 0);
    far->write("b"_ba);
    QTRY_COMPARE(events.count(), 1);
    QCOMPARE(link.input(), QByteArray(8, 'a') + 'b');
}

void TestTcpLink::largestFrameGoesOutWhole() {
    QVERIFY(connectLink());
    QByteArray frame(2064, '\0');
    for (int i = 0; i < frame.size(); ++i)
        frame[i] = char(i * 7);
    QSignalSpy written(&link, &SerialLink::allWritten);
    QVERIFY(link.write(frame));
    QTRY_COMPARE(arrived, frame);
    QVERIFY(written.count() >= 1);
}

void TestTcpLink::farEndClosingIsAHangUp() {
    QVERIFY(connectLink());
    QSignalSpy hungUp(&link, &SerialLink::hungUp);
    link.write(QByteArray(2064, 'x')); // an image on its way
    far->close();
    QTRY_COMPARE(hungUp.count(), 1);
    QVERIFY(!link.isOpen());
    QVERIFY(!link.write("x"_ba));
    QTest::qWait(50);
    QCOMPARE(hungUp.count(), 1);
}

void TestTcpLink::refusedConnectionFails() {
    const QString closed = address();
    server.reset(); // nobody listens there any more
    QSignalSpy opened(&link, &SerialLink::opened);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(link.open(closed), OpenResult::Connecting);
    QTRY_COMPARE(opened.count(), 1);
    QCOMPARE(opened.at(0).at(0).value<OpenResult>(), OpenResult::Failed);
    QVERIFY(timer.elapsed() < 2000); // refused at once, no need to wait for the timeout
    QVERIFY(!link.isOpen());
}

void TestTcpLink::silentServerStaysOpen() {
    QVERIFY(connectLink());
    QSignalSpy events(&link, &SerialLink::commEvent);
    link.setReceiveThreshold(9);
    QVERIFY(link.write("request"_ba));
    QTest::qWait(300);
    QCOMPARE(events.count(), 0);
    QVERIFY(link.isOpen());
}

void TestTcpLink::noAnswerWithinThreeSeconds() {
    // A listener whose queue is full: the handshake of another connection never
    // completes, as with a server that is switched off behind a router.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0);
    QVERIFY(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0);
    QVERIFY(::listen(fd, 0) == 0);
    const QString text = u"tcp://127.0.0.1:%1"_s.arg(ntohs(address.sin_port));
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 4; ++i) { // more than the queue takes
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, ntohs(address.sin_port));
    }
    QTest::qWait(300);
    QSignalSpy opened(&link, &SerialLink::opened);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(link.open(text), OpenResult::Connecting);
    QVERIFY(opened.wait(10000));
    const qint64 took = timer.elapsed();
    ::close(fd);
    if (opened.at(0).at(0).value<OpenResult>() == OpenResult::Opened)
        QSKIP("this system completed the handshake anyway");
    QCOMPARE(opened.at(0).at(0).value<OpenResult>(), OpenResult::Failed);
    QVERIFY2(took >= 2800 && took < 6000, qPrintable(QString::number(took)));
}

void TestTcpLink::failureIsToldAfterConnecting() {
    // Whatever the system says at once, the caller hears "Connecting" first and
    // the outcome only from the event loop, when it listens.
    const QString closed = address();
    server.reset();
    QSignalSpy opened(&link, &SerialLink::opened);
    QCOMPARE(link.open(closed), OpenResult::Connecting);
    QCOMPARE(opened.count(), 0);
    QVERIFY(opened.wait(5000));
    QCOMPARE(opened.at(0).at(0).value<OpenResult>(), OpenResult::Failed);
}

QTEST_GUILESS_MAIN(TestTcpLink)
#include "tst_tcplink.moc"
