#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace zarnet {

// The image a controller keeps, with where and when it is shown.
struct BoardImage {
    std::array<uint8_t, 4> schedule{};
    int x = 0;
    int y = 0;
    int bytesPerRow = 0;
    int rows = 0;
    QByteArray dots;
};

// A sign controller: acts on whole, checked frames and says what it did.
class Board {
public:
    explicit Board(uint8_t device = 255, QSize panel = {256, 64});

    struct Outcome {
        QByteArray reply;     // empty: nothing to answer
        QString log;          // what the frame meant and what was done
        bool changed = false; // power, image or clock changed
    };
    Outcome handle(const QByteArray& frame, const QDateTime& systemNow);

    uint8_t device() const { return device_; }
    QSize panelSize() const { return panel_; }
    bool powered() const { return powered_; }
    QDateTime clock(const QDateTime& systemNow) const { return systemNow.addSecs(clockOffset_); }
    const QMap<int, uint32_t>& units() const { return units_; }
    const std::optional<BoardImage>& image() const { return image_; }

private:
    uint8_t device_;
    QSize panel_;
    bool powered_ = true;
    qint64 clockOffset_ = 0;
    QMap<int, uint32_t> units_;
    std::optional<BoardImage> image_;
};

// A human reading of a request or a reply frame, for the log.
QString describeFrame(const QByteArray& frame, bool reply);

} // namespace zarnet
