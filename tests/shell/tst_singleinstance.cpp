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
    void sameLockFromEveryFolder();
    void noLockStillStarts();
    void lockInAFolderThatCannotExist();
};

namespace {

// The program keeps its lock in the user's runtime folder; each test gets its own.
QProcessEnvironment programEnvironment(const QString& runtime, const QString& tmp = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    env.insert(u"TMPDIR"_s, tmp.isEmpty() ? runtime : tmp);
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    return env;
}

QStringList lockFiles(const QString& folder) {
    return QDir(folder).entryList({u"zarnet*.lock"_s}, QDir::Files);
}

} // namespace

void TestSingleInstance::secondHolderRefused() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"z.lock"_s);
    auto first = std::make_unique<SingleInstance>(path);
    QCOMPARE(first->acquire(), SingleInstance::Result::Acquired);
    SingleInstance second(path);
    QCOMPARE(second.acquire(), SingleInstance::Result::HeldByAnother);
    first.reset();
    QCOMPARE(second.acquire(), SingleInstance::Result::Acquired);
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
    QCOMPARE(instance.acquire(), SingleInstance::Result::Acquired);
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

void TestSingleInstance::sameLockFromEveryFolder() {
    // With a temporary folder that does not exist, the lock once fell back to the
    // working folder, and copies started from two folders both ran.
    QTemporaryDir runtime, here, there;
    const QProcessEnvironment env = programEnvironment(runtime.path(), here.filePath(u"missing"_s));
    QProcess first;
    first.setProcessEnvironment(env);
    first.setWorkingDirectory(here.path());
    first.start(QStringLiteral(ZARNET_EXE));
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!lockFiles(runtime.path()).isEmpty(), 10000);

    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(there.path());
    second.start(QStringLiteral(ZARNET_EXE));
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(lockFiles(here.path()).isEmpty());
    first.kill();
    first.waitForFinished();
}

void TestSingleInstance::noLockStillStarts() {
    // Neither the runtime folder nor the temporary folder can hold a lock (both
    // lie under a file): the program says so and opens its window all the same.
    QProcess program;
    program.setProcessEnvironment(programEnvironment(u"/dev/null/runtime"_s, u"/dev/null"_s));
    program.start(QStringLiteral(ZARNET_EXE));
    QVERIFY(program.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT(
        (said += program.readAllStandardError()).contains("single-instance lock"), 10000);
    QTest::qWait(300);
    QCOMPARE(program.state(), QProcess::Running);
    program.kill();
    program.waitForFinished();
}

void TestSingleInstance::lockInAFolderThatCannotExist() {
    SingleInstance instance(u"/dev/null/zarnet.lock"_s);
    QCOMPARE(instance.acquire(), SingleInstance::Result::Unavailable);
    QVERIFY(!instance.errorString().isEmpty());
    QCOMPARE(SingleInstance(QString()).acquire(), SingleInstance::Result::Unavailable);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
