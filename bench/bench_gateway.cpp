// Times zarnetd between a mosquitto broker and boards in this process: the delay
// from a publication (or a Modbus TCP write) to the last byte of its frame on the
// board's line, a burst of updates over four signs, and 32 signs on TCP updated at
// once against one.
#include <board/boardline.h>
#include <core/board.h>
#include <gateway/mqttclient.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QProcess>
#include <QRandomGenerator>
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

// Runs the event loop until `done` holds or `ms` pass; false on time-out.
bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
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

    // With a Modbus port, sign i answers as Modbus unit i + 1.
    bool start(const std::vector<std::unique_ptr<Sign>>& signs, quint16 modbusPort = 0) {
        QFile conf(dir.filePath(u"m.conf"_s));
        conf.open(QIODevice::WriteOnly);
        conf.write(u"listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n"
                   "max_queued_messages 200000\n"_s.arg(port)
                       .toUtf8());
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
        QByteArray toml =
            u"[broker]\nurl = \"mqtt://127.0.0.1:%1\"\nclient_id = \"bench\"\n"_s.arg(port)
                .toUtf8();
        if (modbusPort)
            toml += u"[modbus]\nlisten = \"127.0.0.1:%1\"\n"_s.arg(modbusPort).toUtf8();
        for (size_t i = 0; i < signs.size(); ++i) {
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
        zarnetd.start(QStringLiteral(ZARNETD), {u"--config"_s, config.fileName()});
        MqttClient::Settings settings;
        settings.port = port;
        settings.clientId = u"bench-publisher"_s;
        client = std::make_unique<MqttClient>(settings);
        int online = 0;
        QObject::connect(client.get(), &MqttClient::connected,
                         [&] { client->subscribe(u"zarnet/+/status"_s); });
        QObject::connect(client.get(), &MqttClient::message,
                         [&](const QString&, const QByteArray& payload) {
                             if (payload.contains("\"online\""))
                                 ++online;
                         });
        client->start();
        return waitUntil([&] { return online >= int(signs.size()); }, 20000);
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

    // CPU time zarnetd has used so far, in ms.
    double cpuMs() const {
        QFile stat(u"/proc/%1/stat"_s.arg(zarnetd.processId()));
        stat.open(QIODevice::ReadOnly);
        const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
        // After the name: state is field 3, utime 14 and stime 15 (1-based).
        const double ticks = fields.value(12).toDouble() + fields.value(13).toDouble();
        return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
    }

    ~Plant() {
        zarnetd.terminate();
        zarnetd.waitForFinished(5000);
        broker.kill();
        broker.waitForFinished(5000);
    }
};

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
    int sent = 0;
    while (sent < updates) {
        while (sent < updates && plant.client->unacknowledged() < 2000) {
            const int sign = int(random.bounded(signCount));
            const int unit = int(random.bounded(64));
            const uint32_t value = random.bounded(2147483648u); // what a unit holds
            last[size_t(sign)][unit] = value;
            plant.client->publish(u"zarnet/s%1/units/%2/set"_s.arg(sign).arg(unit),
                                  QByteArray::number(value), false);
            ++sent;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
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
    int frames = 0;
    for (const auto& sign : signs)
        frames += sign->frames;
    out << updates << " updates over 64 units on " << signCount << (tcp ? " TCP" : " pty")
        << " signs: published and acknowledged in " << QString::number(published, 'f', 0) << " ms ("
        << QString::number(updates / published * 1000, 'f', 0) << " messages/s), "
        << (all ? "every final value on the signs after " : "NOT every final value after ")
        << QString::number(current, 'f', 0) << " ms, " << frames << " unit frames, zarnetd peak "
        << plant.peakKiB() / 1024 << " MiB resident, zarnetd CPU " << QString::number(cpu, 'f', 0)
        << " ms (" << QString::number(cpu * 1000 / updates, 'f', 1) << " us a message, "
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
    return percentile(ms, 0.5);
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
    if (only.isEmpty() || only == u"fanout") {
        const double one = allAtOnce(1, 50);
        const double many = allAtOnce(32, 50);
        out << "one value to each sign at once, median of 50: 1 TCP sign "
            << QString::number(one, 'f', 2) << " ms, 32 TCP signs " << QString::number(many, 'f', 2)
            << " ms (" << QString::number(many / one, 'f', 2) << "x)" << Qt::endl;
    }
    return 0;
}
