#pragma once

#include <QByteArray>
#include <QString>
#include <variant>

namespace zarnet::gateway {

// Why a file named in the configuration, or the configuration itself, was not read.
struct FileProblem {
    enum class Fault {
        NoName,     // no file was named
        Missing,    // it does not exist
        NotRegular, // a device, a FIFO or a folder
        TooLarge,   // more than `limit` bytes
        System,     // the system refused: `error` says why
    };
    Fault fault = Fault::NoName;
    QString path;
    qint64 limit = 0;
    int error = 0; // errno
};

// The contents of a regular file of at most `limit` bytes, or why not: a device or
// a FIFO named by mistake would be read without end, or wait for ever.
std::variant<QByteArray, FileProblem> readRegularFile(const QString& path, qint64 limit);

// "cannot read PATH: why", in English.
QString describe(const FileProblem& problem);

} // namespace zarnet::gateway
