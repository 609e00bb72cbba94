// zarnetd's web page, API and metrics, with a real broker, zarnet-boards, and
// Debian's chromium driven by puppeteer.
#include <canvas/panelimage.h>
#include <gateway/httpserver.h>
#include <support/plantparts.h>

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QtTest>
#include <csignal>

using namespace Qt::StringLiterals;
using namespace zarnet::testplant;

namespace {

constexpr char Token[] = "test-token-0123456789";

HttpReply get(quint16 port, const QByteArray& path) {
    return httpExchange(port, "GET " + path + " HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " +
                                  Token + "\r\n\r\n");
}

// Chromium behind tests/web/drive.mjs.
class Browser {
public:
    bool start() {
        process_.setWorkingDirectory(QStringLiteral(ZARNET_WEB_TESTS));
        process_.start(u"node"_s, {u"drive.mjs"_s});
        return process_.waitForStarted(10000);
    }
    ~Browser() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000))
            process_.kill();
    }
    QJsonObject ask(const QJsonObject& request) {
        process_.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        QElapsedTimer waited;
        waited.start();
        // The test's own clients go on meanwhile.
        while (!process_.canReadLine() && waited.elapsed() < 30000)
            QTest::qWait(5);
        const QJsonObject answer = QJsonDocument::fromJson(process_.readLine()).object();
        if (!answer.value(u"pageErrors"_s).toArray().isEmpty())
            qWarning() << "page errors:" << answer.value(u"pageErrors"_s);
        return answer;
    }
    bool waitFor(const QString& expression, int ms) {
        return ask({{u"wait"_s, expression}, {u"ms"_s, ms}}).value(u"ok"_s).toBool();
    }
    QJsonValue eval(const QString& expression) {
        return ask({{u"eval"_s, expression}}).value(u"value"_s);
    }

private:
    QProcess process_;
};

QString card(const QString& sign) {
    return u"document.querySelector('article[data-sign=\"%1\"]')"_s.arg(sign);
}

} // namespace

class TestZarnetdWeb : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void livePage();
    void pictureIsWhatTheSignShows();
    void metrics();
    void hostileRequests_data();
    void hostileRequests();
    void crowdsAndSlowClients();
    void aNewTokenClosesTheStreams();

private:
    QByteArray config() const;

    Broker broker;
    std::unique_ptr<Listener> listener;
    Board busBoard;  // press1 and press2
    Board soloBoard; // press3, with its panel in a file
    QTemporaryDir dir;
    Gateway service;
    quint16 http = 0;
};

QByteArray TestZarnetdWeb::config() const {
    QByteArray toml =
        u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"zarnetd-web\"\n"
        "[http]\nlisten = \"127.0.0.1:%2\"\ntoken_file = \"%3\"\n"_s.arg(broker.port())
            .arg(http)
            .arg(dir.filePath(u"token"_s))
            .toUtf8();
    const QString signs[][3] = {{u"press1"_s, busBoard.address(), u"1"_s},
                                {u"press2"_s, busBoard.address(), u"2"_s},
                                {u"press3"_s, soloBoard.address(), u"3"_s}};
    for (const auto& sign : signs)
        toml += u"[[sign]]\nname = \"%1\"\nlink = \"%2\"\ndevice = %3\nhealth_seconds = 1\n"_s
                    .arg(sign[0], sign[1], sign[2])
                    .toUtf8();
    return toml;
}

void TestZarnetdWeb::initTestCase() {
    QVERIFY2(broker.start(), qPrintable(broker.error));
    listener = std::make_unique<Listener>(broker.port());
    QTRY_VERIFY(listener->connected());
    QVERIFY(busBoard.start(
        {u"--device"_s, u"1,2"_s, u"--listen"_s, u"tcp://127.0.0.1:%1"_s.arg(freePort())}));
    QVERIFY(soloBoard.start({u"--device"_s, u"3"_s, u"--png"_s, dir.filePath(u"panel.png"_s)}));
    QFile token(dir.filePath(u"token"_s));
    QVERIFY(token.open(QIODevice::WriteOnly) && token.write(Token) > 0);
    token.close();
    http = freePort();
    QVERIFY(service.start(config()));
    QTRY_COMPARE_WITH_TIMEOUT(get(http, "/api/signs").status, 200, 10000);
}

void TestZarnetdWeb::cleanupTestCase() {
    service.terminate();
    listener.reset();
    broker.kill();
}

// The page follows the plant without reloading, and says so when the service is gone.
void TestZarnetdWeb::livePage() {
    Browser browser;
    QVERIFY(browser.start());
    const QJsonObject opened =
        browser.ask({{u"open"_s, u"http://127.0.0.1:%1/?token=%2"_s.arg(http).arg(Token)},
                     {u"language"_s, u"en-US,en;q=0.9"_s}});
    QCOMPARE(opened.value(u"status"_s).toInt(), 200);
    QVERIFY(browser.waitFor(u"document.querySelectorAll('article.card').length == 3"_s, 10000));
    QCOMPARE(browser.eval(u"document.querySelectorAll('section.line').length"_s).toInt(), 2);
    QCOMPARE(browser.eval(u"document.documentElement.lang"_s).toString(), u"en"_s);
    QVERIFY(browser.waitFor(card(u"press1"_s) + u".dataset.state == 'online'"_s, 10000));
    browser.eval(u"window.notReloaded = true"_s);

    listener->publish(u"zarnet/press1/units/5/set"_s, "777");
    const QString value = card(u"press1"_s) + u".querySelector('tr[data-unit=\"5\"] .value')"_s;
    QVERIFY(browser.waitFor(value + u" && "_s + value + u".textContent == '777'"_s, 1000));

    busBoard.mute(2);
    QVERIFY(browser.waitFor(card(u"press2"_s) + u".dataset.state == 'offline'"_s, 8000));
    QVERIFY(browser.eval(card(u"press2"_s) + u".querySelector('.reason').textContent"_s)
                .toString()
                .startsWith(u"no answer"_s));
    // Its cause as a word, for a page in another language.
    QCOMPARE(QJsonDocument::fromJson(get(http, "/api/signs/press2").body)["test"]["outcome"],
             u"no_answer"_s);
    busBoard.unmute(2);
    QVERIFY(browser.eval(u"window.notReloaded === true"_s).toBool());

    QCOMPARE(service.terminate(), 0);
    QVERIFY(browser.waitFor(u"!document.getElementById('away').hidden"_s, 5000));
    QVERIFY(service.start(config()));
    QVERIFY(browser.waitFor(u"document.getElementById('away').hidden"_s, 15000));
    QVERIFY(browser.waitFor(card(u"press3"_s) + u" != null"_s, 5000));
}

// The picture is drawn from the frames sent: the same dots the controller shows.
void TestZarnetdWeb::pictureIsWhatTheSignShows() {
    listener->publish(u"zarnet/press3/image/set"_s,
                      R"({"text": "Line 3 OK", "window": [16, 8, 160, 40]})");
    const auto shown = [this] {
        QImage panel(dir.filePath(u"panel.png"_s));
        return panel.convertToFormat(QImage::Format_RGB32);
    };
    const auto lit = [](const QImage& dots) {
        for (int y = 0; y < dots.height(); ++y)
            for (int x = 0; x < dots.width(); ++x)
                if (dots.pixel(x, y) != dots.pixel(0, 0))
                    return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(lit(shown()), 10000);
    // The page's picture is drawn at some pitch; the board's dots drawn at that
    // pitch must give it exactly.
    const int framed = zarnet::ledPicture(shown(), 1).width();
    QImage picture;
    QTRY_VERIFY_WITH_TIMEOUT(
        picture.loadFromData(get(http, "/api/signs/press3/picture.png").body, "PNG") &&
            picture.width() % framed == 0 &&
            picture.convertToFormat(QImage::Format_RGB32) ==
                zarnet::ledPicture(shown(), picture.width() / framed),
        10000);
}

// Strictly the text format, with figures that match the plant.
void TestZarnetdWeb::metrics() {
    const HttpReply answer = get(http, "/metrics");
    QCOMPARE(answer.status, 200);
    QProcess promtool;
    promtool.start(u"promtool"_s, {u"check"_s, u"metrics"_s});
    QVERIFY(promtool.waitForStarted());
    promtool.write(answer.body);
    promtool.closeWriteChannel();
    QVERIFY(promtool.waitForFinished(20000));
    QVERIFY2(promtool.exitCode() == 0, promtool.readAll().constData());
    const QByteArrayList lines = answer.body.split('\n');
    const auto sample = [&](const QByteArray& name) {
        for (const QByteArray& line : lines)
            if (line.startsWith(name + ' '))
                return line.sliced(name.size() + 1).toDouble();
        return -1.0;
    };
    QCOMPARE(sample(R"(zarnet_sign_online{sign="press3"})"), 1.0);
    QCOMPARE(sample("zarnet_broker_connected"), 1.0);
    QVERIFY(sample(R"(zarnet_messages_received_total{kind="image"})") >= 1);
    QVERIFY(sample(R"(zarnet_line_frames_sent_total{line=")" + soloBoard.address().toUtf8() +
                   "\"}") > 0);
}

void TestZarnetdWeb::hostileRequests_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    const QByteArray auth = QByteArray("Authorization: Bearer ") + Token + "\r\n";
    QTest::newRow("oversized header")
        << "GET / HTTP/1.1\r\nX-Big: " + QByteArray(9000, 'a') + "\r\n\r\n"
        << 431;
    QByteArray many = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 100; ++i)
        many += "X-" + QByteArray::number(i) + ": 1\r\n";
    QTest::newRow("too many headers") << many + "\r\n" << 431;
    QTest::newRow("POST with a body")
        << "POST /api/signs HTTP/1.1\r\nContent-Length: 2\r\n" + auth + "\r\n{}" << 405;
    QTest::newRow("bad token") << QByteArray("GET /api/signs HTTP/1.1\r\nAuthorization: Bearer "
                                             "test-token-0123456780\r\n\r\n")
                               << 401;
    QTest::newRow("no token") << QByteArray("GET /metrics HTTP/1.1\r\n\r\n") << 401;
    QTest::newRow("token in a cookie")
        << QByteArray("GET /api/signs HTTP/1.1\r\nCookie: a=b; zarnet_token=") + Token + "\r\n\r\n"
        << 200;
    QTest::newRow("outside the API") << "GET /etc/passwd HTTP/1.1\r\n" + auth + "\r\n" << 404;
    QTest::newRow("climbing out") << "GET /api/../../etc/passwd HTTP/1.1\r\n" + auth + "\r\n"
                                  << 400;
    QTest::newRow("unknown sign") << "GET /api/signs/press9 HTTP/1.1\r\n" + auth + "\r\n" << 404;
    QTest::newRow("a body") << "GET / HTTP/1.1\r\nContent-Length: 5\r\n" + auth + "\r\nhello"
                            << 413;
    QTest::newRow("not HTTP") << QByteArray("\x16\x03\x01\x02\x00\r\n\r\n", 9) << 400;
    QTest::newRow("HTTP/2") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 505;
}

void TestZarnetdWeb::hostileRequests() {
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QCOMPARE(httpExchange(http, request).status, status);
}

// A crowd of idle connections and a client that never finishes its request take
// nothing from the signs, and the server goes on answering.
void TestZarnetdWeb::crowdsAndSlowClients() {
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < 200; ++i) {
        crowd.push_back(std::make_unique<QTcpSocket>());
        crowd.back()->connectToHost(u"127.0.0.1"_s, http);
        QVERIFY(crowd.back()->waitForConnected(5000));
    }
    QTRY_COMPARE(get(http, "/api/signs/press1").status, 200);
    listener->publish(u"zarnet/press1/units/6/set"_s, "66");
    QTRY_COMPARE(busBoard.units(1).value(6), 66u);

    // A byte now and then, while new connections keep coming: never the quietest,
    // never done.
    QTcpSocket slow;
    slow.connectToHost(u"127.0.0.1"_s, http);
    QVERIFY(slow.waitForConnected(5000));
    QElapsedTimer since;
    since.start();
    const QByteArray head = "GET /api/signs HTTP/1.1\r\nX-Slow: " + QByteArray(100, 'a');
    QByteArray answer;
    for (int sent = 0; slow.state() == QAbstractSocket::ConnectedState &&
                       since.elapsed() < zarnet::gateway::HttpServer::HeadTimeoutMs + 5000;
         ++sent) {
        slow.write(head.mid(sent, 1));
        for (int i = 0; i < 2; ++i) {
            crowd.push_back(std::make_unique<QTcpSocket>());
            crowd.back()->connectToHost(u"127.0.0.1"_s, http);
        }
        if (slow.waitForReadyRead(250))
            answer += slow.readAll();
    }
    answer += slow.readAll();
    QVERIFY2(answer.startsWith("HTTP/1.1 408"), answer.constData());
}

// A stream let in with a token that is no longer configured ends at the reload.
void TestZarnetdWeb::aNewTokenClosesTheStreams() {
    QTcpSocket stream;
    stream.connectToHost(u"127.0.0.1"_s, http);
    QVERIFY(stream.waitForConnected(5000));
    stream.write("GET /events HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer "_ba + Token +
                 "\r\n\r\n");
    QByteArray seen;
    QTRY_VERIFY((seen += stream.readAll()).contains("event: gateway"));
    // A reload that keeps the token keeps the stream.
    service.signal(SIGHUP);
    QTRY_VERIFY(service.log().contains(u"configuration read again"_s));
    listener->publish(u"zarnet/press1/units/9/set"_s, "909");
    QTRY_VERIFY((seen += stream.readAll()).contains("909"));
    QFile token(dir.filePath(u"token"_s));
    QVERIFY(token.open(QIODevice::WriteOnly) && token.write("another-token-0123456789") > 0);
    token.close();
    service.signal(SIGHUP);
    QTRY_COMPARE_WITH_TIMEOUT(stream.state(), QAbstractSocket::UnconnectedState, 10000);
    QCOMPARE(get(http, "/api/signs").status, 401);
}

QTEST_GUILESS_MAIN(TestZarnetdWeb)
#include "tst_zarnetd_web.moc"
