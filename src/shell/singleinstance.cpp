#include "singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

constexpr auto LockName = "zarnet.lock";

// A folder under the temporary folder that only this user may use. One that
// exists already counts only when it is this user's and closed to others.
QString privateTempFolder() {
#ifdef Q_OS_UNIX
    const QString user = QString::number(::getuid());
#else
    const QString user = QDir::home().dirName();
#endif
    // A temporary folder that does not exist reads as empty: never the working folder.
    const QString temp = QDir::tempPath();
    if (temp.isEmpty() || QDir::isRelativePath(temp))
        return {};
    QString folder = QDir(temp).absoluteFilePath(u"zarnet-"_s + user);
    constexpr auto Private = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                             QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    // Another copy starting at the same moment may create it first: that is fine.
    if (!QDir().mkdir(folder, Private) && !QFileInfo(folder).isDir())
        return {};
    const QFileInfo info(folder);
#ifdef Q_OS_UNIX
    if (!info.isDir() || info.ownerId() != ::getuid() || info.permissions() != Private)
        return {};
#else
    if (!info.isDir())
        return {};
#endif
    return folder;
}

} // namespace

SingleInstance::SingleInstance(const QString& lockPath) : path_(lockPath), lock_(lockPath) {
    // Age never makes a lock stale, only a dead owner does.
    lock_.setStaleLockTime(0);
}

SingleInstance::Result SingleInstance::acquire() {
    if (path_.isEmpty()) {
        error_ = u"no private folder for the lock file"_s;
        return Result::Unavailable;
    }
    if (lock_.tryLock(0))
        return Result::Acquired;
    switch (lock_.error()) {
    case QLockFile::LockFailedError:
        return Result::HeldByAnother;
    case QLockFile::PermissionError:
        error_ = u"%1 cannot be written"_s.arg(path_);
        return Result::Unavailable;
    default:
        error_ = u"%1 cannot be created"_s.arg(path_);
        return Result::Unavailable;
    }
}

QString SingleInstance::defaultLockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = privateTempFolder();
    return folder.isEmpty() ? QString()
                            : QDir(folder).absoluteFilePath(QString::fromLatin1(LockName));
}

} // namespace zarnet
