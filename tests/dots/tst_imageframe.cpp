#include <canvas/dotcanvas.h>
#include <core/imageframe.h>

#include <QTemporaryDir>
#include <QTest>
#include <optional>

using fields::Field;

using namespace Qt::StringLiterals;
using namespace zarnet;

class TestImageFrame : public QObject {
    Q_OBJECT
private slots:
    void frames_data();
    void frames();
    void windowRefusals_data();
    void windowRefusals();
    void positionChangesOnlyItsBytes();
    void largeWindows();
};

using Pixels = QList<QPair<QPoint, QColor>>;

namespace {

// A canvas whose background picture holds exactly the given pixels.
QByteArray frameFor(const Pixels& pixels, const QString& w, const QString& h,
                    const ScheduleBytes& schedule = {0, 0, 0, 0}, const QString& x = u"192"_s,
                    const QString& y = u"0"_s) {
    QImage picture(256, 64, QImage::Format_RGB32);
    picture.fill(Qt::black);
    for (const auto& [point, colour] : pixels)
        picture.setPixelColor(point, colour);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"p.bmp"_s);
    picture.save(path, "BMP");
    DotCanvas canvas;
    if (!canvas.loadPicture(path))
        return {};
    const auto window = readDotWindow(x, y, w, h);
    const DotWindow& win = std::get<DotWindow>(window);
    return dotImageFrame(255, schedule, win, getDotData(canvas, win.bytesPerRow, win.rows));
}

QByteArray startUpFrame(int firstImageByte, int secondImageByte, int byteEight) {
    QByteArray image(128, '\0');
    image[0] = char(firstImageByte);
    image[1] = char(secondImageByte);
    image[8] = char(byteEight);
    QByteArray frame = QByteArray::fromHex("020090FFEE4100000000C0000810") + image;
    uint8_t check = 0;
    for (int i = 1; i < frame.size(); ++i)
        check ^= uint8_t(frame[i]);
    return frame + char(check) + char(3);
}

} // namespace

void TestImageFrame::frames_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    const QColor red(255, 0, 0);
    QTest::newRow("start-up, all black") << frameFor({}, u"64"_s, u"16"_s)
                                         << QByteArray::fromHex("020090FFEE4100000000C0000810") +
                                                QByteArray(128, '\0') + "\x18\x03"_ba;
    QTest::newRow("pixel (0,0)") << frameFor({{{0, 0}, red}}, u"64"_s, u"16"_s)
                                 << startUpFrame(0x80, 0, 0);
    QTest::newRow("pixel (7,0)") << frameFor({{{7, 0}, red}}, u"64"_s, u"16"_s)
                                 << startUpFrame(0x01, 0, 0);
    QTest::newRow("pixel (8,0)") << frameFor({{{8, 0}, red}}, u"64"_s, u"16"_s)
                                 << startUpFrame(0, 0x80, 0);
    QTest::newRow("pixel (0,1)") << frameFor({{{0, 1}, red}}, u"64"_s, u"16"_s)
                                 << startUpFrame(0, 0, 0x80);
    QTest::newRow("R 128 is dark")
        << frameFor({{{0, 0}, QColor(128, 0, 0)}}, u"64"_s, u"16"_s) << startUpFrame(0, 0, 0);
    QTest::newRow("R 129 is lit") << frameFor({{{0, 0}, QColor(129, 0, 0)}}, u"64"_s, u"16"_s)
                                  << startUpFrame(0x80, 0, 0);
    QTest::newRow("lowest green is lit")
        << frameFor({{{0, 0}, QColor(0, 1, 0)}}, u"64"_s, u"16"_s) << startUpFrame(0x80, 0, 0);
    QTest::newRow("pixel outside the sent rectangle")
        << frameFor({{{64, 0}, red}, {{0, 16}, red}}, u"64"_s, u"16"_s) << startUpFrame(0, 0, 0);
    QTest::newRow("daily schedule")
        << frameFor({}, u"64"_s, u"16"_s, {0x12, 0x0D, 0x05, 0x0A}).mid(6, 4)
        << QByteArray::fromHex("120D050A");
    QTest::newRow("empty image, height 0")
        << frameFor({}, u"64"_s, u"0"_s) << QByteArray::fromHex("020010FFEE4100000000C00008008803");
    QTest::newRow("empty image, width 7")
        << frameFor({}, u"7"_s, u"16"_s) << QByteArray::fromHex("020010FFEE4100000000C00000109003");
}

void TestImageFrame::frames() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void TestImageFrame::windowRefusals_data() {
    QTest::addColumn<QStringList>("xywh");
    QTest::addColumn<std::optional<Field>>("field"); // none: accepted
    QTest::newRow("start-up") << QStringList{u"192"_s, u"0"_s, u"64"_s, u"16"_s}
                              << std::optional<Field>();
    QTest::newRow("full canvas") << QStringList{u"0"_s, u"0"_s, u"256"_s, u"64"_s}
                                 << std::optional<Field>();
    QTest::newRow("512 x 32 is 2048 bytes")
        << QStringList{u"0"_s, u"0"_s, u"512"_s, u"32"_s} << std::optional<Field>();
    QTest::newRow("X 256") << QStringList{u"256"_s, u"0"_s, u"64"_s, u"16"_s}
                           << std::optional(Field::XStart);
    QTest::newRow("X empty") << QStringList{u""_s, u"0"_s, u"64"_s, u"16"_s}
                             << std::optional(Field::XStart);
    QTest::newRow("Y -1") << QStringList{u"0"_s, u"-1"_s, u"64"_s, u"16"_s}
                          << std::optional(Field::YStart);
    QTest::newRow("width 2048") << QStringList{u"0"_s, u"0"_s, u"2048"_s, u"1"_s}
                                << std::optional(Field::Width);
    QTest::newRow("width -8") << QStringList{u"0"_s, u"0"_s, u"-8"_s, u"1"_s}
                              << std::optional(Field::Width);
    QTest::newRow("width beyond 16 bits")
        << QStringList{u"0"_s, u"0"_s, u"99999"_s, u"1"_s} << std::optional(Field::Width);
    QTest::newRow("height 256") << QStringList{u"0"_s, u"0"_s, u"8"_s, u"256"_s}
                                << std::optional(Field::Height);
    QTest::newRow("height letters")
        << QStringList{u"0"_s, u"0"_s, u"8"_s, u"h"_s} << std::optional(Field::Height);
    QTest::newRow("2056 bytes") << QStringList{u"0"_s, u"0"_s, u"2056"_s, u"8"_s}
                                << std::optional(Field::Width);
    QTest::newRow("256 x 65 is 2080 bytes")
        << QStringList{u"0"_s, u"0"_s, u"256"_s, u"65"_s} << std::optional(Field::ImageSize);
}

void TestImageFrame::windowRefusals() {
    QFETCH(QStringList, xywh);
    QFETCH(std::optional<Field>, field);
    const auto window = readDotWindow(xywh[0], xywh[1], xywh[2], xywh[3]);
    if (!field) {
        QVERIFY(std::holds_alternative<DotWindow>(window));
        const DotWindow w = std::get<DotWindow>(window);
        const QByteArray frame =
            dotImageFrame(1, {0, 0, 0, 0}, w, QByteArray(w.bytesPerRow * w.rows, 0));
        QVERIFY(frame.size() <= 2064);
        return;
    }
    QVERIFY(std::holds_alternative<fields::Refusal>(window));
    QVERIFY(std::get<fields::Refusal>(window).field == *field);
}

void TestImageFrame::positionChangesOnlyItsBytes() {
    const QColor red(255, 0, 0);
    const QByteArray a =
        frameFor({{{3, 3}, red}}, u"64"_s, u"16"_s, {0, 0, 0, 0}, u"192"_s, u"0"_s);
    const QByteArray b = frameFor({{{3, 3}, red}}, u"64"_s, u"16"_s, {0, 0, 0, 0}, u"10"_s, u"7"_s);
    QCOMPARE(a.size(), b.size());
    for (int i = 0; i < a.size(); ++i)
        if (i != 10 && i != 11 && i != a.size() - 2)
            QCOMPARE(a[i], b[i]);
    QCOMPARE(uint8_t(b[10]), uint8_t(10));
    QCOMPARE(uint8_t(b[11]), uint8_t(7));
}

void TestImageFrame::largeWindows() {
    const QColor red(255, 0, 0);
    const QByteArray full = frameFor({{{255, 63}, red}, {{0, 0}, red}}, u"256"_s, u"64"_s);
    QCOMPARE(full.size(), 2064);
    QCOMPARE(full.mid(1, 2).toHex(), "0810"_ba);
    QCOMPARE(full.mid(12, 2).toHex(), "2040"_ba);
    QCOMPARE(uint8_t(full[14]), uint8_t(0x80));
    QCOMPARE(uint8_t(full[14 + 2047]), uint8_t(0x01));
    QCOMPARE(uint8_t(full[2063]), uint8_t(0x03));

    // Columns 256..511 lie outside the canvas and go out dark.
    const QByteArray wide = frameFor({{{255, 0}, red}, {{255, 31}, red}}, u"512"_s, u"32"_s);
    QCOMPARE(wide.size(), 2064);
    QCOMPARE(wide.mid(12, 2).toHex(), "4020"_ba);
    const QByteArray image = wide.mid(14, 2048);
    for (int row = 0; row < 32; ++row) {
        QCOMPARE(uint8_t(image[row * 64 + 31]), uint8_t(row == 0 || row == 31 ? 0x01 : 0));
        QCOMPARE(image.mid(row * 64 + 32, 32), QByteArray(32, '\0'));
    }
}

QTEST_MAIN(TestImageFrame)
#include "tst_imageframe.moc"
