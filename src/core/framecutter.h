#pragma once

#include <QByteArray>
#include <QList>

namespace zarnet {

// Cuts a received byte stream into frames: start byte, 16-bit length, end byte
// and check byte must all agree. Whatever does not form a frame is handed back
// as rejected bytes with the reason, and cutting goes on from the next start byte.
// The cutter keeps at most one unfinished frame, and each run of rejected bytes
// between two frames comes back as one piece, however long it is.
class FrameCutter {
public:
    // The longest request a controller takes: a 2048-byte image.
    static constexpr int MaxLength = 2064;
    // How many of its first bytes a rejected piece keeps, for the log.
    static constexpr int KeptOfRejected = 64;

    // Why bytes were rejected.
    enum class Fault {
        None,             // the piece is a frame
        Garbage,          // bytes before a start byte
        LengthOutOfRange, // see Piece::length
        BadEnd,
        BadCheck,
        Truncated, // the line went quiet before the frame was whole
    };

    struct Piece {
        bool isFrame = false;
        QByteArray bytes;          // a frame whole; of rejected bytes, the first ones examined
        Fault fault = Fault::None; // why rejected bytes were rejected: the first fault of the run
        int length = 0;            // the length field, for Fault::LengthOutOfRange
        qsizetype size = 0;        // how many bytes of the stream the piece stands for
    };

    QList<Piece> feed(const QByteArray& bytes);
    // The line went quiet: a frame still waiting for bytes never comes whole.
    QList<Piece> flush();
    qsizetype pending() const { return buffer_.size(); }

private:
    QByteArray buffer_;
};

} // namespace zarnet
