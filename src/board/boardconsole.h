#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

class QSocketNotifier;

namespace zarnet {

class BoardLine;

// "mute N" or "unmute N": silence controller N on the line, or bring it back.
struct MuteCommand {
    uint8_t device = 0;
    bool muted = true;
};

// One line typed on the standard input; none when it is not a command.
std::optional<MuteCommand> readConsoleCommand(const QString& line);

// Takes commands from the standard input while the board runs, so that a test or
// a demonstration can kill a controller on a live bus and bring it back.
class BoardConsole : public QObject {
    Q_OBJECT
public:
    explicit BoardConsole(BoardLine& line, QObject* parent = nullptr);

    // Whether the standard input is a pipe, a socket or a file to take commands
    // from: a terminal would stop a board running in the background as soon as it
    // read, and a closed one may by now be a descriptor of the program's own.
    // Asked before the application opens anything.
    static bool inputUsable();

private:
    void readAvailable();
    void take(const QByteArray& line);

    BoardLine& line_;
    QSocketNotifier* notifier_ = nullptr;
    QByteArray partial_;
};

} // namespace zarnet
