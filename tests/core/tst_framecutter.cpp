#include <core/faultwords.h>
#include <core/framecutter.h>

#include <QTest>

using namespace Qt::StringLiterals;
using zarnet::FrameCutter;
using Fault = FrameCutter::Fault;

class TestFrameCutter : public QObject {
    Q_OBJECT
private slots:
    void streams_data();
    void streams();
    void splitAtEveryByte();
    void truncatedFrameFlushedWhenQuiet();
    void faultsInWords();
};

using Bytes = QByteArray;

namespace {

const Bytes Find = Bytes::fromHex("020009FFEE21FFC603");
const Bytes Power = Bytes::fromHex("02000901EE1201F503");

QString frame(const Bytes& bytes) {
    return u"F:"_s + QString::fromLatin1(bytes.toHex());
}

QString rejected(Fault fault, int length = 0) {
    return u"R:%1/%2"_s.arg(int(fault)).arg(length);
}

QString described(const FrameCutter::Piece& piece) {
    return piece.isFrame ? frame(piece.bytes) : rejected(piece.fault, piece.length);
}

QStringList cut(FrameCutter& cutter, const Bytes& stream) {
    QStringList out;
    for (const auto& piece : cutter.feed(stream))
        out.append(described(piece));
    return out;
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
        << "xyz"_ba + Find << QStringList{rejected(Fault::Garbage), frame(Find)} << 0;
    QTest::newRow("garbage between")
        << Find + "\x03\x03"_ba + Power
        << QStringList{frame(Find), rejected(Fault::Garbage), frame(Power)} << 0;
    Bytes badCheck = Find;
    badCheck[7] = char(0x00);
    QTest::newRow("bad check byte, then a good frame")
        << badCheck + Power << QStringList{rejected(Fault::BadCheck), frame(Power)} << 0;
    Bytes badEnd = Find;
    badEnd[8] = char(0x04);
    QTest::newRow("bad end byte") << badEnd << QStringList{rejected(Fault::BadEnd)} << 0;
    QTest::newRow("huge length") << "\x02\xFF\xFF"_ba + Find
                                 << QStringList{rejected(Fault::LengthOutOfRange, 65535),
                                                frame(Find)}
                                 << 0;
    QTest::newRow("length of a frame without a payload")
        << Bytes::fromHex("020008FFEE213803") + Find
        << QStringList{rejected(Fault::LengthOutOfRange, 8), frame(Find)} << 0;
    QTest::newRow("length too short")
        << "\x02\x00\x03"_ba + Find
        << QStringList{rejected(Fault::LengthOutOfRange, 3), frame(Find)} << 0;
    QTest::newRow("truncated frame, then a whole one")
        << Find.left(5) + Power << QStringList{rejected(Fault::BadEnd), frame(Power)} << 0;
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
    QStringList got;
    qsizetype accounted = cutter.pending();
    for (const auto& piece : cutPieces) {
        got.append(described(piece));
        accounted += piece.size;
    }
    QCOMPARE(got, pieces);
    QCOMPARE(int(cutter.pending()), pending);
    QCOMPARE(accounted, stream.size()); // every byte is in one piece or still waiting
}

void TestFrameCutter::splitAtEveryByte() {
    const Bytes stream = "??"_ba + Find + Power;
    for (int split = 0; split <= stream.size(); ++split) {
        FrameCutter cutter;
        QStringList pieces = cut(cutter, stream.left(split));
        pieces += cut(cutter, stream.mid(split));
        pieces.removeAll(rejected(Fault::Garbage));
        QCOMPARE(pieces, (QStringList{frame(Find), frame(Power)}));
        QCOMPARE(cutter.pending(), 0);
    }
}

void TestFrameCutter::truncatedFrameFlushedWhenQuiet() {
    FrameCutter cutter;
    QVERIFY(cut(cutter, Find.left(6)).isEmpty());
    const auto flushed = cutter.flush();
    QCOMPARE(flushed.size(), 1);
    QCOMPARE(flushed[0].fault, Fault::Truncated);
    QCOMPARE(cut(cutter, Find), QStringList{frame(Find)});
}

// Every fault has its own words, and the length shows where it is the fault.
void TestFrameCutter::faultsInWords() {
    QSet<QString> words;
    for (const Fault fault : {Fault::Garbage, Fault::LengthOutOfRange, Fault::BadEnd,
                              Fault::BadCheck, Fault::Truncated})
        words.insert(zarnet::describe(FrameCutter::Piece{false, {}, fault, 4321, 1}));
    QCOMPARE(words.size(), 5);
    QVERIFY(!words.contains(QString()));
    QVERIFY(zarnet::describe({false, {}, Fault::LengthOutOfRange, 4321, 1}).contains(u"4321"_s));
}

QTEST_GUILESS_MAIN(TestFrameCutter)
#include "tst_framecutter.moc"
