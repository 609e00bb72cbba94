// What the plant's tools use: named units, groups of signs, timed images, Home
// Assistant's discovery, and a second hall behind a bridged broker; with real
// brokers and zarnet-boards.
#include <support/plantparts.h>

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace zarnet::testplant;

namespace {

QString dotsOf(const QString& path) {
    const QImage panel(path);
    return QString::number(qHash(QByteArrayView(panel.constBits(), panel.sizeInBytes())));
}

} // namespace

class TestZarnetdTools : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void namedUnits();
    void groupActsOnItsMembersOrNone();
    void timedImageGivesWayToTheStandingOne();
    void homeAssistantFindsAndDrivesTheSigns();
    void bridgedHalls();

private:
    bool publish(const QString& topic, const QByteArray& payload) {
        return listener->publish(u"zarnet/"_s + topic, payload);
    }

    Broker broker;
    std::unique_ptr<Listener> listener;
    std::unique_ptr<Listener> assistant; // homeassistant/#
    Board bus;                           // press1 (device 1), press2 (device 2)
    Board solo;                          // press3, with its panel in a file
    QTemporaryDir dir;
    Gateway service;
    QByteArray toml;
};

void TestZarnetdTools::initTestCase() {
    QVERIFY2(broker.start(), qPrintable(broker.error));
    listener = std::make_unique<Listener>(broker.port());
    assistant = std::make_unique<Listener>(broker.port(), u"homeassistant/#"_s);
    QTRY_VERIFY(listener->connected() && assistant->connected());
    QVERIFY(bus.start(
        {u"--device"_s, u"1,2"_s, u"--listen"_s, u"tcp://127.0.0.1:%1"_s.arg(freePort())}));
    QVERIFY(solo.start({u"--device"_s, u"3"_s, u"--png"_s, dir.filePath(u"panel.png"_s)}));
    toml = u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"tools\"\n"
           "[homeassistant]\ndiscovery = true\n"
           "[[group]]\nname = \"hall2\"\nsigns = [\"press1\", \"press3\"]\n"
           "[[group]]\nname = \"site\"\nsigns = [\"press2\", \"elsewhere\"]\n"
           "[[sign]]\nname = \"press1\"\nlink = \"%2\"\ndevice = 1\nhealth_seconds = 1\n"
           "units.0.name = \"plan\"\nunits.1 = { name = \"actual\", max_age = \"5m\" }\n"
           "image = { text = \"A\", window = [0, 0, 64, 16] }\n"
           "[[sign]]\nname = \"press2\"\nlink = \"%2\"\ndevice = 2\nhealth_seconds = 1\n"
           "[[sign]]\nname = \"press3\"\nlink = \"%3\"\ndevice = 3\nhealth_seconds = 1\n"
           "units.5.name = \"plan\"\n"_s.arg(broker.port())
               .arg(bus.address(), solo.address())
               .toUtf8();
    QVERIFY(service.start(toml));
    for (const char* sign : {"press1", "press2", "press3"})
        QTRY_COMPARE_WITH_TIMEOUT(
            json(listener->last(u"zarnet/%1/status"_s.arg(QLatin1String(sign))))
                .value(u"state"_s)
                .toString(),
            u"online"_s, 10000);
}

void TestZarnetdTools::cleanupTestCase() {
    service.terminate();
    assistant.reset();
    listener.reset();
    broker.kill();
}

// By topic and in a batch; the state comes back under the number and the name. A
// kept command moves to the number's topic, so that after a restart the number's
// older one cannot win over it.
void TestZarnetdTools::namedUnits() {
    listener->publish(u"zarnet/press1/units/0/set"_s, "1519", true);
    listener->publish(u"zarnet/press1/units/plan/set"_s, "1520", true);
    QTRY_COMPARE(bus.units(1).value(0), 1520u);
    QTRY_COMPARE(listener->last(u"zarnet/press1/units/plan"_s), QByteArray("1520"));
    QCOMPARE(listener->last(u"zarnet/press1/units/0"_s), QByteArray("1520"));
    QTRY_COMPARE(listener->last(u"zarnet/press1/units/0/set"_s), QByteArray("1520"));
    QTRY_VERIFY(listener->last(u"zarnet/press1/units/plan/set"_s).isEmpty());
    publish(u"press1/units/set"_s, R"({"actual": 7, "plan": 1521})");
    QTRY_COMPARE(bus.units(1).value(1), 7u);
    QTRY_COMPARE(bus.units(1).value(0), 1521u);
    publish(u"press1/units/planned/set"_s, "1");
    QTRY_VERIFY(listener->last(u"zarnet/press1/error"_s).contains("no unit that name"));

    // Both kept a value while the gateway was away: the number's stays.
    QCOMPARE(service.terminate(), 0);
    listener->publish(u"zarnet/press1/units/plan/set"_s, "5", true);
    listener->publish(u"zarnet/press1/units/0/set"_s, "7", true);
    QVERIFY(service.start(toml));
    QTRY_COMPARE_WITH_TIMEOUT(bus.units(1).value(0), 7u, 10000);
    QTRY_VERIFY(listener->last(u"zarnet/press1/units/plan/set"_s).isEmpty());
    QCOMPARE(bus.units(1).value(0), 7u);
}

// One command reaches members on two lines, each by its own number for the name;
// one that a member cannot take is refused once, for all.
void TestZarnetdTools::groupActsOnItsMembersOrNone() {
    publish(u"group/hall2/units/plan/set"_s, "99");
    QTRY_COMPARE(bus.units(1).value(0), 99u);
    QTRY_COMPARE(solo.units(3).value(5), 99u);
    const qsizetype framesBefore = solo.frames(3).size();
    publish(u"group/hall2/units/actual/set"_s, "5"); // press3 has no unit "actual"
    QTRY_VERIFY(json(listener->last(u"zarnet/group/hall2/error"_s))
                    .value(u"reason"_s)
                    .toString()
                    .contains(u"press3"_s));
    publish(u"group/hall2/power/set"_s, "off");
    QTRY_VERIFY(solo.frames(3).mid(framesBefore).join(u'\n').contains(u"power off"_s));
    QVERIFY(!solo.frames(3).mid(framesBefore).join(u'\n').contains(u"units"_s));
    QCOMPARE(bus.units(1).value(1), 7u);
    QVERIFY(bus.frames(1).join(u'\n').contains(u"power off"_s));
    QVERIFY(!bus.frames(2).join(u'\n').contains(u"power off"_s)); // not a member
    publish(u"group/site/units/9/set"_s, "9"); // its other member is another gateway's
    QTRY_COMPARE(bus.units(2).value(9), 9u);
    publish(u"group/hall2/power/set"_s, "on");
    QTRY_VERIFY(solo.frames(3).last().contains(u"power on"_s));

    // Kept while no gateway served the group: carried out when one comes.
    QCOMPARE(service.terminate(), 0);
    listener->publish(u"zarnet/group/hall2/units/plan/set"_s, "77", true);
    QVERIFY(service.start(toml));
    QTRY_COMPARE_WITH_TIMEOUT(solo.units(3).value(5), 77u, 10000);
    QTRY_COMPARE(bus.units(1).value(0), 77u);
    QTRY_COMPARE(listener->last(u"zarnet/press3/units/5/set"_s), QByteArray("77"));
    QTRY_VERIFY(listener->last(u"zarnet/group/hall2/units/plan/set"_s).isEmpty());
    // A kept notice may have ended long ago: refused, and taken off.
    const QString notice = u"zarnet/group/hall2/image/set"_s;
    listener->publish(notice, R"({"text": "drill", "for": "10m"})", true);
    QTRY_VERIFY(listener->last(u"zarnet/group/hall2/error"_s).contains("timed"));
    QTRY_VERIFY(listener->last(notice).isEmpty());
}

// The standing image comes back when the timed one's time is up; the status says
// which shows and until when.
void TestZarnetdTools::timedImageGivesWayToTheStandingOne() {
    const QString panel = dir.filePath(u"panel.png"_s);
    const QString blank = dotsOf(panel);
    publish(u"press3/image/set"_s, R"({"text": "STANDING"})");
    QTRY_VERIFY(dotsOf(panel) != blank);
    const QString standing = dotsOf(panel);
    publish(u"press3/image/set"_s, R"({"text": "NOTICE", "for": "3s"})");
    QTRY_COMPARE(json(listener->last(u"zarnet/press3/status"_s))
                     .value(u"showing"_s)
                     .toObject()
                     .value(u"image"_s)
                     .toString(),
                 u"timed"_s);
    QTRY_VERIFY(dotsOf(panel) != standing);
    // A second notice in its place moves the end the status gives.
    const auto until = [&] {
        return json(listener->last(u"zarnet/press3/status"_s))
            .value(u"showing"_s)
            .toObject()
            .value(u"until"_s)
            .toString();
    };
    const QString first = until();
    publish(u"press3/image/set"_s, R"({"text": "NOTICE 2", "for": "4s"})");
    QTRY_VERIFY(until() != first && !until().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(dotsOf(panel), standing, 9000);
    // The status travels through the broker, the frame over the line: either may come first.
    QTRY_COMPARE(json(listener->last(u"zarnet/press3/status"_s))
                     .value(u"showing"_s)
                     .toObject()
                     .value(u"image"_s)
                     .toString(),
                 u"own"_s);
}

// Read back as Home Assistant reads them, then used as it would use them.
void TestZarnetdTools::homeAssistantFindsAndDrivesTheSigns() {
    const QString node = u"homeassistant/%1/zarnet_tools/%2/config"_s;
    const auto config = [&](const QString& component, const QString& object) {
        return json(assistant->last(node.arg(component, object)));
    };
    QTRY_VERIFY(!config(u"number"_s, u"press1_unit_actual"_s).isEmpty());
    // The keys each kind of entity requires, and what a device needs.
    const struct {
        const char* component;
        const char* object;
        const char* required;
    } entities[] = {{"switch", "press1_power", "command_topic"},
                    {"number", "press1_unit_plan", "command_topic"},
                    {"text", "press2_text", "command_topic"},
                    {"binary_sensor", "press3_connectivity", "state_topic"},
                    {"sensor", "press3_last_answer", "state_topic"}};
    for (const auto& entity : entities) {
        const QJsonObject c = config(QLatin1String(entity.component), QLatin1String(entity.object));
        QVERIFY2(c.contains(QLatin1String(entity.required)) && c.contains(u"unique_id"_s) &&
                     !c.value(u"device"_s).toObject().value(u"identifiers"_s).toArray().isEmpty(),
                 entity.object);
        QCOMPARE(c.value(u"device"_s).toObject().value(u"via_device"_s).toString(),
                 u"zarnet_tools"_s);
    }
    QVERIFY(config(u"number"_s, u"press2_unit_plan"_s).isEmpty()); // press2 names no unit
    QVERIFY(config(u"text"_s, u"press1_text"_s)
                .value(u"command_template"_s)
                .toString()
                .contains(u"\"window\":[0,0,64,16]"_s));
    // A sign with no image of its own shows the text on all of it.
    QVERIFY(config(u"text"_s, u"press2_text"_s)
                .value(u"command_template"_s)
                .toString()
                .contains(u"\"window\": [0, 0, 256, 64]"_s));

    const QJsonObject power = config(u"switch"_s, u"press1_power"_s);
    listener->publish(power.value(u"command_topic"_s).toString(),
                      power.value(u"payload_off"_s).toString().toUtf8());
    QTRY_COMPARE(json(listener->last(u"zarnet/press1/status"_s))
                     .value(u"power"_s)
                     .toObject()
                     .value(u"state"_s)
                     .toString(),
                 power.value(u"state_off"_s).toString());
    listener->publish(power.value(u"command_topic"_s).toString(), "on");
    listener->publish(
        config(u"number"_s, u"press1_unit_plan"_s).value(u"command_topic"_s).toString(), "42");
    QTRY_COMPARE(bus.units(1).value(0), 42u);

    // Home Assistant back from a restart, with its discovery messages gone.
    const QString plan = node.arg(u"number"_s, u"press1_unit_plan"_s);
    assistant->publish(plan, {}, true);
    QTRY_VERIFY(assistant->last(plan).isEmpty());
    assistant->publish(u"homeassistant/status"_s, "online");
    QTRY_VERIFY(!assistant->last(plan).isEmpty());
}

// Two halls, a broker each, joined by the broker's own bridge, a gateway on each:
// a command published in one hall reaches a sign of the other, and its state comes back.
void TestZarnetdTools::bridgedHalls() {
    Broker hallB;
    QVERIFY2(hallB.start(0, u"\nconnection hall-a\naddress 127.0.0.1:%1\ntopic zarnet/# both 1\n"_s
                                .arg(broker.port())
                                .toUtf8()),
             qPrintable(hallB.error));
    Board dock;
    QVERIFY(dock.start({u"--device"_s, u"7"_s}));
    Gateway gatewayB;
    QVERIFY(
        gatewayB.start(u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"hall-b\"\n"
                       "[[sign]]\nname = \"dock\"\nlink = \"%2\"\ndevice = 7\n"_s.arg(hallB.port())
                           .arg(dock.address())
                           .toUtf8()));
    QTRY_COMPARE_WITH_TIMEOUT(
        json(listener->last(u"zarnet/dock/status"_s)).value(u"state"_s).toString(), u"online"_s,
        15000);
    publish(u"dock/units/4/set"_s, "4711");
    QTRY_COMPARE_WITH_TIMEOUT(dock.units(7).value(4), 4711u, 10000);
    QTRY_COMPARE(listener->last(u"zarnet/dock/units/4"_s), QByteArray("4711"));
    QCOMPARE(gatewayB.terminate(), 0);
    hallB.kill();
}

QTEST_GUILESS_MAIN(TestZarnetdTools)
#include "tst_zarnetd_tools.moc"
