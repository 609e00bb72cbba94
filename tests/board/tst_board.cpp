#include <canvas/panelimage.h>
#include <core/board.h>

#include <core/frame.h>
#include <core/imageframe.h>
#include <core/reply.h>
#include <core/requests.h>
#include <core/unitframes.h>

#include <QTest>

using namespace Qt::StringLiterals;
using namespace zarnet;

class TestBoard : public QObject {
    Q_OBJECT
private slots:
    void answersTheConnectionTest();
    void ignoresOtherDevicesAndMalformedFrames_data();
    void ignoresOtherDevicesAndMalformedFrames();
    void storesAndReturnsUnits();
    void setsItsClock();
    void showsTheImageAtItsPlace();
    void powerAndClear();
    void describesFrames_data();
    void describesFrames();
};

namespace {

const QDateTime Now(QDate(2026, 12, 7), QTime(10, 0, 0));

QByteArray imageFrame(uint8_t device, DotWindow window, ScheduleBytes schedule, char fill) {
    return dotImageFrame(device, schedule, window,
                         QByteArray(window.bytesPerRow * window.rows, fill));
}

int litCount(const QImage& panel) {
    int lit = 0;
    for (int y = 0; y < panel.height(); ++y)
        for (int x = 0; x < panel.width(); ++x)
            lit += panel.pixel(x, y) == qRgb(255, 0, 0);
    return lit;
}

} // namespace

void TestBoard::answersTheConnectionTest() {
    Board board(7);
    const Board::Outcome outcome = board.handle(findFrame(7), Now);
    const Reply reply = parseReply(outcome.reply);
    QCOMPARE(int(reply.kind), int(Reply::Kind::FoundDevice));
    QCOMPARE(reply.device, 7);
    QCOMPARE(outcome.reply.toHex(' '), "02 00 09 ee 07 21 07 c6 03"_ba);
}

void TestBoard::ignoresOtherDevicesAndMalformedFrames_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("why");
    QTest::newRow("other device") << findFrame(8) << u"for device 8, ignored"_s;
    QTest::newRow("power with two payload bytes")
        << buildFrame(7, PowerCode, "\x01\x01"_ba) << u"malformed"_s;
    QTest::newRow("units count beyond the values")
        << buildFrame(7, UnitShowNowCode, QByteArray::fromHex("000300000001")) << u"malformed"_s;
    QTest::newRow("image shorter than its window")
        << buildFrame(7, DotImageCode, QByteArray::fromHex("00000000000008100000"))
        << u"malformed"_s;
    QTest::newRow("month 13") << buildFrame(7, SetClockCode, QByteArray::fromHex("1A0D01000000"))
                              << u"not a valid time"_s;
    QTest::newRow("unknown command") << buildFrame(7, 0x55, "\x00"_ba) << u"malformed"_s;
}

void TestBoard::ignoresOtherDevicesAndMalformedFrames() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, why);
    Board board(7);
    const Board::Outcome outcome = board.handle(frame, Now);
    QVERIFY(outcome.reply.isEmpty());
    QVERIFY(!outcome.changed);
    QVERIFY2(outcome.log.contains(why), qPrintable(outcome.log));
    QVERIFY(board.units().isEmpty());
    QVERIFY(!board.image());
    QCOMPARE(board.clock(Now), Now);
}

void TestBoard::storesAndReturnsUnits() {
    Board board;
    board.handle(unitWriteFrame(255, UnitFixedCode, {254, {1, 2, 99999999}}), Now);
    QCOMPARE(board.units().value(254), 1u);
    QCOMPARE(board.units().value(255), 2u);
    QCOMPARE(board.units().value(0), 99999999u); // the unit after 255 is 0
    const Reply reply = parseReply(board.handle(unitReadFrame(255, {255, 3}), Now).reply);
    QCOMPARE(int(reply.kind), int(Reply::Kind::UnitValues));
    QCOMPARE(reply.values, (QList<uint32_t>{2, 99999999, 0}));
}

void TestBoard::setsItsClock() {
    Board board;
    const QDateTime set(QDate(2027, 3, 1), QTime(9, 5, 7));
    QVERIFY(board.handle(clockFrame(255, set), Now).changed);
    QCOMPARE(board.clock(Now), set);
    QCOMPARE(board.clock(Now.addSecs(60)), set.addSecs(60));
}

void TestBoard::showsTheImageAtItsPlace() {
    Board board;
    board.handle(imageFrame(255, {192, 8, 8, 16}, {0, 0, 0, 0}, char(0x80)), Now);
    const QImage panel = renderPanel(board, Now);
    QCOMPARE(litCount(panel), 16 * 8); // one dot in each byte
    QCOMPARE(panel.pixel(192, 8), qRgb(255, 0, 0));
    QCOMPARE(panel.pixel(200, 23), qRgb(255, 0, 0));
    QCOMPARE(panel.pixel(193, 8), qRgb(0, 0, 0));
    QCOMPARE(panel.pixel(192, 24), qRgb(0, 0, 0));

    // Reaching past the panel: what lies outside is not drawn.
    board.handle(imageFrame(255, {250, 60, 2, 8}, {0, 0, 0, 0}, char(0xFF)), Now);
    QCOMPARE(litCount(renderPanel(board, Now)), 6 * 4);

    // Outside its daily period the image is not shown.
    board.handle(imageFrame(255, {0, 0, 1, 1}, {0x12, 0x0D, 0x05, 0x0A}, char(0xFF)), Now);
    QCOMPARE(litCount(renderPanel(board, Now)), 8);
    QCOMPARE(litCount(renderPanel(board, Now.addSecs(12 * 3600))), 0);
}

void TestBoard::powerAndClear() {
    Board board;
    board.handle(imageFrame(255, {0, 0, 1, 1}, {0, 0, 0, 0}, char(0xFF)), Now);
    QVERIFY(board.handle(powerFrame(255, false), Now).changed);
    QCOMPARE(litCount(renderPanel(board, Now)), 0);
    board.handle(powerFrame(255, true), Now);
    QCOMPARE(litCount(renderPanel(board, Now)), 8);
    board.handle(clearFrame(255), Now);
    QCOMPARE(litCount(renderPanel(board, Now)), 0);
    QVERIFY(!board.image());
}

void TestBoard::describesFrames_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("reply");
    QTest::addColumn<QString>("text");
    QTest::newRow("image") << imageFrame(255, {192, 0, 8, 16}, {0x12, 0x0D, 0x05, 0x0A}, 0) << false
                           << u"0x41 image 64×16 at (192,0), daily 08:45–21:30"_s;
    QTest::newRow("clock") << clockFrame(1, QDateTime(QDate(2026, 12, 5), QTime(20, 18, 51)))
                           << false << u"0x20 clock 2026-12-05 20:18:51"_s;
    QTest::newRow("units") << unitWriteFrame(1, UnitShowNowCode, {3, {5, 6}}) << false
                           << u"0x23 units 3..4 = 5, 6 (show at once)"_s;
    QTest::newRow("power off") << powerFrame(1, false) << false << u"0x12 power off"_s;
    QTest::newRow("find reply") << buildReply(9, FindCode, "\x09"_ba) << true
                                << u"0x21 reply: device 9"_s;
    QTest::newRow("cut short") << "\x02\x00"_ba << false << u"0x00 unknown command"_s;
}

void TestBoard::describesFrames() {
    QFETCH(QByteArray, frame);
    QFETCH(bool, reply);
    QFETCH(QString, text);
    QCOMPARE(describeFrame(frame, reply), text);
}

QTEST_MAIN(TestBoard)
#include "tst_board.moc"
