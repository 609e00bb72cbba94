// zarnetd as a Sparkplug B edge node, seen by a host written in Python against the
// schema compiled on its own; with a real broker and zarnet-boards.
#include <support/plantparts.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>
#include <csignal>

using namespace Qt::StringLiterals;
using namespace zarnet::testplant;

namespace {

// Datatypes on the wire.
constexpr int Int32 = 3, Int64 = 4, UInt32 = 7, Boolean = 11, String = 12;

QJsonObject metric(const QString& name, int datatype, const QJsonValue& value) {
    return {{u"name"_s, name}, {u"datatype"_s, datatype}, {u"value"_s, value}};
}

bool waitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer limit(ms);
    while (!done() && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return done();
}

// The host: every message it heard, decoded, in order.
struct Host {
    bool start(quint16 port) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
            while (process.canReadLine())
                seen.append(QJsonDocument::fromJson(process.readLine()).object());
        });
        process.start(u"/usr/bin/python3"_s,
                      {QStringLiteral(ZARNET_SPARKPLUG_HOST), QString::number(port),
                       QStringLiteral(ZARNET_SPARKPLUG_SCHEMA), u"hall2"_s, u"edge1"_s,
                       u"scada1"_s});
        return waitFor([this] { return !of(u"ready"_s).isEmpty(); }, 20000);
    }
    void send(const QJsonObject& order) {
        process.write(QJsonDocument(order).toJson(QJsonDocument::Compact) + '\n');
    }
    // The messages of a type (and device) from the `from`th on.
    QList<QJsonObject> of(const QString& type, const QString& device = {},
                          qsizetype from = 0) const {
        QList<QJsonObject> found;
        for (const QJsonObject& m : seen.mid(from))
            if (m.value(u"type"_s) == type && (device.isEmpty() || m.value(u"device"_s) == device))
                found.append(m);
        return found;
    }
    ~Host() { process.kill(), process.waitForFinished(); }
    QList<QJsonObject> seen;
    QProcess process;
};

QJsonObject metricsOf(const QJsonObject& message) {
    return message.value(u"metrics"_s).toObject();
}

qint64 bdSeqOf(const QJsonObject& message) {
    return metricsOf(message).value(u"bdSeq"_s).toInteger();
}

} // namespace

class TestZarnetdSparkplug : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void birthsNameEveryMetric();
    void seqRunsOnOverTheWrap();
    void writesGoThroughTheSignsChecks();
    void silencedSignDiesAndIsBornAgain();
    void rebirthOnRequest();
    void primaryHostOfflineAndBack();
    void killedNodeLeavesItsDeath();

private:
    QJsonObject lastBirth() const { return host->of(u"NBIRTH"_s).last(); }
    // What the device's latest birth or data said of the metric.
    QJsonValue latest(const QString& sign, const QString& name) const {
        QJsonValue value;
        for (const QJsonObject& m : host->seen)
            if (m.value(u"device"_s) == sign && metricsOf(m).contains(name))
                value = metricsOf(m).value(name);
        return value;
    }

    Broker broker;
    std::unique_ptr<Listener> listener;
    std::unique_ptr<Host> host;
    Board bus; // press1 (device 1), press2 (device 2)
    QTemporaryDir state;
    Gateway service;
    QByteArray toml;
    qint64 hostTime = 1000;
};

void TestZarnetdSparkplug::initTestCase() {
    QVERIFY2(broker.start(), qPrintable(broker.error));
    listener = std::make_unique<Listener>(broker.port());
    host = std::make_unique<Host>();
    QVERIFY(host->start(broker.port()));
    QTRY_VERIFY(listener->connected());
    host->send({{u"state"_s, true}, {u"timestamp"_s, ++hostTime}});
    QVERIFY(bus.start(
        {u"--device"_s, u"1,2"_s, u"--listen"_s, u"tcp://127.0.0.1:%1"_s.arg(freePort())}));
    toml = u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"edge1\"\n"
           "[sparkplug]\ngroup_id = \"hall2\"\nprimary_host = \"scada1\"\n"
           "[[sign]]\nname = \"press1\"\nlink = \"%2\"\ndevice = 1\nhealth_seconds = 1\n"
           "units.0.name = \"plan\"\nimage = { text = \"A\", window = [0, 0, 64, 16] }\n"
           "[[sign]]\nname = \"press2\"\nlink = \"%2\"\ndevice = 2\nhealth_seconds = 1\n"_s
               .arg(broker.port())
               .arg(bus.address())
               .toUtf8();
    service.setEnvironment(u"STATE_DIRECTORY"_s, state.path());
    QVERIFY(service.start(toml));
    QTRY_COMPARE_WITH_TIMEOUT(host->of(u"DBIRTH"_s).size(), 2, 10000);
}

void TestZarnetdSparkplug::cleanupTestCase() {
    service.terminate();
    host.reset();
    listener.reset();
    broker.kill();
}

// The node's birth carries its sequence number and the rebirth control; each
// sign's, its units (a named one by name, null until it has a value), power,
// state and text. Aliases are unique across the node.
void TestZarnetdSparkplug::birthsNameEveryMetric() {
    QCOMPARE(lastBirth().value(u"seq"_s).toInt(), 0);
    QCOMPARE(lastBirth().value(u"types"_s)[u"bdSeq"_s].toInt(), Int64);
    QCOMPARE(metricsOf(lastBirth()).value(u"Node Control/Rebirth"_s), QJsonValue(false));
    const QJsonObject press1 = host->of(u"DBIRTH"_s, u"press1"_s).last();
    const struct {
        const char* name;
        int datatype;
        QJsonValue value;
    } expected[] = {{"plan", UInt32, QJsonValue()},
                    {"power", Boolean, QJsonValue()}, // nothing has said yet
                    {"state", String, u"online"_s},
                    {"online", Boolean, true},
                    {"picture/text", String, u"A"_s}};
    for (const auto& e : expected) {
        QVERIFY2(metricsOf(press1).contains(QLatin1String(e.name)), e.name);
        QCOMPARE(press1.value(u"types"_s)[QLatin1String(e.name)].toInt(), e.datatype);
        QCOMPARE(metricsOf(press1).value(QLatin1String(e.name)), e.value);
    }
    QSet<qint64> aliases;
    qsizetype count = 0;
    for (const QJsonObject& birth :
         {lastBirth(), press1, host->of(u"DBIRTH"_s, u"press2"_s).last()})
        for (const QJsonValue alias : birth.value(u"aliases"_s).toObject()) {
            aliases.insert(alias.toInteger());
            ++count;
        }
    QCOMPARE(aliases.size(), count);
}

// Every message after the birth takes the next seq, 255 followed by 0.
void TestZarnetdSparkplug::seqRunsOnOverTheWrap() {
    // A unit's first value brings a new metric, and so a new birth of the device.
    QVERIFY(listener->publish(u"zarnet/press2/units/7/set"_s, "0"));
    QTRY_COMPARE(host->of(u"DBIRTH"_s, u"press2"_s).size(), 2);
    // A command sent under the first birth means the same under the second.
    const auto births = host->of(u"DBIRTH"_s, u"press2"_s);
    QCOMPARE(births[1][u"aliases"_s][u"power"_s], births[0][u"aliases"_s][u"power"_s]);
    for (int i = 1; i <= 300; ++i) {
        QVERIFY(listener->publish(u"zarnet/press2/units/7/set"_s, QByteArray::number(i)));
        QVERIFY2(
            waitFor([&] { return metricsOf(host->seen.last()).value(u"units/7"_s) == i; }, 5000),
            qPrintable(QString::number(i)));
    }
    QList<int> seqs;
    for (qsizetype i = host->seen.indexOf(lastBirth()); i < host->seen.size(); ++i)
        if (host->seen[i].value(u"seq"_s).isDouble())
            seqs.append(host->seen[i].value(u"seq"_s).toInt());
    QVERIFY(seqs.size() > 256);
    for (qsizetype i = 1; i < seqs.size(); ++i)
        QCOMPARE(seqs[i], (seqs[i - 1] + 1) % 256);
}

// Writes by name and by alias land on the sign; one that cannot be carried out
// is published on the sign's error topic, and nothing of its command is sent.
void TestZarnetdSparkplug::writesGoThroughTheSignsChecks() {
    host->send({{u"dcmd"_s, u"press1"_s},
                {u"metrics"_s, QJsonArray{metric(u"plan"_s, UInt32, 1520),
                                          metric(u"picture/text"_s, String, u"SHIFT"_s)}}});
    QTRY_COMPARE(bus.units(1).value(0), 1520u);
    QTRY_COMPARE(latest(u"press1"_s, u"picture/text"_s), u"SHIFT"_s);
    const QJsonObject byAlias{
        {u"alias_of"_s, u"power"_s}, {u"datatype"_s, Boolean}, {u"value"_s, false}};
    host->send({{u"dcmd"_s, u"press1"_s}, {u"metrics"_s, QJsonArray{byAlias}}});
    QTRY_VERIFY(bus.frames(1).last().contains(u"power off"_s));

    const struct {
        QJsonObject bad;
        const char* reason;
    } refused[] = {
        {metric(u"plan"_s, Int32, -5), "whole number"},
        {metric(u"plan"_s, UInt32, qint64(3000000000)), "whole number"},
        {metric(u"state"_s, String, u"online"_s), "read-only"},
        {metric(u"power"_s, String, u"on"_s), "Boolean"},
        {metric(u"nothing"_s, UInt32, 1), "no metric"},
    };
    for (const auto& r : refused) {
        host->send({{u"dcmd"_s, u"press1"_s},
                    {u"metrics"_s, QJsonArray{metric(u"plan"_s, UInt32, 99), r.bad}}});
        QTRY_VERIFY2(listener->last(u"zarnet/press1/error"_s).contains(r.reason), r.reason);
        listener->forget();
    }
    QTest::qWait(300);
    QCOMPARE(bus.units(1).value(0), 1520u);
}

void TestZarnetdSparkplug::silencedSignDiesAndIsBornAgain() {
    const qsizetype from = host->seen.size();
    bus.mute(2);
    QTRY_COMPARE_WITH_TIMEOUT(host->of(u"DDEATH"_s, u"press2"_s, from).size(), 1, 10000);
    QVERIFY(host->of(u"DDEATH"_s, u"press1"_s, from).isEmpty());
    bus.unmute(2);
    QTRY_COMPARE_WITH_TIMEOUT(host->of(u"DBIRTH"_s, u"press2"_s, from).size(), 1, 10000);
    QTRY_COMPARE(latest(u"press2"_s, u"units/7"_s), 300);
}

void TestZarnetdSparkplug::rebirthOnRequest() {
    const qsizetype from = host->seen.size();
    const qint64 bdSeq = bdSeqOf(lastBirth());
    const QJsonObject rebirth = metric(u"Node Control/Rebirth"_s, Boolean, true);
    host->send({{u"ncmd"_s, QJsonArray{rebirth, rebirth, rebirth}}}); // one rebirth
    QTRY_COMPARE(host->of(u"DBIRTH"_s, {}, from).size(), 2);
    QTest::qWait(300);
    QCOMPARE(host->of(u"NBIRTH"_s, {}, from).size(), 1);
    QCOMPARE(lastBirth().value(u"seq"_s).toInt(), 0);
    QCOMPARE(bdSeqOf(lastBirth()), bdSeq);
}

// The host going offline ends the node's session; it is born again, with the
// next sequence number, only once the host is back.
void TestZarnetdSparkplug::primaryHostOfflineAndBack() {
    const qsizetype from = host->seen.size();
    const qint64 bdSeq = bdSeqOf(lastBirth());
    host->send({{u"state"_s, false}, {u"timestamp"_s, ++hostTime}});
    QTRY_COMPARE(host->of(u"NDEATH"_s, {}, from).size(), 1);
    QCOMPARE(bdSeqOf(host->of(u"NDEATH"_s, {}, from).last()), bdSeq);
    QTest::qWait(1000);
    QCOMPARE(host->of(u"NBIRTH"_s, {}, from).size(), 0);
    host->send({{u"state"_s, true}, {u"timestamp"_s, ++hostTime}});
    QTRY_COMPARE(host->of(u"NBIRTH"_s, {}, from).size(), 1);
    QCOMPARE(bdSeqOf(lastBirth()), (bdSeq + 1) % 256);
    QTRY_COMPARE(host->of(u"DBIRTH"_s, {}, from).size(), 2);
}

// The broker gives the death of a node that vanished; the next start moves on.
void TestZarnetdSparkplug::killedNodeLeavesItsDeath() {
    const qsizetype from = host->seen.size();
    const qint64 bdSeq = bdSeqOf(lastBirth());
    service.signal(SIGKILL);
    service.waitForExit(5000);
    QTRY_COMPARE(host->of(u"NDEATH"_s, {}, from).size(), 1);
    QCOMPARE(bdSeqOf(host->of(u"NDEATH"_s, {}, from).last()), bdSeq);
    QVERIFY(service.start(toml));
    QTRY_COMPARE_WITH_TIMEOUT(host->of(u"NBIRTH"_s, {}, from).size(), 1, 10000);
    QCOMPARE(bdSeqOf(lastBirth()), (bdSeq + 1) % 256);
}

QTEST_GUILESS_MAIN(TestZarnetdSparkplug)
#include "tst_zarnetd_sparkplug.moc"
