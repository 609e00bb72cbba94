#include "pseudoterminal.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace zarnet {

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0)
        return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    slavePath_ = QString::fromLocal8Bit(ptsname(master_));
    termios raw{};
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
    heldSlave_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal() {
    hangUp();
}

bool PseudoTerminal::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

qsizetype PseudoTerminal::writeSome(const QByteArray& bytes) {
    const ssize_t n = ::write(master_, bytes.constData(), size_t(bytes.size()));
    if (n < 0)
        return errno == EAGAIN ? 0 : -1;
    return n;
}

QByteArray PseudoTerminal::readAvailable(qsizetype atMost) {
    QByteArray bytes;
    char chunk[4096];
    while (bytes.size() < atMost) {
        const ssize_t n =
            ::read(master_, chunk, size_t(qMin<qsizetype>(sizeof chunk, atMost - bytes.size())));
        if (n <= 0)
            break;
        bytes.append(chunk, n);
    }
    return bytes;
}

void PseudoTerminal::hangUp() {
    if (heldSlave_ >= 0)
        ::close(heldSlave_);
    if (master_ >= 0)
        ::close(master_);
    heldSlave_ = master_ = -1;
}

} // namespace zarnet

#else // no pseudo-terminals here: the board answers on a real port only

namespace zarnet {
PseudoTerminal::PseudoTerminal() = default;
PseudoTerminal::~PseudoTerminal() = default;
bool PseudoTerminal::write(const QByteArray&) {
    return false;
}
qsizetype PseudoTerminal::writeSome(const QByteArray&) {
    return -1;
}
QByteArray PseudoTerminal::readAvailable(qsizetype) {
    return {};
}
void PseudoTerminal::hangUp() {}
} // namespace zarnet

#endif
