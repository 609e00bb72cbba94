#include <shell/singleinstance.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using zarnet::SingleInstance;

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void secondHolderRefused();
    void lockOfADeadProgramIsTakenOver();
    void secondProgramEndsSilently();
};

namespace {

// The program keeps its lock in the temporary folder; each test gets its own.
QProcessEnvironment programEnvironment(const QString& tmp) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TMPDIR"_s, tmp);
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    return env;
}

QStringList lockFiles(const QString& tmp) {
    return QDir(tmp).entryList({u"zarnet-*.lock"_s}, QDir::Files);
}

} // namespace

void TestSingleInstance::secondHolderRefused() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"z.lock"_s);
    auto first = std::make_unique<SingleInstance>(path);
    QVERIFY(first->acquire());
    SingleInstance second(path);
    QVERIFY(!second.acquire());
    first.reset();
    QVERIFY(second.acquire());
}

void TestSingleInstance::lockOfADeadProgramIsTakenOver() {
    QTemporaryDir tmp;
    QProcess crashed;
    crashed.setProcessEnvironment(programEnvironment(tmp.path()));
    crashed.start(QStringLiteral(ZARNET_EXE));
    QVERIFY(crashed.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!lockFiles(tmp.path()).isEmpty(), 10000);
    crashed.kill(); // dies without removing its lock file
    QVERIFY(crashed.waitForFinished());
    QCOMPARE(lockFiles(tmp.path()).size(), 1);
    SingleInstance instance(QDir(tmp.path()).filePath(lockFiles(tmp.path())[0]));
    QVERIFY(instance.acquire());
}

void TestSingleInstance::secondProgramEndsSilently() {
    QTemporaryDir tmp;
    const QProcessEnvironment env = programEnvironment(tmp.path());
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(ZARNET_EXE));
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!lockFiles(tmp.path()).isEmpty(), 10000);

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(ZARNET_EXE));
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAllStandardOutput(), QByteArray());
    QCOMPARE(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
