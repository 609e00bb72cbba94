#include "plantparts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace zarnet::testplant {

namespace {

// A test that crashes must not leave its broker, boards or service running: a
// service left behind keeps reopening its old pseudo-terminal paths and takes
// them from the next test that gets the same numbers.
void endWithThisProcess(QProcess& process) {
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

} // namespace

quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

QJsonObject json(const QByteArray& payload) {
    return QJsonDocument::fromJson(payload).object();
}

HttpReply httpExchange(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(u"127.0.0.1"_s, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request);
    QByteArray all;
    QElapsedTimer waited;
    waited.start();
    while (socket.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 5000)
        if (socket.waitForReadyRead(200))
            all += socket.readAll();
    all += socket.readAll();
    const qsizetype end = all.indexOf("\r\n\r\n");
    return {all.mid(9, 3).toInt(), end < 0 ? QByteArray() : all.sliced(end + 4)};
}

bool Broker::start(quint16 port, const QByteArray& listenerLines) {
    // A port found free may be taken before the broker binds it: one of our own
    // choosing is chosen again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (launch(port ? port : freePort(), listenerLines))
            return true;
        if (port || !error.contains(u"in use"_s))
            return false;
    }
    return false;
}

bool Broker::launch(quint16 port, const QByteArray& listenerLines) {
    const QString program =
        QStandardPaths::findExecutable(u"mosquitto"_s, {u"/usr/sbin"_s, u"/usr/bin"_s});
    if (program.isEmpty()) {
        error = u"mosquitto is not installed (scripts/setup.sh test installs it)"_s;
        return false;
    }
    port_ = port;
    QFile conf(dir_.filePath(u"mosquitto.conf"_s));
    if (!conf.open(QIODevice::WriteOnly)) {
        error = u"cannot write the broker's configuration"_s;
        return false;
    }
    // Otherwise the broker's defaults, queue limits included: the service must cope
    // with what a plant's broker does.
    conf.write(u"listener %1 127.0.0.1\n"_s.arg(port_).toUtf8() + listenerLines +
               "\nallow_anonymous true\npersistence false\n");
    // Started by root, mosquitto would change to its own user, which also drops the
    // signal that ends it with the test.
    if (geteuid() == 0)
        conf.write("user root\n");
    conf.close();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    endWithThisProcess(process_);
    process_.start(program, {u"-c"_s, conf.fileName()});
    if (!process_.waitForStarted(5000)) {
        error = u"mosquitto did not start"_s;
        return false;
    }
    // Up to 5 s for it to listen, unless it ends first (a port in use, say).
    for (int i = 0; i < 100 && process_.state() == QProcess::Running; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        if (probe.waitForConnected(50))
            return true;
        process_.waitForFinished(50);
    }
    process_.kill();
    process_.waitForFinished(5000);
    error = u"mosquitto does not listen on port %1: %2"_s.arg(port_).arg(
        QString::fromUtf8(process_.readAll()));
    return false;
}

void Broker::kill() {
    process_.kill();
    process_.waitForFinished(5000);
}

Board::~Board() {
    kill();
}

bool Board::start(const QStringList& arguments) {
    address_.clear();
    units_.clear();
    unitsOf_.clear();
    frames_.clear();
    framesOf_.clear();
    said_.clear();
    partial_.clear();
    connect(&process_, &QProcess::readyReadStandardOutput, this, &Board::readLog,
            Qt::UniqueConnection);
    endWithThisProcess(process_);
    process_.start(QStringLiteral(ZARNET_BOARD), arguments + QStringList{u"--headless"_s});
    for (int i = 0; i < 100 && address_.isEmpty(); ++i) {
        process_.waitForReadyRead(50);
        readLog();
    }
    return !address_.isEmpty();
}

void Board::kill() {
    if (process_.state() == QProcess::NotRunning)
        return;
    resume();
    process_.kill();
    process_.waitForFinished(5000);
}

void Board::pause() {
    ::kill(pid_t(process_.processId()), SIGSTOP);
}

void Board::resume() {
    ::kill(pid_t(process_.processId()), SIGCONT);
}

void Board::mute(int device) {
    process_.write(QByteArray("mute ") + QByteArray::number(device) + '\n');
}

void Board::unmute(int device) {
    process_.write(QByteArray("unmute ") + QByteArray::number(device) + '\n');
}

void Board::readLog() {
    static const QRegularExpression listening(u"listening on (\\S+)"_s);
    static const QRegularExpression addressed(u">> 02 [0-9A-F]{2} [0-9A-F]{2} ([0-9A-F]{2}) EE "_s);
    static const QRegularExpression unitWrite(u"units (\\d+)\\.\\.(\\d+) = ([0-9, ]+) \\("_s);
    static const QRegularExpression received(u">> .*?  (0x[0-9a-f]{2} .*)$"_s);
    partial_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(partial_.left(end));
        partial_.remove(0, end + 1);
        said_.append(line);
        if (const auto m = listening.match(line); m.hasMatch())
            address_ = m.captured(1);
        if (const auto m = received.match(line);
            m.hasMatch() && !m.captured(1).contains(u"connection test"_s)) {
            frames_.append(m.captured(1));
            framesOf_[addressed.match(line).captured(1).toInt(nullptr, 16)].append(m.captured(1));
        }
        if (const auto m = unitWrite.match(line); m.hasMatch()) {
            const QStringList values = m.captured(3).split(u", "_s);
            const int device = addressed.match(line).captured(1).toInt(nullptr, 16);
            for (qsizetype i = 0; i < values.size(); ++i) {
                units_[m.captured(1).toInt() + int(i)] = values[i].toUInt();
                unitsOf_[device][m.captured(1).toInt() + int(i)] = values[i].toUInt();
            }
        }
    }
}

Gateway::~Gateway() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

void Gateway::setTestClock(const QString& clock) {
    setEnvironment(u"ZARNETD_TEST_CLOCK"_s, clock);
}

void Gateway::setEnvironment(const QString& name, const QString& value) {
    QProcessEnvironment environment = process_.processEnvironment();
    if (environment.isEmpty())
        environment = QProcessEnvironment::systemEnvironment();
    environment.insert(name, value);
    process_.setProcessEnvironment(environment);
}

bool Gateway::rewrite(const QByteArray& toml) {
    QFile file(dir_.filePath(u"zarnetd.toml"_s));
    return file.open(QIODevice::WriteOnly) && file.write(toml) == toml.size();
}

void Gateway::signal(int number) {
    ::kill(pid_t(process_.processId()), number);
}

bool Gateway::start(const QByteArray& toml) {
    if (!rewrite(toml))
        return false;
    QFile file(dir_.filePath(u"zarnetd.toml"_s));
    // Into a file, which never fills up as an unread pipe would.
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(dir_.filePath(u"zarnetd.log"_s));
    endWithThisProcess(process_);
    process_.start(QStringLiteral(ZARNETD), {u"--config"_s, file.fileName()});
    return process_.waitForStarted(5000);
}

int Gateway::terminate() {
    process_.terminate();
    if (!process_.waitForFinished(10000))
        return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

int Gateway::waitForExit(int ms) {
    if (!process_.waitForFinished(ms))
        return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QString Gateway::log() {
    QFile file(dir_.filePath(u"zarnetd.log"_s));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

qint64 Gateway::peakKiB() const {
    QFile status(u"/proc/%1/status"_s.arg(process_.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

bool Certificates::make(const QString& folder) {
    caFile = folder + u"/ca.crt"_s;
    certFile = folder + u"/server.crt"_s;
    keyFile = folder + u"/server.key"_s;
    const QString caKey = folder + u"/ca.key"_s;
    const QString request = folder + u"/server.csr"_s;
    const QString extensions = folder + u"/ext.cnf"_s;
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write("subjectAltName=IP:127.0.0.1\n");
    ext.close();
    folder_ = folder;
    const QList<QStringList> steps = {
        {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s, u"2"_s,
         u"-subj"_s, u"/CN=zarnet test CA"_s, u"-keyout"_s, caKey, u"-out"_s, caFile},
        {u"req"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-subj"_s, u"/CN=127.0.0.1"_s,
         u"-keyout"_s, keyFile, u"-out"_s, request},
        {u"x509"_s, u"-req"_s, u"-in"_s, request, u"-CA"_s, caFile, u"-CAkey"_s, caKey,
         u"-CAcreateserial"_s, u"-days"_s, u"2"_s, u"-extfile"_s, extensions, u"-out"_s, certFile}};
    if (!run(steps))
        return false;
    // mosquitto drops its privileges when started as root and must still read the key.
    QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ExeGroup | QFile::ExeOther);
    QFile::setPermissions(keyFile, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    return true;
}

bool Certificates::run(const QList<QStringList>& steps) {
    for (const QStringList& step : steps) {
        QProcess openssl;
        openssl.start(u"openssl"_s, step);
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
            error = u"openssl %1 failed: %2"_s.arg(
                step.first(), QString::fromUtf8(openssl.readAllStandardError()));
            return false;
        }
    }
    return true;
}

bool Certificates::makeClient(const QString& name, const QString& password, int days) {
    const QString base = folder_ + u'/' + name;
    QStringList key = {u"req"_s,
                       u"-newkey"_s,
                       u"ec"_s,
                       u"-pkeyopt"_s,
                       u"ec_paramgen_curve:prime256v1"_s,
                       u"-subj"_s,
                       u"/CN="_s + name,
                       u"-keyout"_s,
                       base + u".key"_s,
                       u"-out"_s,
                       base + u".csr"_s};
    key += password.isEmpty() ? QStringList{u"-nodes"_s}
                              : QStringList{u"-passout"_s, u"pass:"_s + password};
    return run({key,
                {u"x509"_s, u"-req"_s, u"-in"_s, base + u".csr"_s, u"-CA"_s, caFile, u"-CAkey"_s,
                 folder_ + u"/ca.key"_s, u"-CAcreateserial"_s, u"-days"_s, QString::number(days),
                 u"-out"_s, base + u".crt"_s}});
}

Listener::Listener(quint16 port, const QString& filter, const QString& caFile)
    : client_([port, caFile] {
          gateway::MqttClient::Settings s;
          s.port = port;
          s.tls = !caFile.isEmpty();
          s.caFile = caFile;
          // Each listener its own, also several in one test.
          static int listeners = 0;
          s.clientId =
              u"test-listener-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(++listeners);
          return s;
      }()),
      filter_(filter) {
    connect(&client_, &gateway::MqttClient::connected, this,
            [this] { client_.subscribe(filter_); });
    connect(&client_, &gateway::MqttClient::message, this,
            [this](const QString& topic, const QByteArray& payload) {
                messages_.append({topic, payload});
            });
    client_.start();
}

bool Listener::publish(const QString& topic, const QByteArray& payload, bool retain) {
    return client_.publish(topic, payload, retain);
}

QList<QByteArray> Listener::on(const QString& topic) const {
    QList<QByteArray> payloads;
    for (const auto& [t, payload] : messages_)
        if (t == topic)
            payloads.append(payload);
    return payloads;
}

QByteArray Listener::last(const QString& topic) const {
    const auto all = on(topic);
    return all.isEmpty() ? QByteArray() : all.last();
}

} // namespace zarnet::testplant
