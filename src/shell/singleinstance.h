#pragma once

#include <QLockFile>
#include <QString>

namespace zarnet {

// Holds a lock file for as long as the program runs. A lock left behind by a
// program that died is taken over; one held by a running copy is not.
class SingleInstance {
public:
    enum class Result {
        Acquired,
        HeldByAnother, // another copy of the program runs for this user
        Unavailable,   // no lock can be taken here at all (see errorString())
    };

    explicit SingleInstance(const QString& lockPath = defaultLockPath());
    Result acquire();
    QString errorString() const { return error_; }

    // In the user's runtime folder, or else in a folder of the user's own (mode
    // 0700) under the temporary folder: no other user can hold it, and every
    // start of this user's program finds the same lock wherever it was started.
    static QString defaultLockPath();

private:
    QString path_;
    QLockFile lock_;
    QString error_;
};

} // namespace zarnet
