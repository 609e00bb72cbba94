#include <support/testplatform.h>

#include <board/boardline.h>
#include <board/panelrecorder.h>
#include <core/board.h>

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;

// The window and the virtual controller on the two ends of one pseudo-terminal.
class TestBoardEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void connectionTest();
    void powerAndClock();
    void unitsWrittenAndReadBack();
    void imageLightsThePanel();

private:
    const QDateTime boardNow = QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0));
    std::unique_ptr<Board> board;
    std::unique_ptr<BoardLine> line;
    std::unique_ptr<FormFixture> fixture;
    QStringList log;
};

void TestBoardEndToEnd::init() {
    board = std::make_unique<Board>();
    line = std::make_unique<BoardLine>(*board);
    line->clock = [this] { return boardNow; };
    connect(line.get(), &BoardLine::logged, this,
            [this](const QString& text) { log.append(text); });
    const QString path = line->openPseudoTerminal();
    QVERIFY(!path.isEmpty());
    fixture = std::make_unique<FormFixture>();
    fixture->start(path);
    QVERIFY(fixture->serial.isOpen());
}

void TestBoardEndToEnd::cleanup() {
    fixture.reset();
    line.reset();
    board.reset();
    log.clear();
}

void TestBoardEndToEnd::connectionTest() {
    fixture->click(fixture->c().control.find);
    QTRY_COMPARE(fixture->messages.informations, QStringList{u"找到  255 号设备~！"_s});
    QVERIFY(log.last().contains(u"0x21 reply: device 255"_s));
}

void TestBoardEndToEnd::powerAndClock() {
    fixture->click(fixture->c().control.powerOff);
    QTRY_VERIFY(!board->powered());
    fixture->click(fixture->c().control.powerOn);
    QTRY_VERIFY(board->powered());
    fixture->now = QDateTime(QDate(2027, 3, 1), QTime(9, 5, 7));
    fixture->click(fixture->c().control.setTime);
    QTRY_COMPARE(board->clock(boardNow), fixture->now);
}

void TestBoardEndToEnd::unitsWrittenAndReadBack() {
    fixture->enter(fixture->c().download.unitCount, u"2"_s);
    fixture->enter(fixture->c().download.values[0], u"4321"_s);
    fixture->enter(fixture->c().download.values[1], u"99999999"_s);
    fixture->click(fixture->c().download.showNow);
    QTRY_COMPARE(board->units().size(), 2);
    fixture->enter(fixture->c().readBack.unitCount, u"2"_s);
    fixture->click(fixture->c().readBack.getData);
    QTRY_COMPARE(fixture->c().readBack.readBackValues[1]->text(), u"99999999"_s);
    QCOMPARE(fixture->c().readBack.readBackValues[0]->text(), u"4321"_s);
}

void TestBoardEndToEnd::imageLightsThePanel() {
    QTemporaryDir dir;
    const QString png = dir.filePath(u"panel.png"_s);
    PanelRecorder recorder(png);
    connect(line.get(), &BoardLine::changed, this, [&] { recorder.record(*board, boardNow); });

    fixture->click(fixture->c().dots.drawText);
    fixture->click(fixture->c().dots.sendImage);
    QTRY_VERIFY(QFile::exists(png));
    const QImage panel(png);
    QCOMPARE(panel.size(), QSize(256, 64));
    const DotCanvas& canvas = fixture->form->canvas();
    int lit = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x) {
            const bool shown = panel.pixel(x, y) == qRgb(255, 0, 0);
            const bool drawn = x >= 192 && y < 16 && canvas.pixel(x - 192, y) > 128;
            QVERIFY2(shown == drawn, qPrintable(u"%1,%2"_s.arg(x).arg(y)));
            lit += shown;
        }
    QVERIFY(lit > 50);
}

QTEST_MAIN(TestBoardEndToEnd)
#include "tst_boardend2end.moc"
