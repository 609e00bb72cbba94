// Times zarnetd between a mosquitto broker and boards in this process: the delay
// from a publication (or a Modbus TCP write) to the last byte of its frame on the
// board's line, a burst of updates over four signs, 32 signs on TCP updated at
// once against one, eight controllers sharing one paced line, zarnetd against
// a bridge that writes one frame a message, and its web server.
#include <board/boardline.h>
#include <core/board.h>
#include <gateway/mqttclient.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using zarnet::gateway::MqttClient;

namespace {

QTextStream out(stdout);

quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// Runs the event loop until `done` holds or `ms` pass; false on time-out. It
// sleeps between events, so that zarnetd and the broker are not measured
// against a bench spinning on one of the two cores.
bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    QTimer tick; // wakes the loop to look at the time
    tick.start(5);
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Publishes `updates` messages as fast as the broker takes them: up to 2000 wait
// for acknowledgement, and the bench sleeps until the broker has taken a quarter.
void publishAll(MqttClient& client, int updates, const std::function<void()>& publishOne) {
    for (int sent = 0; sent < updates;) {
        for (; sent < updates && client.unacknowledged() < 2000; ++sent)
            publishOne();
        waitUntil([&] { return client.unacknowledged() < 1500; }, 60000);
    }
}

// Runs the event loop for `ms` without spinning, so that zarnetd and the broker
// have the other core to themselves.
void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Sign {
    QString name;
    std::unique_ptr<zarnet::Board> board;
    std::unique_ptr<zarnet::BoardLine> line;
    QString address;
    int frames = 0;
};

std::unique_ptr<Sign> makeSign(const QString& name, bool tcp) {
    auto sign = std::make_unique<Sign>();
    sign->name = name;
    sign->board = std::make_unique<zarnet::Board>();
    sign->line = std::make_unique<zarnet::BoardLine>(*sign->board);
    QString error;
    sign->address =
        tcp ? sign->line->listen(u"127.0.0.1"_s, 0, &error) : sign->line->openPseudoTerminal();
    Sign* raw = sign.get();
    QObject::connect(raw->line.get(), &zarnet::BoardLine::logged, [raw](const QString& line) {
        if (line.contains(u">> "_s) && line.contains(u" units "_s))
            ++raw->frames;
    });
    return sign;
}

class Plant {
public:
    QProcess broker;
    QProcess zarnetd;
    QTemporaryDir dir;
    quint16 port = freePort();
    std::unique_ptr<MqttClient> client;
    int online = 0; // status messages saying online, counted for as long as the plant runs

    // The broker alone; `queueAll`: with room for a whole burst, so that the broker
    // drops nothing and what is measured is zarnetd.
    void startBroker(bool queueAll = true) {
        QFile conf(dir.filePath(u"m.conf"_s));
        conf.open(QIODevice::WriteOnly);
        conf.write(u"listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n"_s.arg(port)
                       .toUtf8());
        if (queueAll)
            conf.write("max_queued_messages 200000\n");
        conf.close();
        broker.start(QStandardPaths::findExecutable(u"mosquitto"_s, {u"/usr/sbin"_s}),
                     {u"-c"_s, conf.fileName()});
        waitUntil(
            [&] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port);
                return probe.waitForConnected(50);
            },
            5000);
    }

    // The publisher, which also counts the statuses that say online.
    bool connectClient() {
        MqttClient::Settings settings;
        settings.port = port;
        settings.clientId = u"bench-publisher"_s;
        client = std::make_unique<MqttClient>(settings);
        QObject::connect(client.get(), &MqttClient::connected,
                         [this] { client->subscribe(u"zarnet/+/status"_s); });
        QObject::connect(client.get(), &MqttClient::message,
                         [this](const QString&, const QByteArray& payload) {
                             if (payload.contains("\"online\""))
                                 ++online;
                         });
        client->start();
        return waitUntil([this] { return client->isConnected(); }, 5000);
    }

    // With a Modbus port, sign i answers as Modbus unit i + 1. `extra` goes into the
    // configuration as it is; `online` signs are waited for (all when negative).
    bool start(const std::vector<std::unique_ptr<Sign>>& signs, quint16 modbusPort = 0,
               const QByteArray& extra = {}, int expectOnline = -1, bool queueAll = true) {
        startBroker(queueAll);
        QByteArray toml =
            u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"bench\"\n"_s.arg(port)
                .toUtf8();
        if (modbusPort)
            toml += u"[modbus]\nlisten = \"127.0.0.1:%1\"\n"_s.arg(modbusPort).toUtf8();
        toml += extra;
        for (size_t i = 0; extra.isEmpty() && i < signs.size(); ++i) {
            toml +=
                u"[[sign]]\nname = \"%1\"\nlink = \"%2\"\n"_s.arg(signs[i]->name, signs[i]->address)
                    .toUtf8();
            if (modbusPort)
                toml += "modbus_unit = " + QByteArray::number(i + 1) + '\n';
        }
        QFile config(dir.filePath(u"z.toml"_s));
        config.open(QIODevice::WriteOnly);
        config.write(toml);
        config.close();
        zarnetd.setStandardErrorFile(dir.filePath(u"zarnetd.log"_s));
        // ZARNETD in the environment runs another build, to compare.
        zarnetd.start(qEnvironmentVariable("ZARNETD", QStringLiteral(ZARNETD)),
                      {u"--config"_s, config.fileName()});
        if (!connectClient())
            return false;
        const int wanted = expectOnline < 0 ? int(signs.size()) : expectOnline;
        return waitUntil([&] { return online >= wanted; }, 20000);
    }

    // Peak resident memory of zarnetd, in KiB.
    long peakKiB() const {
        QFile status(u"/proc/%1/status"_s.arg(zarnetd.processId()));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        return -1;
    }

    // CPU time zarnetd has used so far, in ms: in all, or in the system only.
    double cpuMs(bool systemOnly = false) const {
        QFile stat(u"/proc/%1/stat"_s.arg(zarnetd.processId()));
        stat.open(QIODevice::ReadOnly);
        const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
        // After the name: state is field 3, utime 14 and stime 15 (1-based).
        const double ticks =
            (systemOnly ? 0 : fields.value(12).toDouble()) + fields.value(13).toDouble();
        return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
    }

    ~Plant() {
        zarnetd.terminate();
        zarnetd.waitForFinished(5000);
        broker.kill();
        broker.waitForFinished(5000);
    }
};

// CPU time this process has used so far, in ms.
double ownCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double percentile(QList<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[qsizetype(p * double(values.size() - 1))];
}

// One value at a time: publication to the board's log line of its frame.
void latency(int samples) {
    std::vector<std::unique_ptr<Sign>> signs;
    signs.push_back(makeSign(u"lat"_s, false));
    Plant plant;
    if (!plant.start(signs)) {
        out << "latency: the plant did not start" << Qt::endl;
        return;
    }
    QList<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < samples; ++i) {
        const int before = signs[0]->frames;
        timer.start();
        plant.client->publish(u"zarnet/lat/units/1/set"_s, QByteArray::number(i), false);
        if (!waitUntil([&] { return signs[0]->frames > before; }, 2000))
            continue;
        ms.append(double(timer.nsecsElapsed()) / 1e6);
        waitUntil([] { return false; }, 10); // keeps the samples apart
    }
    // A one-unit frame is 14 bytes: 1.22 ms on the wire at 115200 baud.
    out << "publish to frame on the line, one value (" << ms.size() << " samples): median "
        << QString::number(percentile(ms, 0.5), 'f', 2) << " ms, 99th percentile "
        << QString::number(percentile(ms, 0.99), 'f', 2) << " ms (wire time 1.22 ms)" << Qt::endl;
}

// One Modbus TCP write of both words of a unit at a time: from the request to the
// board's log line of its frame.
void modbusLatency(int samples) {
    std::vector<std::unique_ptr<Sign>> signs;
    signs.push_back(makeSign(u"plc"_s, false));
    Plant plant;
    const quint16 port = freePort();
    QModbusTcpClient plc;
    plc.setConnectionParameter(QModbusDevice::NetworkAddressParameter, u"127.0.0.1"_s);
    plc.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    if (!plant.start(signs, port) || !plc.connectDevice() ||
        !waitUntil([&] { return plc.state() == QModbusDevice::ConnectedState; }, 5000)) {
        out << "modbus: the plant did not start" << Qt::endl;
        return;
    }
    QList<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < samples; ++i) {
        const int before = signs[0]->frames;
        const auto words = QList<quint16>{quint16(i >> 16), quint16(i & 0xFFFF)};
        timer.start();
        std::unique_ptr<QModbusReply> reply(
            plc.sendWriteRequest(QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 2, words), 1));
        if (!reply || !waitUntil([&] { return signs[0]->frames > before; }, 2000))
            continue;
        ms.append(double(timer.nsecsElapsed()) / 1e6);
        waitUntil([&] { return reply->isFinished(); }, 2000);
        waitUntil([] { return false; }, 10); // keeps the samples apart
    }
    out << "Modbus write to frame on the line, one value (" << ms.size() << " samples): median "
        << QString::number(percentile(ms, 0.5), 'f', 2) << " ms, 99th percentile "
        << QString::number(percentile(ms, 0.99), 'f', 2) << " ms (wire time 1.22 ms)" << Qt::endl;
}

// Updates over 64 units of each sign, spread over the signs, as fast as the broker takes them.
void burst(int updates, int signCount, bool tcp) {
    std::vector<std::unique_ptr<Sign>> signs;
    for (int i = 0; i < signCount; ++i)
        signs.push_back(makeSign(u"s%1"_s.arg(i), tcp));
    Plant plant;
    if (!plant.start(signs)) {
        out << "burst: the plant did not start" << Qt::endl;
        return;
    }
    std::vector<QMap<int, uint32_t>> last{size_t(signCount)};
    QRandomGenerator random(16);
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = plant.cpuMs();
    const double systemBefore = plant.cpuMs(true);
    publishAll(*plant.client, updates, [&] {
        const int sign = int(random.bounded(signCount));
        const int unit = int(random.bounded(64));
        const uint32_t value = random.bounded(2147483648u); // what a unit holds
        last[size_t(sign)][unit] = value;
        plant.client->publish(u"zarnet/s%1/units/%2/set"_s.arg(sign).arg(unit),
                              QByteArray::number(value), false);
    });
    waitUntil([&] { return plant.client->unacknowledged() == 0; }, 60000);
    const double published = double(timer.nsecsElapsed()) / 1e6;
    const bool all = waitUntil(
        [&] {
            for (int s = 0; s < signCount; ++s)
                for (auto it = last[size_t(s)].begin(); it != last[size_t(s)].end(); ++it)
                    if (signs[size_t(s)]->board->units().value(it.key()) != it.value())
                        return false;
            return true;
        },
        120000);
    const double current = double(timer.nsecsElapsed()) / 1e6;
    const double cpu = plant.cpuMs() - cpuBefore;
    const double system = plant.cpuMs(true) - systemBefore;
    int frames = 0;
    for (const auto& sign : signs)
        frames += sign->frames;
    out << updates << " updates over 64 units on " << signCount << (tcp ? " TCP" : " pty")
        << " signs: published and acknowledged in " << QString::number(published, 'f', 0) << " ms ("
        << QString::number(updates / published * 1000, 'f', 0) << " messages/s), "
        << (all ? "every final value on the signs after " : "NOT every final value after ")
        << QString::number(current, 'f', 0) << " ms, " << frames << " unit frames, zarnetd peak "
        << plant.peakKiB() / 1024 << " MiB resident, zarnetd CPU " << QString::number(cpu, 'f', 0)
        << " ms (" << QString::number(cpu * 1000 / updates, 'f', 1) << " us a message, of which "
        << QString::number(system * 1000 / updates, 'f', 1) << " us in the system; "
        << QString::number(updates / cpu * 1000, 'f', 0) << " messages/s on one core)" << Qt::endl;
}

// Every sign gets one new value at once; time until all show it.
double allAtOnce(int signCount, int rounds) {
    std::vector<std::unique_ptr<Sign>> signs;
    for (int i = 0; i < signCount; ++i)
        signs.push_back(makeSign(u"t%1"_s.arg(i), true));
    Plant plant;
    if (!plant.start(signs))
        return -1;
    QList<double> ms;
    const double cpuBefore = plant.cpuMs();
    const double ownBefore = ownCpuMs();
    for (int round = 1; round <= rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < signCount; ++i)
            plant.client->publish(u"zarnet/t%1/units/0/set"_s.arg(i), QByteArray::number(round),
                                  false);
        if (waitUntil(
                [&] {
                    return std::all_of(signs.begin(), signs.end(), [&](const auto& sign) {
                        return sign->board->units().value(0) == uint32_t(round);
                    });
                },
                5000))
            ms.append(double(timer.nsecsElapsed()) / 1e6);
        waitUntil([] { return false; }, 20);
    }
    out << signCount << " TCP signs: zarnetd CPU a round "
        << QString::number((plant.cpuMs() - cpuBefore) / rounds, 'f', 2) << " ms, the bench's "
        << QString::number((ownCpuMs() - ownBefore) / rounds, 'f', 2) << " ms" << Qt::endl;
    return percentile(ms, 0.5);
}

// Updates over 16 units of one sign on a line paced at 115200 baud, on a broker
// with its default settings: through zarnetd, or through the bridge a plant
// engineer would write (one frame a message). Time from the first publication
// until every final value is on the sign, and frames sent.
struct Versus {
    double ms = -1;
    int frames = 0;
    bool all = false;
};

Versus versus(bool naive, int updates) {
    std::unique_ptr<Sign> sign = makeSign(u"py"_s, true);
    sign->line->setPaced(true);
    std::vector<std::unique_ptr<Sign>> signs;
    signs.push_back(std::move(sign));
    Sign& target = *signs.front();
    Plant plant;
    QProcess bridge;
    if (naive) {
        plant.startBroker(false);
        const QString address = target.address.mid(target.address.indexOf(u"//"_s) + 2);
        bridge.start(u"/usr/bin/python3"_s,
                     {QStringLiteral(NAIVE_BRIDGE), QString::number(plant.port), u"py"_s,
                      address.section(u':', 0, 0), address.section(u':', 1)});
        if (!plant.connectClient() ||
            !waitUntil([&] { return bridge.canReadLine() || bridge.waitForReadyRead(1); }, 10000))
            return {};
    } else if (!plant.start(signs, 0, {}, -1, false)) {
        return {};
    }
    const int framesBefore = target.frames;
    QMap<int, uint32_t> last;
    QRandomGenerator random(16);
    QElapsedTimer timer;
    timer.start();
    publishAll(*plant.client, updates, [&] {
        const int unit = int(random.bounded(16));
        const uint32_t value = random.bounded(2147483648u);
        last[unit] = value;
        plant.client->publish(u"zarnet/py/units/%1/set"_s.arg(unit), QByteArray::number(value),
                              false);
    });
    Versus result;
    result.all = waitUntil(
        [&] {
            for (auto it = last.begin(); it != last.end(); ++it)
                if (target.board->units().value(it.key()) != it.value())
                    return false;
            return true;
        },
        60000);
    result.ms = double(timer.nsecsElapsed()) / 1e6;
    result.frames = target.frames - framesBefore;
    if (naive) {
        bridge.kill();
        bridge.waitForFinished(3000);
    }
    return result;
}

void versusFigures(int updates) {
    const Versus z = versus(false, updates);
    const Versus n = versus(true, updates);
    auto line = [&](const char* who, const Versus& v) {
        out << "  " << who << ": "
            << (v.all ? "every final value on the sign after " : "NOT every final value after ")
            << QString::number(v.ms, 'f', 0) << " ms, " << v.frames << " unit frames" << Qt::endl;
    };
    out << updates
        << " updates over 16 units, one sign on a line paced at 115200 baud, default broker:"
        << Qt::endl;
    line("zarnetd", z);
    line("one frame a message (Python, paho-mqtt)", n);
    if (z.all && n.all)
        out << "  ratio " << QString::number(n.ms / z.ms, 'f', 1) << "x the time, "
            << QString::number(double(n.frames) / z.frames, 'f', 1) << "x the frames" << Qt::endl;
}

// Eight controllers (devices 1..8) on paced lines: one shared line, or one line
// each. Each sign gets four units 20 times a second for `seconds`; the last
// `silent` controllers never answer.
struct BusFigures {
    QList<double> ms; // publish to the last byte of the frame on the line
    int delivered = 0;
    bool all = false;
    double load = -1;       // as the status says
    double bytesShare = -1; // the wire time of the bytes seen on the line, over the same time
};

BusFigures bus(bool shared, int silent, int seconds) {
    constexpr int Signs = 8;
    std::vector<std::unique_ptr<zarnet::Board>> boards;
    std::vector<std::unique_ptr<zarnet::BoardLine>> lines;
    std::vector<std::unique_ptr<Sign>> signs; // only their names matter here
    QList<zarnet::Board*> all;
    for (int d = 1; d <= Signs; ++d) {
        boards.push_back(std::make_unique<zarnet::Board>(uint8_t(d)));
        all.append(boards.back().get());
        signs.push_back(std::make_unique<Sign>());
        signs.back()->name = u"b%1"_s.arg(d);
    }
    if (shared)
        lines.push_back(std::make_unique<zarnet::BoardLine>(all));
    else
        for (auto& board : boards)
            lines.push_back(std::make_unique<zarnet::BoardLine>(*board));
    QMap<QPair<int, uint32_t>, qint64> published; // (device, value) to when, in ns
    QElapsedTimer clock;
    clock.start();
    BusFigures figures;
    qint64 wireBytes = 0;
    QMap<int, uint32_t> latest;
    static const QRegularExpression frame(u" (>>|<<) ((?:[0-9A-F]{2} )+) "_s);
    static const QRegularExpression units(u"units 0\\.\\.3 = (\\d+),"_s);
    QByteArray toml;
    for (size_t i = 0; i < lines.size(); ++i) {
        lines[i]->setPaced(true);
        QString error;
        const QString address = lines[i]->listen(u"127.0.0.1"_s, 0, &error);
        QObject::connect(lines[i].get(), &zarnet::BoardLine::logged, [&](const QString& line) {
            const auto m = frame.match(line);
            if (!m.hasMatch())
                return;
            const QStringList bytes = m.captured(2).split(u' ', Qt::SkipEmptyParts);
            wireBytes += bytes.size();
            const auto u = units.match(line);
            if (m.captured(1) != u">>" || !u.hasMatch())
                return;
            const int device = bytes.value(3).toInt(nullptr, 16);
            const uint32_t value = u.captured(1).toUInt();
            latest[device] = value;
            if (const auto at = published.find({device, value}); at != published.end())
                figures.ms.append(double(clock.nsecsElapsed() - *at) / 1e6);
            ++figures.delivered;
        });
        if (shared)
            toml += u"[[line]]\nlink = \"%1\"\n"_s.arg(address).toUtf8();
        for (int d = 1; d <= Signs; ++d)
            if (shared || int(i) == d - 1)
                toml += u"[[sign]]\nname = \"b%1\"\nlink = \"%2\"\ndevice = %1\n"_s.arg(d)
                            .arg(address)
                            .toUtf8();
    }
    for (int d = Signs - silent + 1; d <= Signs; ++d)
        lines[shared ? 0 : size_t(d - 1)]->setMuted(uint8_t(d), true);
    Plant plant;
    const qint64 started = clock.nsecsElapsed();
    double statusLoad = -1;
    qint64 statusBytes = 0, statusAt = 0;
    if (!plant.start(signs, 0, toml, Signs - silent))
        return figures;
    QObject::connect(plant.client.get(), &MqttClient::message,
                     [&](const QString& topic, const QByteArray& payload) {
                         if (topic != u"zarnet/b1/status")
                             return;
                         statusLoad = QJsonDocument::fromJson(payload)
                                          .object()
                                          .value(u"line"_s)
                                          .toObject()
                                          .value(u"load"_s)
                                          .toDouble(-1);
                         statusBytes = wireBytes;
                         statusAt = clock.nsecsElapsed();
                     });
    uint32_t value = 0;
    QMap<int, uint32_t> last;
    for (int tick = 0; tick < seconds * 20; ++tick) {
        for (int d = 1; d <= Signs; ++d) {
            ++value;
            last[d] = value;
            published[{d, value}] = clock.nsecsElapsed();
            plant.client->publish(
                u"zarnet/b%1/units/set"_s.arg(d),
                u"{\"0\": %1, \"1\": %1, \"2\": %1, \"3\": %1}"_s.arg(value).toUtf8(), false);
        }
        idle(50);
    }
    figures.all = waitUntil(
        [&] {
            for (int d = 1; d <= Signs - silent; ++d)
                if (latest.value(d) != last[d])
                    return false;
            return true;
        },
        10000);
    // A status with the load comes at least every 10 s while it changes.
    waitUntil([&] { return statusAt > 0; }, 12000);
    figures.load = statusLoad;
    // The line's minute began when zarnetd started; the bytes are counted from then.
    const double window = double(statusAt - started) / 1e9;
    figures.bytesShare =
        double(statusBytes) * 10 / 115200 / std::min(window, 60.0) / (shared ? 1 : Signs);
    return figures;
}

void busFigures(int seconds) {
    for (const int silent : {0, 2})
        for (const bool shared : {true, false}) {
            const BusFigures f = bus(shared, silent, seconds);
            out << "8 paced controllers" << (shared ? " on one line" : ", one line each") << ", "
                << silent << " silent, 4 units each 20 times a second for " << seconds
                << " s: " << (f.all ? "every final value on its sign" : "NOT every final value")
                << ", " << f.delivered << " unit frames ("
                << QString::number(f.delivered / double(seconds), 'f', 0)
                << "/s), publish to last byte median "
                << QString::number(percentile(f.ms, 0.5), 'f', 1) << " ms, 99th percentile "
                << QString::number(percentile(f.ms, 0.99), 'f', 1) << " ms, max "
                << QString::number(percentile(f.ms, 1.0), 'f', 1) << " ms";
            if (shared)
                out << ", line load " << QString::number(f.load, 'f', 3) << " against "
                    << QString::number(f.bytesShare, 'f', 3) << " from the bytes seen";
            out << Qt::endl;
        }
}

// One GET over a fresh connection, as a browser without keep-alive makes it: the
// time until the server has sent the whole answer and closed.
double getMs(quint16 port, const QByteArray& path) {
    QTcpSocket socket;
    QElapsedTimer timer;
    timer.start();
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    if (!waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5000))
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

// Resident memory of a process, in KiB.
long residentKiB(qint64 pid) {
    QFile status(u"/proc/%1/status"_s.arg(pid));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The web server with 32 signs: the page and the JSON served, a publication to
// its event on a stream, and what 50 open streams cost.
void webFigures(int samples) {
    std::vector<std::unique_ptr<Sign>> signs;
    const quint16 http = freePort();
    QByteArray toml = u"[http]\nlisten = \"127.0.0.1:%1\"\n"_s.arg(http).toUtf8();
    for (int i = 0; i < 32; ++i) {
        signs.push_back(makeSign(u"w%1"_s.arg(i), true));
        toml += u"[[sign]]\nname = \"w%1\"\nlink = \"%2\"\n"_s.arg(i)
                    .arg(signs.back()->address)
                    .toUtf8();
    }
    Plant plant;
    if (!plant.start(signs, 0, toml)) {
        out << "web: the plant did not start" << Qt::endl;
        return;
    }
    for (int i = 0; i < 32; ++i) // cards with units and a picture
        plant.client->publish(u"zarnet/w%1/units/set"_s.arg(i),
                              R"({"0": 1520, "1": 1498, "2": 97})", false);
    plant.client->publish(u"zarnet/w0/image/set"_s, R"({"text": "Line 1"})", false);
    idle(1000);
    for (const QByteArray& path : {QByteArray("/"), QByteArray("/api/signs")}) {
        QList<double> ms;
        for (int i = 0; i < samples; ++i)
            ms.append(getMs(http, path));
        out << "GET " << path << ", 32 signs (" << samples << " requests): median "
            << QString::number(percentile(ms, 0.5), 'f', 2) << " ms, 99th percentile "
            << QString::number(percentile(ms, 0.99), 'f', 2) << " ms" << Qt::endl;
    }

    QTcpSocket stream;
    stream.connectToHost(QHostAddress::LocalHost, http);
    stream.write("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    waitUntil([&] { return stream.bytesAvailable() > 0; }, 5000);
    idle(200);
    stream.readAll();
    QList<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < samples; ++i) {
        const QByteArray value = QByteArray::number(1000000 + i);
        QByteArray seen;
        timer.start();
        plant.client->publish(u"zarnet/w5/units/7/set"_s, value, false);
        if (waitUntil([&] { return (seen += stream.readAll()).contains(value); }, 2000))
            ms.append(double(timer.nsecsElapsed()) / 1e6);
        idle(60); // apart, so that no change waits for the one before
    }
    out << "publication to its event on a stream (" << ms.size() << " samples): median "
        << QString::number(percentile(ms, 0.5), 'f', 2) << " ms, 99th percentile "
        << QString::number(percentile(ms, 0.99), 'f', 2) << " ms" << Qt::endl;

    const long before = residentKiB(plant.zarnetd.processId());
    std::vector<std::unique_ptr<QTcpSocket>> streams;
    for (int i = 0; i < 50; ++i) {
        streams.push_back(std::make_unique<QTcpSocket>());
        streams.back()->connectToHost(QHostAddress::LocalHost, http);
        streams.back()->write("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    for (int round = 0; round < 20; ++round) { // every card changes, 20 times over
        for (int i = 0; i < 32; ++i)
            plant.client->publish(u"zarnet/w%1/units/3/set"_s.arg(i), QByteArray::number(round),
                                  false);
        idle(100);
    }
    const long after = residentKiB(plant.zarnetd.processId());
    out << "50 open event streams, 640 changes: zarnetd resident "
        << QString::number(double(before) / 1024, 'f', 1) << " MiB before, "
        << QString::number(double(after) / 1024, 'f', 1) << " MiB after (+"
        << QString::number(double(after - before) / 1024, 'f', 1) << " MiB)" << Qt::endl;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only.isEmpty() || only == u"latency")
        latency(300);
    if (only.isEmpty() || only == u"modbus")
        modbusLatency(300);
    if (only.isEmpty() || only == u"burst")
        burst(100000, 4, false);
    if (only.isEmpty() || only == u"bus")
        busFigures(30);
    if (only.isEmpty() || only == u"web")
        webFigures(300);
    if (only.isEmpty() || only == u"versus")
        versusFigures(5000);
    if (only == u"fanout-profile") // a long run of the 32 signs, to profile zarnetd
        allAtOnce(32, 2000);
    if (only.isEmpty() || only == u"fanout") {
        const double one = allAtOnce(1, 50);
        const double many = allAtOnce(32, 50);
        out << "one value to each sign at once, median of 50: 1 TCP sign "
            << QString::number(one, 'f', 2) << " ms, 32 TCP signs " << QString::number(many, 'f', 2)
            << " ms (" << QString::number(many / one, 'f', 2) << "x)" << Qt::endl;
    }
    return 0;
}
