// A received byte stream, cut into frames in two pieces, and every frame acted on
// by the virtual controller.
#include <canvas/panelimage.h>
#include <core/board.h>
#include <core/frame.h>
#include <core/framecutter.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray stream(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype split = data[0] * stream.size() / 256;
    zarnet::FrameCutter cutter;
    zarnet::Board board(255, QSize(64, 16));
    const QDateTime now(QDate(2026, 12, 7), QTime(12, 0));
    auto take = [&](const QList<zarnet::FrameCutter::Piece>& pieces) {
        for (const auto& piece : pieces) {
            if (!piece.isFrame)
                continue;
            const QByteArray& frame = piece.bytes;
            const qsizetype n = frame.size();
            if (n < 9 || n > zarnet::FrameCutter::MaxLength || uint8_t(frame[0]) != 0x02 ||
                uint8_t(frame[n - 1]) != 0x03 || uint8_t(frame[1]) * 256 + uint8_t(frame[2]) != n ||
                zarnet::checkByte(frame) != uint8_t(frame[n - 2]))
                std::abort();
            board.handle(frame, now);
        }
    };
    take(cutter.feed(stream.left(split)));
    take(cutter.feed(stream.mid(split)));
    if (cutter.pending() >= zarnet::FrameCutter::MaxLength)
        std::abort();
    take(cutter.flush());
    zarnet::renderPanel(board, now);
    return 0;
}
