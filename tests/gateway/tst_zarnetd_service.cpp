// zarnetd under a service manager: what it tells the manager, and how it reads its
// configuration again, with a real broker and a zarnet-board playing a bus.
#include <gateway/clientcertificate.h>
#include <support/plantparts.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QtTest>

#include <QTcpServer>
#include <QTcpSocket>
#include <csignal>
#include <netinet/in.h>
#include <openssl/err.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace zarnet::testplant;
using zarnet::gateway::CertificateFault;

namespace {

QByteArray signConfig(const QString& name, const QString& link, int device, int health = 1) {
    return u"[[sign]]\nname = \"%1\"\nlink = \"%2\"\ndevice = %3\nhealth_seconds = %4\n"_s
        .arg(name, link)
        .arg(device)
        .arg(health)
        .toUtf8();
}

// A socket such as the service manager listens on: each datagram one message.
class ManagerSocket {
public:
    bool bind(const QString& path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = path.toLocal8Bit();
        if (fd_ < 0 || bytes.size() >= qsizetype(sizeof address.sun_path))
            return false;
        std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return false;
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { read(); });
        return true;
    }
    ~ManagerSocket() {
        notifier_.reset();
        if (fd_ >= 0)
            ::close(fd_);
    }
    // Every line of every message so far, in order.
    QStringList said;

private:
    void read() {
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0)
            said += QString::fromUtf8(buffer, n).split(u'\n', Qt::SkipEmptyParts);
    }
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// A port across a slow network: its queue is kept full, so a client's opening
// packet is dropped and sent again a second later. Until then the port may take
// connections (open(), bytes then pass both ways to `target`) or go away (close(),
// the second packet is refused).
class SlowAccept : public QObject {
public:
    explicit SlowAccept(quint16 target) : target_(target) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(fd, 0); // room for one waiting connection: the filler's
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        filler_.connectToHost(QHostAddress::LocalHost, port_);
        filler_.waitForConnected(1000);
        server_.setSocketDescriptor(fd);
        server_.pauseAccepting();
        connect(&server_, &QTcpServer::newConnection, this, &SlowAccept::take);
    }
    quint16 port() const { return port_; }
    void open() { server_.resumeAccepting(); }
    void close() { server_.close(); }

private:
    void take() {
        while (QTcpSocket* near = server_.nextPendingConnection()) {
            if (near->peerPort() == filler_.localPort()) {
                near->close();
                continue;
            }
            auto* far = new QTcpSocket(near);
            far->connectToHost(QHostAddress::LocalHost, target_);
            const auto pass = [](QTcpSocket* from, QTcpSocket* to) {
                if (to->state() == QAbstractSocket::ConnectedState)
                    to->write(from->readAll());
            };
            connect(far, &QTcpSocket::connected, near, [=] { pass(near, far); });
            connect(near, &QTcpSocket::readyRead, far, [=] { pass(near, far); });
            connect(far, &QTcpSocket::readyRead, near, [=] { pass(far, near); });
        }
    }

    quint16 target_;
    quint16 port_ = 0;
    QTcpServer server_;
    QTcpSocket filler_;
};

} // namespace

class TestZarnetdService : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void tellsTheServiceManager();
    void readsItsConfigurationAgain();
    void clientCertificatesChecked_data();
    void clientCertificatesChecked();
    void brokerRequiringCertificates_data();
    void brokerRequiringCertificates();
    void brokerAcrossASlowNetwork_data();
    void brokerAcrossASlowNetwork();

private:
    QString stateOf(const QString& sign) const {
        return json(listener->last(u"zarnet/%1/status"_s.arg(sign))).value(u"state"_s).toString();
    }
    QByteArray config(const QByteArray& signs) const {
        return u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"zarnetd-service\"\n"_s
                   .arg(broker.port())
                   .toUtf8() +
               signs;
    }

    QTemporaryDir ours;
    QTemporaryDir theirs;
    Certificates authority;
    Certificates otherAuthority;
    Broker broker;
    Board bus;
    std::unique_ptr<Listener> listener;
    std::unique_ptr<Gateway> gateway;
};

void TestZarnetdService::initTestCase() {
    QVERIFY2(authority.make(ours.path()) && authority.makeClient(u"gateway"_s) &&
                 authority.makeClient(u"locked"_s, u"s3cret"_s),
             qPrintable(authority.error));
    QVERIFY2(otherAuthority.make(theirs.path()) && otherAuthority.makeClient(u"stranger"_s),
             qPrintable(otherAuthority.error));
    QVERIFY2(broker.start(), qPrintable(broker.error));
    QVERIFY(bus.start({u"--device"_s, u"1,2,3"_s}));
    listener = std::make_unique<Listener>(broker.port());
    QTRY_VERIFY(listener->connected());
}

void TestZarnetdService::cleanup() {
    if (QTest::currentTestFailed() && gateway)
        qInfo().noquote() << "zarnetd said:\n" << gateway->log().right(3000);
    gateway.reset();
}

// Ready once it has tried the line and the broker; its state in one line; the
// watchdog only while its loop turns; stopping when asked to end.
void TestZarnetdService::tellsTheServiceManager() {
    QTemporaryDir dir;
    ManagerSocket manager;
    QVERIFY(manager.bind(dir.filePath(u"notify"_s)));
    gateway = std::make_unique<Gateway>();
    gateway->setEnvironment(u"NOTIFY_SOCKET"_s, dir.filePath(u"notify"_s));
    gateway->setEnvironment(u"WATCHDOG_USEC"_s, u"400000"_s);
    QVERIFY(gateway->start(config(signConfig(u"one"_s, bus.address(), 1))));
    QTRY_VERIFY_WITH_TIMEOUT(manager.said.contains(u"READY=1"_s), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        manager.said.contains(u"STATUS=broker connected; 1 of 1 signs online; 0 stale"_s), 10000);
    QTRY_VERIFY(manager.said.count(u"WATCHDOG=1"_s) >= 3);

    gateway->signal(SIGSTOP);
    QTest::qWait(300); // what was on its way arrives
    const qsizetype before = manager.said.count(u"WATCHDOG=1"_s);
    QTest::qWait(1000);
    QCOMPARE(manager.said.count(u"WATCHDOG=1"_s), before);
    gateway->signal(SIGCONT);
    QTRY_VERIFY(manager.said.count(u"WATCHDOG=1"_s) > before);

    QCOMPARE(gateway->terminate(), 0);
    QTRY_VERIFY(manager.said.contains(u"STOPPING=1"_s));
    const qsizetype ready = manager.said.indexOf(u"READY=1"_s);
    const qsizetype status = manager.said.indexOf(QRegularExpression(u"STATUS=.*"_s));
    const qsizetype stopping = manager.said.indexOf(u"STOPPING=1"_s);
    QVERIFY2(ready >= 0 && status > ready && stopping > status,
             qPrintable(manager.said.join(u' ')));
}

// Unchanged signs are not disturbed, a removed one is cleared from the broker, a
// new one starts; a file with faults changes nothing.
void TestZarnetdService::readsItsConfigurationAgain() {
    const QString link = bus.address();
    gateway = std::make_unique<Gateway>();
    QVERIFY(
        gateway->start(config(signConfig(u"kept"_s, link, 1) + signConfig(u"gone"_s, link, 2))));
    QTRY_VERIFY_WITH_TIMEOUT(stateOf(u"kept"_s) == u"online" && stateOf(u"gone"_s) == u"online",
                             10000);
    listener->publish(u"zarnet/kept/units/0/set"_s, "11");
    listener->publish(u"zarnet/gone/units/4/set"_s, "22");
    QTRY_COMPARE(bus.units(1).value(0), 11u);
    QTRY_COMPARE(bus.units(2).value(4), 22u);
    QTRY_COMPARE(listener->last(u"zarnet/gone/units/4"_s), QByteArray("22"));
    const QStringList keptFrames = bus.frames(1);
    listener->forget();

    // The line's settings change too: its signs stay through it.
    QVERIFY(gateway->rewrite(
        config(u"[[line]]\nlink = \"%1\"\nresponse_ms = 120\n"_s.arg(link).toUtf8() +
               signConfig(u"kept"_s, link, 1) + signConfig(u"new"_s, link, 3))));
    gateway->signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(stateOf(u"new"_s) == u"online", 10000);
    QTRY_COMPARE(listener->last(u"zarnet/gone/status"_s), QByteArray());
    const QList<QByteArray> goneSaid = listener->on(u"zarnet/gone/status"_s);
    QVERIFY(goneSaid.size() >= 2);
    QCOMPARE(json(goneSaid.first()).value(u"reason"_s).toString(),
             u"removed from the configuration"_s);
    QCOMPARE(listener->last(u"zarnet/gone/units/4"_s), QByteArray());
    listener->publish(u"zarnet/new/units/1/set"_s, "33");
    QTRY_COMPARE(bus.units(3).value(1), 33u);
    QCOMPARE(bus.frames(1), keptFrames);
    QVERIFY(listener->on(u"zarnet/kept/status"_s).isEmpty());

    // Another client id: the old connection leaves with its will, the new one comes up.
    QVERIFY(gateway->rewrite(config(signConfig(u"kept"_s, link, 1) + signConfig(u"new"_s, link, 3))
                                 .replace("zarnetd-service", "zarnetd-renamed")));
    gateway->signal(SIGHUP);
    QTRY_COMPARE(listener->last(u"zarnet/gateway/zarnetd-renamed/status"_s), QByteArray("online"));
    QCOMPARE(listener->last(u"zarnet/gateway/zarnetd-service/status"_s), QByteArray("offline"));
    QVERIFY(!gateway->log().contains(u"connection lost"_s));

    QVERIFY(gateway->rewrite("[broker\nthis is no configuration"));
    gateway->signal(SIGHUP);
    QTRY_VERIFY(gateway->log().contains(u"the running one stays"_s));
    listener->publish(u"zarnet/new/units/1/set"_s, "34");
    QTRY_COMPARE(bus.units(3).value(1), 34u);
    listener->publish(u"zarnet/kept/units/0/set"_s, "12");
    QTRY_COMPARE(bus.units(1).value(0), 12u);
    QCOMPARE(gateway->terminate(), 0);
}

void TestZarnetdService::clientCertificatesChecked_data() {
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("daysFromNow");
    QTest::addColumn<int>("fault"); // -1: none
    const QString own = ours.filePath(u"gateway"_s);
    const QString locked = ours.filePath(u"locked"_s);
    QTest::newRow("its own key") << own + u".crt"_s << own + u".key"_s << QByteArray() << 0 << -1;
    QTest::newRow("an encrypted key opened")
        << locked + u".crt"_s << locked + u".key"_s << QByteArray("s3cret") << 0 << -1;
    QTest::newRow("a wrong password") << locked + u".crt"_s << locked + u".key"_s
                                      << QByteArray("guess") << 0 << int(CertificateFault::NoKey);
    QTest::newRow("no password") << locked + u".crt"_s << locked + u".key"_s << QByteArray() << 0
                                 << int(CertificateFault::NoKey);
    QTest::newRow("another's key") << own + u".crt"_s << locked + u".key"_s << QByteArray("s3cret")
                                   << 0 << int(CertificateFault::KeyMismatch);
    QTest::newRow("expired") << own + u".crt"_s << own + u".key"_s << QByteArray() << 3
                             << int(CertificateFault::Expired);
    QTest::newRow("not valid yet") << own + u".crt"_s << own + u".key"_s << QByteArray() << -1
                                   << int(CertificateFault::NotYetValid);
    QTest::newRow("a key for a certificate") << own + u".key"_s << own + u".key"_s << QByteArray()
                                             << 0 << int(CertificateFault::NoCertificate);
}

void TestZarnetdService::clientCertificatesChecked() {
    QFETCH(QString, certificate);
    QFETCH(QString, key);
    QFETCH(QByteArray, password);
    QFETCH(int, daysFromNow);
    QFETCH(int, fault);
    QFile c(certificate), k(key);
    QVERIFY(c.open(QIODevice::ReadOnly) && k.open(QIODevice::ReadOnly));
    const auto problem = zarnet::gateway::checkClientCertificate(
        c.readAll(), k.readAll(), password, QDateTime::currentDateTimeUtc().addDays(daysFromNow));
    QCOMPARE(problem ? int(problem->fault) : -1, fault);
    QCOMPARE(ERR_peek_error(), 0ul); // nothing left for the broker connection to trip on
}

void TestZarnetdService::brokerRequiringCertificates_data() {
    QTest::addColumn<QString>("client"); // its certificate and key; empty: none
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("online");
    QTest::newRow("ours") << ours.filePath(u"gateway"_s) << QByteArray() << true;
    QTest::newRow("ours, its key encrypted")
        << ours.filePath(u"locked"_s) << QByteArray("s3cret") << true;
    QTest::newRow("none") << QString() << QByteArray() << false;
    QTest::newRow("another authority's") << theirs.filePath(u"stranger"_s) << QByteArray() << false;
}

// A broker that takes only certificates of its own authority.
void TestZarnetdService::brokerRequiringCertificates() {
    QFETCH(QString, client);
    QFETCH(QByteArray, password);
    QFETCH(bool, online);
    Broker strict;
    const quint16 plain = freePort();
    QVERIFY2(strict.start(0, u"cafile %1\ncertfile %2\nkeyfile %3\nrequire_certificate true\n"
                             "listener %4 127.0.0.1\n"_s
                                 .arg(authority.caFile, authority.certFile, authority.keyFile)
                                 .arg(plain)
                                 .toUtf8()),
             qPrintable(strict.error));
    Listener watcher(plain);
    QTRY_VERIFY(watcher.connected());
    QByteArray toml = u"[broker]\nurl = \"mqtts://127.0.0.1:%1\"\nclient_id = \"zarnetd-tls\"\n"
                      "ca_file = \"%2\"\n"_s.arg(strict.port())
                          .arg(authority.caFile)
                          .toUtf8();
    if (!client.isEmpty())
        toml += u"cert_file = \"%1.crt\"\nkey_file = \"%1.key\"\n"_s.arg(client).toUtf8();
    if (!password.isEmpty()) {
        QFile secret(ours.filePath(u"key.secret"_s));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write(password + '\n') > 0);
        toml += u"key_password_file = \"%1\"\n"_s.arg(secret.fileName()).toUtf8();
    }
    gateway = std::make_unique<Gateway>();
    QVERIFY(gateway->start(toml + signConfig(u"tls"_s, bus.address(), 1)));
    if (online) {
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last(u"zarnet/gateway/zarnetd-tls/status"_s),
                                  QByteArray("online"), 10000);
    } else {
        // A broker that closes with our packet unread resets the connection, and its
        // alert may be lost with it: one of the next attempts brings it.
        QTRY_VERIFY_WITH_TIMEOUT(gateway->log().contains(u"the broker refused our certificate"_s),
                                 20000);
        QVERIFY(watcher.last(u"zarnet/gateway/zarnetd-tls/status"_s).isEmpty());
    }
    QCOMPARE(gateway->terminate(), 0);
}

void TestZarnetdService::brokerAcrossASlowNetwork_data() {
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("refused");
    QTest::newRow("plain") << false << false;
    QTest::newRow("TLS") << true << false;
    QTest::newRow("plain, refused") << false << true;
    QTest::newRow("TLS, refused") << true << true;
}

// A connection still being made when the client has queued its first packet and,
// with TLS, started its handshake; it is made, or refused. Either way the client
// waits without spinning.
void TestZarnetdService::brokerAcrossASlowNetwork() {
    QFETCH(bool, tls);
    QFETCH(bool, refused);
    const QString certificates =
        u"certfile %1\nkeyfile %2\n"_s.arg(authority.certFile, authority.keyFile);
    Broker remote;
    QVERIFY2(remote.start(0, tls ? certificates.toUtf8() : QByteArray()), qPrintable(remote.error));
    SlowAccept network(remote.port());
    const auto cpuMs = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    };
    const qint64 cpuBefore = cpuMs();
    QElapsedTimer clock;
    clock.start();
    Listener client(network.port(), u"zarnet/#"_s, tls ? authority.caFile : QString());
    QTimer::singleShot(300, &network, [&] { refused ? network.close() : network.open(); });
    if (refused) {
        QTest::qWait(3000);
        QVERIFY(!client.connected());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(client.connected(), 8000);
        QVERIFY2(clock.elapsed() >= 500, "the connection was not held back: nothing was tested");
    }
    QVERIFY2(cpuMs() - cpuBefore < 500, qPrintable(u"%1 ms of CPU"_s.arg(cpuMs() - cpuBefore)));
    remote.kill();
}

QTEST_GUILESS_MAIN(TestZarnetdService)
#include "tst_zarnetd_service.moc"
