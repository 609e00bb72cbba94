#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <variant>

namespace zarnet::cli {

enum ExitCode { Success = 0, NoReply = 1, BadArguments = 2, PortFailed = 3 };

// What one run of zarnet-cli sends, and what it waits for.
struct Request {
    enum class Awaits { Nothing, Device, Values, Scan };
    QByteArray frame;
    Awaits awaits = Awaits::Nothing;
    int replyLength = 0;
    uint8_t device = 255;
    uint8_t start = 0; // a unit read's start unit and count, which its reply must carry
    uint8_t count = 0;
    int scanFrom = 0; // the device numbers a scan tries
    int scanTo = 255;
    QString port = QStringLiteral("1");
    int timeoutMs = 1000;
    bool dryRun = false;
    bool verbose = false;
};

// Help, or arguments that cannot be used: the text and the exit code.
struct Stop {
    int exitCode = Success;
    QString text;
};

// The arguments after the program name, decoded as QCoreApplication::arguments()
// does but with a leading byte-order mark kept: dropped, it would let "\uFEFF7"
// pass for the number 7 instead of being refused like any other non-digit.
QStringList argumentWords(int argc, const char* const* argv);

// Builds the request from the arguments (without the program name) with the
// same readers and frame builders as the window. `now` is the clock's default.
// The image subcommand draws on a canvas, so a QGuiApplication must exist.
std::variant<Request, Stop> parseCommandLine(const QStringList& arguments, const QDateTime& now);

} // namespace zarnet::cli
