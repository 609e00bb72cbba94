#pragma once

#include <QString>
#include <cstdint>
#include <variant>

// One text names a link everywhere: a port number (1..16), a device path, or
// tcp://HOST:PORT for a serial device server (IPv6 hosts in brackets).
namespace zarnet {

struct TcpAddress {
    QString host; // without brackets
    uint16_t port = 0;
};

enum class AddressFault {
    UnknownScheme, // "xyz://…"
    EmptyHost,     // or one with a blank in it
    NoPort,
    BadPort, // not a number, 0, or above 65535
};

// Whether the text names a network link at all (it has a scheme).
bool isNetworkAddress(const QString& text);

// The host and port of a tcp:// address, or what is wrong with it. Port 0 is
// taken only for listening, where it means "any free port".
std::variant<TcpAddress, AddressFault> parseTcpAddress(const QString& text, bool listening = false);

} // namespace zarnet
