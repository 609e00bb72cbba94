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

// The host: every message it heard, decoded, in order.
class Host {
public:
    bool start(quint16 port) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(u"/usr/bin/python3"_s,
                       {QStringLiteral(ZARNET_SPARKPLUG_HOST), QString::number(port),
                        QStringLiteral(ZARNET_SPARKPLUG_SCHEMA), u"hall2"_s, u"edge1"_s,
                        u"scada1"_s});
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
            while (process_.canReadLine())
                seen.append(QJsonDocument::fromJson(process_.readLine()).object());
        });
        QDeadlineTimer limit(20000);
        while (of(u"ready"_s).isEmpty() && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return !of(u"ready"_s).isEmpty();
    }
    void send(const QJsonObject& order) {
        process_.write(QJsonDocument(order).toJson(QJsonDocument::Compact) + '\n');
    }
    QList<QJsonObject> of(const QString& type, const QString& device = {},
                          qsizetype from = 0) const {
        QList<QJsonObject> found;
        for (qsizetype i = from; i < seen.size(); ++i)
            if (seen[i].value(u"type"_s) == type &&
                (device.isEmpty() || seen[i].value(u"device"_s) == device))
                found.append(seen[i]);
        return found;
    }
    ~Host() {
        process_.closeWriteChannel();
        process_.kill();
        process_.waitForFinished();
    }
    QList<QJsonObject> seen;

private:
    QProcess process_;
};

// The message's metrics by name; `names` resolves the aliases of data messages.
QJsonObject metricsOf(const QJsonObject& message, const QHash<qint64, QString>& names = {}) {
    QJsonObject byName;
    for (const QJsonValue m : message.value(u"metrics"_s).toArray()) {
        const QJsonObject o = m.toObject();
        const QString name = o.value(u"name"_s).isString()
                                 ? o.value(u"name"_s).toString()
                                 : names.value(o.value(u"alias"_s).toInteger());
        byName.insert(name, o);
    }
    return byName;
}

QHash<qint64, QString> aliases(const QJsonObject& birth) {
    QHash<qint64, QString> names;
    for (const QJsonValue m : birth.value(u"metrics"_s).toArray())
        names.insert(m.toObject().value(u"alias"_s).toInteger(),
                     m.toObject().value(u"name"_s).toString());
    return names;
}

qint64 bdSeqOf(const QJsonObject& message) {
    return metricsOf(message).value(u"bdSeq"_s).toObject().value(u"value"_s).toInteger();
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
        QHash<qint64, QString> names;
        QJsonValue value;
        for (const QJsonObject& m : host->seen) {
            if (m.value(u"device"_s) != sign)
                continue;
            if (m.value(u"type"_s) == u"DBIRTH"_s)
                names = aliases(m);
            const QJsonObject metric = metricsOf(m, names).value(name).toObject();
            if (!metric.isEmpty())
                value = metric.value(u"value"_s);
        }
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
    const QJsonObject node = metricsOf(lastBirth());
    QCOMPARE(lastBirth().value(u"seq"_s).toInt(), 0);
    QCOMPARE(node.value(u"bdSeq"_s).toObject().value(u"datatype"_s).toInt(), Int64);
    QCOMPARE(node.value(u"Node Control/Rebirth"_s).toObject().value(u"value"_s), QJsonValue(false));
    QSet<qint64> seen;
    for (const qint64 alias : aliases(lastBirth()).keys())
        seen.insert(alias);
    const QJsonObject press1 = host->of(u"DBIRTH"_s, u"press1"_s).last();
    const QJsonObject m = metricsOf(press1);
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
        const QJsonObject got = m.value(QLatin1String(e.name)).toObject();
        QVERIFY2(!got.isEmpty(), e.name);
        QCOMPARE(got.value(u"datatype"_s).toInt(), e.datatype);
        QCOMPARE(got.value(u"value"_s), e.value);
    }
    QVERIFY(m.value(u"plan"_s).toObject().value(u"null"_s).toBool());
    for (const QString& sign : {u"press1"_s, u"press2"_s})
        for (const qint64 alias : aliases(host->of(u"DBIRTH"_s, sign).last()).keys()) {
            QVERIFY2(!seen.contains(alias), qPrintable(sign));
            seen.insert(alias);
        }
}

// Every message after the birth takes the next seq, 255 followed by 0.
void TestZarnetdSparkplug::seqRunsOnOverTheWrap() {
    // A unit's first value brings a new metric, and so a new birth of the device.
    QVERIFY(listener->publish(u"zarnet/press2/units/7/set"_s, "0"));
    QTRY_COMPARE(host->of(u"DBIRTH"_s, u"press2"_s).size(), 2);
    const auto names = aliases(host->of(u"DBIRTH"_s, u"press2"_s).last());
    const qsizetype from = host->seen.size();
    const auto shown = [&](int value) {
        const auto data = host->of(u"DDATA"_s, u"press2"_s, from);
        return !data.isEmpty() &&
               metricsOf(data.last(), names).value(u"units/7"_s).toObject().value(u"value"_s) ==
                   value;
    };
    for (int i = 1; i <= 300; ++i) {
        QVERIFY(listener->publish(u"zarnet/press2/units/7/set"_s, QByteArray::number(i)));
        QDeadlineTimer limit(5000);
        while (!shown(i) && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        QVERIFY2(shown(i), qPrintable(QString::number(i)));
    }
    QList<int> seqs;
    for (qsizetype i = host->seen.indexOf(lastBirth()); i < host->seen.size(); ++i)
        if (!host->seen[i].value(u"seq"_s).isNull() && host->seen[i].contains(u"seq"_s))
            seqs.append(host->seen[i].value(u"seq"_s).toInt());
    QVERIFY(seqs.size() > 256);
    for (qsizetype i = 1; i < seqs.size(); ++i)
        QCOMPARE(seqs[i], (seqs[i - 1] + 1) % 256);
}

// Writes by name and by alias land on the sign; one that cannot be carried out
// is published on the sign's error topic, and nothing of its command is sent.
void TestZarnetdSparkplug::writesGoThroughTheSignsChecks() {
    const auto names = aliases(host->of(u"DBIRTH"_s, u"press1"_s).last());
    host->send({{u"dcmd"_s, u"press1"_s},
                {u"metrics"_s, QJsonArray{metric(u"plan"_s, UInt32, 1520),
                                          metric(u"picture/text"_s, String, u"SHIFT"_s)}}});
    QTRY_COMPARE(bus.units(1).value(0), 1520u);
    QTRY_COMPARE(latest(u"press1"_s, u"picture/text"_s), u"SHIFT"_s);
    const qint64 powerAlias = names.key(u"power"_s);
    host->send({{u"dcmd"_s, u"press1"_s},
                {u"metrics"_s,
                 QJsonArray{QJsonObject{
                     {u"alias"_s, powerAlias}, {u"datatype"_s, Boolean}, {u"value"_s, false}}}}});
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
    QVERIFY(host->of(u"DDATA"_s, u"press1"_s, from).size() +
                host->of(u"DDEATH"_s, u"press1"_s, from).size() ==
            0);
    bus.unmute(2);
    QTRY_COMPARE_WITH_TIMEOUT(host->of(u"DBIRTH"_s, u"press2"_s, from).size(), 1, 10000);
    QTRY_COMPARE(latest(u"press2"_s, u"units/7"_s), 300);
}

void TestZarnetdSparkplug::rebirthOnRequest() {
    const qsizetype from = host->seen.size();
    const qint64 bdSeq = bdSeqOf(lastBirth());
    host->send({{u"ncmd"_s, QJsonArray{metric(u"Node Control/Rebirth"_s, Boolean, true)}}});
    QTRY_COMPARE(host->of(u"DBIRTH"_s, {}, from).size(), 2);
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
