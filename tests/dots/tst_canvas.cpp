#include <canvas/dotcanvas.h>
#include <canvas/songfont.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using zarnet::DotCanvas;

class TestCanvas : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void startsBlack();
    void startUpTextFillsTheTopLeftBlock();
    void drawingTwiceGivesTheSameImage();
    void textIsPureRedWithoutSmoothing();
    void longTextIsCutAtTheRightEdge();
    void emptyTextClearsToThePicture();
    void pictureSizes_data();
    void pictureSizes();
    void textOverPicture();
    void unreadableFilesChangeNothing_data();
    void unreadableFilesChangeNothing();
    void pixelOutside();

private:
    QString writeBmp(const QString& name, const QImage& image);
    QTemporaryDir dir;
};

namespace {

QRect litBounds(const DotCanvas& canvas, int threshold = 128) {
    QRect bounds;
    for (int y = 0; y < DotCanvas::Height; ++y)
        for (int x = 0; x < DotCanvas::Width; ++x)
            if (canvas.pixel(x, y) > threshold)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

} // namespace

void TestCanvas::initTestCase() {
    zarnet::installSongSubstitutions();
}

QString TestCanvas::writeBmp(const QString& name, const QImage& image) {
    const QString path = dir.filePath(name);
    if (!image.save(path, "BMP"))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestCanvas::startsBlack() {
    DotCanvas canvas;
    QVERIFY(litBounds(canvas, 0).isNull());
    QCOMPARE(canvas.font().pointSizeF(), 12.0);
}

void TestCanvas::startUpTextFillsTheTopLeftBlock() {
    DotCanvas canvas;
    canvas.drawText(u"生产一线"_s);
    const QRect lit = litBounds(canvas);
    QVERIFY(!lit.isNull());
    QVERIFY2(
        QRect(0, 0, 64, 16).contains(lit),
        qPrintable(
            u"lit %1,%2 %3x%4"_s.arg(lit.x()).arg(lit.y()).arg(lit.width()).arg(lit.height())));
    // Each of the four characters lights something in its own 16-dot cell.
    for (int cell = 0; cell < 4; ++cell) {
        bool any = false;
        for (int y = 0; y < 16 && !any; ++y)
            for (int x = 16 * cell; x < 16 * cell + 16 && !any; ++x)
                any = canvas.pixel(x, y) > 128;
        QVERIFY2(any, qPrintable(QString::number(cell)));
    }
}

void TestCanvas::drawingTwiceGivesTheSameImage() {
    DotCanvas canvas;
    canvas.drawText(u"生产一线"_s);
    const QImage once = canvas.image();
    canvas.drawText(u"生产一线"_s);
    QCOMPARE(canvas.image(), once);
}

void TestCanvas::textIsPureRedWithoutSmoothing() {
    DotCanvas canvas;
    canvas.drawText(u"生产一线 Zarnet 123"_s);
    for (int y = 0; y < DotCanvas::Height; ++y)
        for (int x = 0; x < DotCanvas::Width; ++x) {
            const int colour = canvas.pixel(x, y);
            QVERIFY2(colour == 0 || colour == 255,
                     qPrintable(u"%1,%2: %3"_s.arg(x).arg(y).arg(colour)));
        }
}

void TestCanvas::longTextIsCutAtTheRightEdge() {
    DotCanvas canvas;
    canvas.drawText(QString(40, u'国'));
    const QRect lit = litBounds(canvas);
    QVERIFY(lit.right() >= 248 && lit.right() <= 255); // the sixteenth character is drawn
    QVERIFY(lit.bottom() < 16);                        // no wrapping to a second line
}

void TestCanvas::emptyTextClearsToThePicture() {
    DotCanvas canvas;
    QImage picture(10, 10, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 200));
    QVERIFY(canvas.loadPicture(writeBmp(u"blue.bmp"_s, picture)));
    canvas.drawText(u"生产"_s);
    canvas.drawText(QString());
    QCOMPARE(canvas.pixel(0, 0), 200 * 65536);
    QCOMPARE(canvas.pixel(20, 5), 0);
}

void TestCanvas::pictureSizes_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger than the canvas") << QSize(300, 100);
    QTest::newRow("smaller than the canvas") << QSize(100, 20);
}

void TestCanvas::pictureSizes() {
    QFETCH(QSize, size);
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(QColor(0, 255, 0));
    DotCanvas canvas;
    QVERIFY(canvas.loadPicture(writeBmp(u"green.bmp"_s, picture)));
    const QRect lit = litBounds(canvas);
    QCOMPARE(lit, QRect(QPoint(0, 0), size).intersected(QRect(0, 0, 256, 64)));
    QCOMPARE(canvas.image().size(), QSize(256, 64));
}

void TestCanvas::textOverPicture() {
    QImage picture(256, 64, QImage::Format_RGB32);
    picture.fill(Qt::black);
    picture.setPixelColor(200, 40, QColor(0, 0, 255));
    DotCanvas canvas;
    QVERIFY(canvas.loadPicture(writeBmp(u"dot.bmp"_s, picture)));
    canvas.drawText(u"生产一线"_s);
    canvas.drawText(u"生产一线"_s);
    QCOMPARE(canvas.pixel(200, 40), 255 * 65536);
    DotCanvas textOnly;
    textOnly.drawText(u"生产一线"_s);
    QCOMPARE(canvas.image().copy(0, 0, 64, 16), textOnly.image().copy(0, 0, 64, 16));
}

void TestCanvas::unreadableFilesChangeNothing_data() {
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::newRow("missing file") << QByteArray();
    QTest::newRow("text file") << "not a picture"_ba;
    QTest::newRow("truncated bitmap header") << "BM\x10\0\0\0"_ba;
}

void TestCanvas::unreadableFilesChangeNothing() {
    QFETCH(QByteArray, content);
    DotCanvas canvas;
    canvas.drawText(u"生产一线"_s);
    const QImage before = canvas.image();
    const QString path = dir.filePath(u"broken.bmp"_s);
    QFile::remove(path);
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QVERIFY(!canvas.loadPicture(path));
    QCOMPARE(canvas.image(), before);
}

void TestCanvas::pixelOutside() {
    DotCanvas canvas;
    for (const QPoint& p : {QPoint(-1, 0), QPoint(0, -1), QPoint(256, 0), QPoint(0, 64)})
        QCOMPARE(canvas.pixel(p.x(), p.y()), -1);
    QCOMPARE(canvas.pixel(255, 63), 0);
}

QTEST_MAIN(TestCanvas)
#include "tst_canvas.moc"
