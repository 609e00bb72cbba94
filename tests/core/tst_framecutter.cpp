#include <core/framecutter.h>

#include <QTest>

using namespace Qt::StringLiterals;
using zarnet::FrameCutter;

class TestFrameCutter : public QObject {
    Q_OBJECT
private slots:
    void streams_data();
    void streams();
    void splitAtEveryByte();
    void truncatedFrameFlushedWhenQuiet();
};

using Bytes = QByteArray;

namespace {

const Bytes Find = Bytes::fromHex("020009FFEE21FFC603");
const Bytes Power = Bytes::fromHex("02000901EE1201F503");

// "F:<hex>" for a frame, "R:<reason>" for rejected bytes.
QStringList cut(FrameCutter& cutter, const Bytes& stream) {
    QStringList out;
    for (const auto& piece : cutter.feed(stream))
        out.append(piece.isFrame ? u"F:"_s + QString::fromLatin1(piece.bytes.toHex())
                                 : u"R:"_s + piece.reason);
    return out;
}

QString frame(const Bytes& bytes) {
    return u"F:"_s + QString::fromLatin1(bytes.toHex());
}

} // namespace

void TestFrameCutter::streams_data() {
    QTest::addColumn<Bytes>("stream");
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<int>("pending");
    QTest::newRow("one frame") << Find << QStringList{frame(Find)} << 0;
    QTest::newRow("two frames back to back")
        << Find + Power << QStringList{frame(Find), frame(Power)} << 0;
    QTest::newRow("garbage before")
        << "xyz"_ba + Find << QStringList{u"R:garbage"_s, frame(Find)} << 0;
    QTest::newRow("garbage between") << Find + "\x03\x03"_ba + Power
                                     << QStringList{frame(Find), u"R:garbage"_s, frame(Power)} << 0;
    Bytes badCheck = Find;
    badCheck[7] = char(0x00);
    QTest::newRow("bad check byte, then a good frame")
        << badCheck + Power << QStringList{u"R:bad check byte"_s, frame(Power)} << 0;
    Bytes badEnd = Find;
    badEnd[8] = char(0x04);
    QTest::newRow("bad end byte") << badEnd << QStringList{u"R:bad end byte"_s} << 0;
    QTest::newRow("huge length") << "\x02\xFF\xFF"_ba + Find
                                 << QStringList{u"R:length 65535 out of range"_s, frame(Find)} << 0;
    QTest::newRow("length of a frame without a payload")
        << Bytes::fromHex("020008FFEE213803") + Find
        << QStringList{u"R:length 8 out of range"_s, frame(Find)} << 0;
    QTest::newRow("length too short")
        << "\x02\x00\x03"_ba + Find << QStringList{u"R:length 3 out of range"_s, frame(Find)} << 0;
    QTest::newRow("truncated frame, then a whole one")
        << Find.left(5) + Power << QStringList{u"R:bad end byte"_s, frame(Power)} << 0;
    QTest::newRow("frame claims more than arrives")
        << Bytes::fromHex("020040FFEE41") << QStringList{} << 6;
    QTest::newRow("start byte alone") << "\x02"_ba << QStringList{} << 1;
}

void TestFrameCutter::streams() {
    QFETCH(Bytes, stream);
    QFETCH(QStringList, pieces);
    QFETCH(int, pending);
    FrameCutter cutter;
    const auto cutPieces = cutter.feed(stream);
    QStringList described;
    qsizetype accounted = cutter.pending();
    for (const auto& piece : cutPieces) {
        described.append(piece.isFrame ? frame(piece.bytes) : u"R:"_s + piece.reason);
        accounted += piece.size;
    }
    QCOMPARE(described, pieces);
    QCOMPARE(int(cutter.pending()), pending);
    QCOMPARE(accounted, stream.size()); // every byte is in one piece or still waiting
}

void TestFrameCutter::splitAtEveryByte() {
    const Bytes stream = "??"_ba + Find + Power;
    for (int split = 0; split <= stream.size(); ++split) {
        FrameCutter cutter;
        QStringList pieces = cut(cutter, stream.left(split));
        pieces += cut(cutter, stream.mid(split));
        pieces.removeAll(u"R:garbage"_s);
        QCOMPARE(pieces, (QStringList{frame(Find), frame(Power)}));
        QCOMPARE(cutter.pending(), 0);
    }
}

void TestFrameCutter::truncatedFrameFlushedWhenQuiet() {
    FrameCutter cutter;
    QVERIFY(cut(cutter, Find.left(6)).isEmpty());
    const auto flushed = cutter.flush();
    QCOMPARE(flushed.size(), 1);
    QCOMPARE(flushed[0].reason, u"truncated"_s);
    QCOMPARE(cut(cutter, Find), QStringList{frame(Find)});
}

QTEST_GUILESS_MAIN(TestFrameCutter)
#include "tst_framecutter.moc"
