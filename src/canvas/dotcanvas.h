#pragma once

#include <QFont>
#include <QImage>
#include <QString>

namespace zarnet {

// The 256 × 64 canvas, one pixel per dot of the sign. Layers from the bottom:
// black, the background picture at (0, 0) cut at the edges, the drawn text in
// pure red. Text is drawn without smoothing, so every pixel is lit or dark
// exactly as the sign will show it.
class DotCanvas {
public:
    static constexpr int Width = 256;
    static constexpr int Height = 64;

    DotCanvas();

    // Clears the drawn text (the picture stays) and draws one line at (0, 0).
    void drawText(const QString& text);
    // Makes the file the background picture and drops the drawn text. A file that
    // cannot be read as a picture changes nothing and gives false.
    bool loadPicture(const QString& path);
    // The same for a picture file's bytes, of at most MaxPictureDots dots: only the
    // part on the canvas is used, but most formats decode the whole picture first.
    bool loadPictureData(const QByteArray& bytes);
    static constexpr qint64 MaxPictureDots = qint64{2048} * 1024;
    // Whether the bytes' header announces a picture of at most MaxPictureDots dots.
    static bool canLoadPictureData(const QByteArray& bytes);

    QFont font() const { return font_; }
    void setFont(const QFont& font);

    // R + 256·G + 65536·B of the composed image, −1 outside the canvas.
    int pixel(int x, int y) const;
    const QImage& image() const { return image_; }

private:
    bool usePicture(const QImage& picture);
    void compose();

    QFont font_;
    QImage picture_;
    QString text_;
    QImage image_;
};

// The top-left bytesPerRow·8 × rows dots of the canvas, eight to a byte.
QByteArray getDotData(const DotCanvas& canvas, int bytesPerRow, int rows);

} // namespace zarnet
