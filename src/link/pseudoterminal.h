#pragma once

#include <QByteArray>
#include <QString>
#include <limits>

namespace zarnet {

// The controller's end of a pseudo-terminal in raw mode. The program at the other end
// opens slavePath() like any serial device. A slave descriptor is held open too,
// so that the master does not see a hang-up each time the program closes its port.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    // Writes everything, retrying while the line is full.
    bool write(const QByteArray& bytes);
    // Writes what the line takes now, without waiting: the count written, 0 when
    // the line is full, −1 when it failed.
    qsizetype writeSome(const QByteArray& bytes);
    // Whatever is waiting, up to `atMost` bytes, without blocking.
    QByteArray readAvailable(qsizetype atMost = std::numeric_limits<qsizetype>::max());
    // Like pulling the cable: the program's end reads a hang-up from now on.
    void hangUp();

private:
    int master_ = -1;
    int heldSlave_ = -1;
    QString slavePath_;
};

} // namespace zarnet
