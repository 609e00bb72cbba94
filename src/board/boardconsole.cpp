#include "boardconsole.h"

#include "boardline.h"

#include <core/fieldnumber.h>

#include <QSocketNotifier>
#include <QStringList>
#include <QTextStream>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

// A line longer than this is no command; it is dropped rather than kept growing.
constexpr qsizetype MaxLine = 256;

} // namespace

std::optional<MuteCommand> readConsoleCommand(const QString& line) {
    const QStringList words = line.simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.size() != 2 || (words[0] != u"mute" && words[0] != u"unmute"))
        return std::nullopt;
    const auto device = fields::readByte(words[1]);
    if (!device)
        return std::nullopt;
    return MuteCommand{*device, words[0] == u"mute"};
}

BoardConsole::BoardConsole(BoardLine& line, QObject* parent) : QObject(parent), line_(line) {
#ifdef Q_OS_UNIX
    notifier_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &BoardConsole::readAvailable);
#endif
}

bool BoardConsole::inputUsable() {
#ifdef Q_OS_UNIX
    struct stat status {};
    return ::fstat(STDIN_FILENO, &status) == 0 && !::isatty(STDIN_FILENO) &&
           (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode) || S_ISREG(status.st_mode));
#else
    return false;
#endif
}

void BoardConsole::readAvailable() {
#ifdef Q_OS_UNIX
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) { // the input ended: a last line without its newline still counts
        notifier_->setEnabled(false);
        take(std::exchange(partial_, {}));
        return;
    }
    partial_.append(buffer, qsizetype(n));
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        const QByteArray line = partial_.left(end);
        partial_.remove(0, end + 1);
        take(line);
    }
    if (partial_.size() > MaxLine)
        partial_.clear();
#endif
}

void BoardConsole::take(const QByteArray& line) {
    const QString text = QString::fromUtf8(line).trimmed();
    if (text.isEmpty())
        return;
    if (const auto mute = readConsoleCommand(text))
        line_.setMuted(mute->device, mute->muted);
    else
        QTextStream(stderr) << "zarnet-board: give \"mute N\" or \"unmute N\", N a device "
                               "number 0..255"
                            << Qt::endl;
}

} // namespace zarnet
