#pragma once

#include <QLockFile>
#include <QString>

namespace zarnet {

// Holds a lock file for as long as the program runs. A lock left behind by a
// program that died is taken over; one held by a running copy is not.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath = defaultLockPath());
    bool acquire();

    static QString defaultLockPath();

private:
    QLockFile lock_;
};

} // namespace zarnet
