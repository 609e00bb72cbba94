#include <link/replyreception.h>
#include <link/seriallink.h>

#include <QSignalSpy>
#include <QTest>

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
    void lineError() { raiseEvent(LineErrorEvent); }
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
};

void TestReplyReception::lineErrorEmptiesTheBuffer() {
    ScriptedLink link;
    ReplyReception reception(link);
    QSignalSpy found(&reception, &ReplyReception::deviceFound);
    link.arrive(Found5); // threshold 0: no data event
    QCOMPARE(link.inBufferCount(), 9);
    link.lineError();
    QCOMPARE(link.inBufferCount(), 0);
    QCOMPARE(found.count(), 0);
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

QTEST_GUILESS_MAIN(TestReplyReception)
#include "tst_replyreception.moc"
