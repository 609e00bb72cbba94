#include "singleinstance.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace zarnet {

SingleInstance::SingleInstance(const QString& lockPath) : lock_(lockPath) {
    // Age never makes a lock stale, only a dead owner does.
    lock_.setStaleLockTime(0);
}

bool SingleInstance::acquire() {
    return lock_.tryLock(0);
}

QString SingleInstance::defaultLockPath() {
    return QDir::temp().filePath(u"zarnet-%1.lock"_s.arg(QDir::home().dirName()));
}

} // namespace zarnet
