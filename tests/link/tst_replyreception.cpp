#include <core/faultwords.h>
#include <link/replyreception.h>
#include <link/seriallink.h>

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>
#include <utility>

using namespace zarnet;
using namespace Qt::StringLiterals;

namespace {

// A link whose line is the test itself: bytes and events come when the test says.
class ScriptedLink : public SerialLink {
public:
    OpenResult open(const QString&) override { return OpenResult::Opened; }
    void close() override {}
    bool isOpen() const override { return true; }
    QString portName() const override { return {}; }
    bool write(const QByteArray&) override { return true; }

    void arrive(const QByteArray& bytes) { received(bytes); }
    void lineError() { raiseEvent(CommEvent::LineError); }

    // Bytes the port holds and has not announced yet.
    QByteArray unannounced;

protected:
    QByteArray takeArrived() override { return std::exchange(unannounced, {}); }
    qsizetype arrivedCount() const override { return unannounced.size(); }
};

const QByteArray Found5 = QByteArray::fromHex("020009EE002105C303");

} // namespace

class TestReplyReception : public QObject {
    Q_OBJECT
private slots:
    void lineErrorEmptiesTheBuffer();
    void bufferEmptiedOnlyAfterTheReport();
    void shortBlocksAreDropped();
    void valuesReported();
    void bufferKeepsTheNewestBytes();
    void heldEventComesAfterRelease();
    void unannouncedBytesCountAndGoWithTheInput();
    void emptyReadRaisesNothing();
    void droppedReplyIsLoggedWithItsReason_data();
    void droppedReplyIsLoggedWithItsReason();
};

void TestReplyReception::lineErrorEmptiesTheBuffer() {
    ScriptedLink link;
    ReplyReception reception(link);
    QSignalSpy found(&reception, &ReplyReception::deviceFound);
    QSignalSpy rejected(&reception, &ReplyReception::rejected);
    link.arrive(Found5); // threshold 0: no data event
    QCOMPARE(link.inBufferCount(), 9);
    link.lineError();
    QCOMPARE(link.inBufferCount(), 0);
    QCOMPARE(found.count(), 0);
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(rejected.at(0).at(0).value<Reply::Rejection>(), Reply::Rejection::LineError);
}

void TestReplyReception::bufferEmptiedOnlyAfterTheReport() {
    ScriptedLink link;
    ReplyReception reception(link);
    link.setReceiveThreshold(9);
    int waitingDuringReport = -1;
    QObject::connect(&reception, &ReplyReception::deviceFound, [&](int device) {
        QCOMPARE(device, 5);
        link.arrive("late"_ba); // as if it came while the message box was open
        waitingDuringReport = link.inBufferCount();
    });
    link.arrive(Found5);
    QCOMPARE(waitingDuringReport, 4);
    QCOMPARE(link.inBufferCount(), 0);
    QCOMPARE(link.receiveThreshold(), 9);
}

void TestReplyReception::shortBlocksAreDropped() {
    ScriptedLink link;
    ReplyReception reception(link);
    QSignalSpy found(&reception, &ReplyReception::deviceFound);
    link.setReceiveThreshold(1);
    link.arrive(Found5.left(8));
    QCOMPARE(link.inBufferCount(), 0);
    link.arrive(Found5.mid(8));
    QCOMPARE(found.count(), 0);
}

void TestReplyReception::valuesReported() {
    ScriptedLink link;
    ReplyReception reception(link);
    QSignalSpy values(&reception, &ReplyReception::unitValues);
    link.setReceiveThreshold(18);
    link.arrive(QByteArray::fromHex("020012EE0030000200009C40000000051703"));
    QCOMPARE(values.count(), 1);
    QCOMPARE(values.at(0).at(0).value<QList<uint32_t>>(), (QList<uint32_t>{40000, 5}));
}

void TestReplyReception::bufferKeepsTheNewestBytes() {
    ScriptedLink link;
    for (int i = 0; i < 100; ++i)
        link.arrive(QByteArray(1000, char('a' + i % 26)));
    link.arrive(Found5);
    QCOMPARE(link.inBufferCount(), SerialLink::MaxKept);
    QVERIFY(link.input().endsWith(Found5));
}

void TestReplyReception::heldEventComesAfterRelease() {
    ScriptedLink link;
    ReplyReception reception(link);
    QSignalSpy found(&reception, &ReplyReception::deviceFound);
    link.setReceiveThreshold(9);
    {
        EventHold hold(link);
        link.arrive(Found5);
        QCoreApplication::processEvents();
        QCOMPARE(found.count(), 0);
    }
    QCOMPARE(found.count(), 0); // not inside whatever released it
    QTRY_COMPARE(found.count(), 1);
    QCOMPARE(found.at(0).at(0).toInt(), 5);
}

void TestReplyReception::unannouncedBytesCountAndGoWithTheInput() {
    ScriptedLink link;
    link.arrive("ab"_ba);
    link.unannounced = "xyz"_ba;
    QCOMPARE(link.inBufferCount(), 5);
    QCOMPARE(link.inBufferCount(), 5); // asking takes nothing from the port
    QCOMPARE(link.unannounced, "xyz"_ba);
    link.clearInput();
    QCOMPARE(link.inBufferCount(), 0);
    QVERIFY(link.unannounced.isEmpty());
}

void TestReplyReception::emptyReadRaisesNothing() {
    ScriptedLink link;
    QSignalSpy events(&link, &SerialLink::commEvent);
    link.setReceiveThreshold(9);
    {
        EventHold hold(link); // nine bytes wait, held
        link.arrive(Found5);
    }
    QTRY_COMPARE(events.count(), 1);
    link.arrive(QByteArray()); // a read that brought nothing
    QCOMPARE(events.count(), 1);
}

namespace {

QStringList logged;

void keep(QtMsgType, const QMessageLogContext& context, const QString& message) {
    logged.append(QString::fromLatin1(context.category) + u": "_s + message);
}

} // namespace

void TestReplyReception::droppedReplyIsLoggedWithItsReason_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<Reply::Rejection>("why");
    QByteArray badCheck = Found5;
    badCheck[7] = 0;
    QTest::newRow("check byte") << badCheck << Reply::Rejection::CheckByte;
    QTest::newRow("left over") << Found5 + "x"_ba << Reply::Rejection::Length;
    QTest::newRow("start byte") << "x"_ba + Found5.mid(1) << Reply::Rejection::WrongStart;
    QTest::newRow("unknown code") << QByteArray::fromHex("020009EE0022050003")
                                  << Reply::Rejection::UnknownCode;
}

void TestReplyReception::droppedReplyIsLoggedWithItsReason() {
    QFETCH(QByteArray, block);
    QFETCH(Reply::Rejection, why);
    if (why == Reply::Rejection::UnknownCode) // give the frame its right check byte
        block[7] = char(block[1] ^ block[2] ^ block[3] ^ block[4] ^ block[5] ^ block[6]);
    ScriptedLink link;
    ReplyReception reception(link);
    QSignalSpy rejected(&reception, &ReplyReception::rejected);
    link.setReceiveThreshold(int(block.size()));
    QLoggingCategory::setFilterRules(u"zarnet.*=true"_s);
    logged.clear();
    const QtMessageHandler before = qInstallMessageHandler(keep);
    link.arrive(block);
    qInstallMessageHandler(before);
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(rejected.at(0).at(0).value<Reply::Rejection>(), why);
    QVERIFY2(!logged.filter(u"zarnet.reply: dropped"_s).filter(zarnet::describe(why)).isEmpty(),
             qPrintable(logged.join(u'\n')));
}

QTEST_GUILESS_MAIN(TestReplyReception)
#include "tst_replyreception.moc"
