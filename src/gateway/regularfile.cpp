#include "regularfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

// Opened without waiting and looked at as opened, so that a FIFO cannot hold the
// read and a file swapped in between cannot pass the check.
std::variant<QByteArray, FileProblem> readRegularFile(const QString& path, qint64 limit) {
    using Fault = FileProblem::Fault;
    if (path.isEmpty())
        return FileProblem{Fault::NoName, path, limit, 0};
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return FileProblem{errno == ENOENT ? Fault::Missing : Fault::System, path, limit, errno};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const int error = errno != 0 ? errno : EIO;
        ::close(fd);
        return FileProblem{Fault::System, path, limit, error};
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return FileProblem{Fault::NotRegular, path, limit, 0};
    if (status.st_size > limit)
        return FileProblem{Fault::TooLarge, path, limit, 0};
    QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit)
        return FileProblem{Fault::TooLarge, path, limit, 0};
    return bytes;
}

QString describe(const FileProblem& problem) {
    const QString cannot = u"cannot read %1: "_s.arg(problem.path);
    switch (problem.fault) {
    case FileProblem::Fault::NoName:
        return u"cannot read: no file named"_s;
    case FileProblem::Fault::Missing:
        return cannot + u"it does not exist"_s;
    case FileProblem::Fault::NotRegular:
        return cannot + u"it is not a regular file"_s;
    case FileProblem::Fault::TooLarge:
        return cannot + u"it has more than %1 bytes"_s.arg(problem.limit);
    case FileProblem::Fault::System:
        return cannot + QString::fromLocal8Bit(std::strerror(problem.error));
    }
    return {};
}

} // namespace zarnet::gateway
