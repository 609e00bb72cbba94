#include "dotcanvas.h"

#include "songfont.h"

#include <core/imageframe.h>

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

namespace zarnet {

namespace {

// 96 dots per inch, so that 12 points are 16 dots.
constexpr int DotsPerMeter = 3780;

} // namespace

DotCanvas::DotCanvas() : image_(Width, Height, QImage::Format_RGB32) {
    image_.setDotsPerMeterX(DotsPerMeter);
    image_.setDotsPerMeterY(DotsPerMeter);
    setFont(songFont(12));
    compose();
}

void DotCanvas::setFont(const QFont& font) {
    font_ = font;
    font_.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    font_.setHintingPreference(QFont::PreferFullHinting);
}

void DotCanvas::drawText(const QString& text) {
    text_ = text;
    compose();
}

bool DotCanvas::loadPicture(const QString& path) {
    QImageReader reader(path);
    return usePicture(reader.read());
}

namespace {

// A small file may claim a huge picture, whose decoding would take long and much memory.
bool sizeAllowed(const QSize& size) {
    return size.isValid() && qint64(size.width()) * size.height() <= DotCanvas::MaxPictureDots;
}

} // namespace

bool DotCanvas::canLoadPictureData(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    return sizeAllowed(QImageReader(&buffer).size());
}

bool DotCanvas::loadPictureData(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!sizeAllowed(size))
        return false;
    // Formats that can decode a part (JPEG) decode only what lies on the canvas.
    reader.setClipRect(QRect(0, 0, Width, Height) & QRect(QPoint(), size));
    return usePicture(reader.read());
}

bool DotCanvas::usePicture(const QImage& picture) {
    if (picture.isNull())
        return false;
    picture_ = picture.convertToFormat(QImage::Format_RGB32);
    text_.clear();
    compose();
    return true;
}

QByteArray getDotData(const DotCanvas& canvas, int bytesPerRow, int rows) {
    return packDots([&canvas](int x, int y) { return canvas.pixel(x, y); }, bytesPerRow, rows);
}

int DotCanvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width || y >= Height)
        return -1;
    const QRgb rgb = image_.pixel(x, y);
    return qRed(rgb) + 256 * qGreen(rgb) + 65536 * qBlue(rgb);
}

void DotCanvas::compose() {
    image_.fill(Qt::black);
    QPainter painter(&image_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    if (!picture_.isNull())
        painter.drawImage(0, 0, picture_);
    if (!text_.isEmpty()) {
        painter.setFont(font_);
        painter.setPen(QColor(255, 0, 0));
        painter.drawText(QRect(0, 0, Width, Height),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text_);
    }
}

} // namespace zarnet
