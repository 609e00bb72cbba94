#include <support/golden.h>
#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <core/imageframe.h>
#include <ui/messages.h>
#include <ui/modetexts.h>

#include <shell/qtcanvasdialogs.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;
using namespace zarnet::test::reach;

class TestDotPanel : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void modeTable();
    void startUpValues();
    void modesOverwriteStartAndEnd_data();
    void modesOverwriteStartAndEnd();
    void startAndEndTakeFourCharacters();
    void leavingRules_data();
    void leavingRules();
    void leavingByClickSendsNothing_data();
    void leavingByClickSendsNothing();
    void leavingByKeyboardKeepsTheNextClick();
    void fontDialogOpensOnTheDrawnFace();
    void realFontDialogKeepsThePresetFace();
    void switchingWindowsRunsNoLeavingRule();
    void fontChoiceRedraws();
    void cancelledFontKeepsFonts();
    void pictureDialog();
    void blackCanvasAtStartUp();
    void textThenSend();
    void scheduleGoesIntoTheFrame();
    void refusalsSendNothing_data();
    void refusalsSendNothing();

private:
    int litDots();

    std::unique_ptr<VirtualController> controller;
    std::unique_ptr<FormFixture> fixture;
};

void TestDotPanel::init() {
    controller = std::make_unique<VirtualController>();
    fixture = std::make_unique<FormFixture>();
    fixture->start(controller->path());
}

void TestDotPanel::cleanup() {
    fixture.reset();
    controller.reset();
}

int TestDotPanel::litDots() {
    int lit = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x)
            lit += fixture->form->canvas().pixel(x, y) > 128;
    return lit;
}

void TestDotPanel::modeTable() {
    const ModeTexts always = modeTexts(ScheduleMode::Always);
    QCOMPARE(always.explanation, u"永久显示，不受时间段控制"_s);
    QVERIFY(always.example.isEmpty() && always.meaning.isEmpty());
    QCOMPARE(always.start + always.end, u"00"_s);
    const ModeTexts daily = modeTexts(ScheduleMode::DailyPeriod);
    QCOMPARE(daily.explanation, u"在每天指定的时间段内显示"_s);
    QCOMPARE(daily.example, u"示例：0845 -- 2130 表示："_s);
    QCOMPARE(daily.meaning, u"每天8:45到21:30之间显示"_s);
    QCOMPARE(daily.start + u"-"_s + daily.end, u"0845-2130"_s);
    const ModeTexts weekdays = modeTexts(ScheduleMode::WeekdayRange);
    QCOMPARE(weekdays.explanation, u"在每星期指定的日期内显示"_s);
    QCOMPARE(weekdays.example, u"示例：0 -- 2 表示：每周的"_s);
    QCOMPARE(weekdays.meaning, u"星期日、一、二这三天显示"_s);
    QCOMPARE(weekdays.start + u"-"_s + weekdays.end, u"0-2"_s);
    const ModeTexts dates = modeTexts(ScheduleMode::MonthDates);
    QCOMPARE(dates.explanation, u"在每月指定的日期内显示"_s);
    QCOMPARE(dates.example, u"示例：5 -- 15 表示：每月"_s);
    QCOMPARE(dates.meaning, u"5号到15号这11天之间显示"_s);
    QCOMPARE(dates.start + u"-"_s + dates.end, u"5-15"_s);
}

void TestDotPanel::startUpValues() {
    QVERIFY(fixture->c().dots.timeOptions[0]->isChecked());
    QCOMPARE(fixture->c().dots.timeInfo[0]->text(), u"永久显示，不受时间段控制"_s);
    QVERIFY(fixture->c().dots.timeInfo[1]->text().isEmpty());
    QVERIFY(fixture->c().dots.timeInfo[2]->text().isEmpty());
    QCOMPARE(QStringList({fixture->c().dots.xStart->text(), fixture->c().dots.yStart->text(),
                          fixture->c().dots.width->text(), fixture->c().dots.height->text(),
                          fixture->c().dots.scheduleStart->text(),
                          fixture->c().dots.scheduleEnd->text()}),
             QStringList({u"192"_s, u"0"_s, u"64"_s, u"16"_s, u"0"_s, u"0"_s}));
    QCOMPARE(fixture->c().dots.dotText->text(), u"生产一线"_s);
    QCOMPARE(litDots(), 0);
}

void TestDotPanel::modesOverwriteStartAndEnd_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::newRow("daily") << 1 << u"0845"_s << u"2130"_s;
    QTest::newRow("weekdays") << 2 << u"0"_s << u"2"_s;
    QTest::newRow("dates") << 3 << u"5"_s << u"15"_s;
}

void TestDotPanel::modesOverwriteStartAndEnd() {
    QFETCH(int, mode);
    QFETCH(QString, start);
    QFETCH(QString, end);
    fixture->enter(fixture->c().dots.scheduleStart, u"0700"_s);
    fixture->enter(fixture->c().dots.scheduleEnd, u"1900"_s);
    fixture->c().dots.timeOptions[mode]->click();
    QCOMPARE(fixture->c().dots.scheduleStart->text(), start);
    QCOMPARE(fixture->c().dots.scheduleEnd->text(), end);
    QVERIFY(!fixture->c().dots.timeInfo[1]->text().isEmpty());
    fixture->c().dots.timeOptions[0]->click();
    QCOMPARE(fixture->c().dots.scheduleStart->text() + fixture->c().dots.scheduleEnd->text(),
             u"00"_s);
    QVERIFY(fixture->c().dots.timeInfo[1]->text().isEmpty());
    QVERIFY(fixture->c().dots.scheduleStart->isEnabled());
}

void TestDotPanel::startAndEndTakeFourCharacters() {
    fixture->enter(fixture->c().dots.scheduleStart, u"08451"_s);
    QCOMPARE(fixture->c().dots.scheduleStart->text(), u"0845"_s);
}

void TestDotPanel::leavingRules_data() {
    QTest::addColumn<EditOf>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message"); // empty: none
    QTest::newRow("width 70") << width << u"70"_s << u"64"_s << QString();
    QTest::newRow("width 7") << width << u"7"_s << u"0"_s << QString();
    QTest::newRow("width -13") << width << u"-13"_s << u"-8"_s << QString();
    QTest::newRow("width with a blank") << width << u" 64"_s << u"64"_s << QString();
    QTest::newRow("width letters") << width << u"abc"_s << u"64"_s << text::width();
    QTest::newRow("width empty") << width << QString() << u"64"_s << text::width();
    QTest::newRow("width beyond 16 bits") << width << u"40000"_s << u"64"_s << text::width();
    QTest::newRow("X 193") << xStart << u"193"_s << u"192"_s << QString();
    QTest::newRow("X -3") << xStart << u"-3"_s << u"-2"_s << QString();
    QTest::newRow("X letters") << xStart << u"x1"_s << u"192"_s << text::xStart();
    QTest::newRow("Y keeps 193") << yStart << u"193"_s << u"193"_s << QString();
    QTest::newRow("height keeps 7") << height << u"7"_s << u"7"_s << QString();
}

void TestDotPanel::leavingRules() {
    QFETCH(EditOf, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    QLineEdit* edit = field(fixture->c());
    fixture->enter(edit, typed);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(fixture->messages.errors, message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty()) // back on the field at fault
        QTRY_VERIFY(edit->hasFocus());
}

void TestDotPanel::leavingByClickSendsNothing_data() {
    QTest::addColumn<EditOf>("field");
    QTest::addColumn<QString>("message");
    QTest::newRow("width") << width << text::width();
    QTest::newRow("X start") << xStart << text::xStart();
}

void TestDotPanel::leavingByClickSendsNothing() {
    QFETCH(EditOf, field);
    QFETCH(QString, message);
    QLineEdit* edit = field(fixture->c());
    const QString before = edit->text();
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    QTest::keyClicks(edit, u"abc"_s);
    // The operator clicks "发送点阵" straight away: the click takes the focus,
    // the rule puts the text back and says why, and the image is not sent.
    QTest::mouseClick(fixture->c().dots.sendImage, Qt::LeftButton);
    QCOMPARE(fixture->messages.errors, QStringList{message});
    QCOMPARE(edit->text(), before);
    QTest::qWait(100);
    QVERIFY(controller->received().isEmpty());
    QTRY_VERIFY(edit->hasFocus());

    // The next click is the operator's own again.
    QTest::mouseClick(fixture->c().dots.sendImage, Qt::LeftButton);
    QTRY_COMPARE(controller->frames().size(), 1);
}

void TestDotPanel::leavingByKeyboardKeepsTheNextClick() {
    auto* width = fixture->c().dots.width;
    width->setFocus(Qt::MouseFocusReason);
    width->selectAll();
    QTest::keyClicks(width, u"abc"_s);
    QTest::keyClick(width, Qt::Key_Tab); // left by keyboard: no click to drop
    QCOMPARE(fixture->messages.errors, QStringList{text::width()});
    QTRY_VERIFY(width->hasFocus());
    QTest::mouseClick(fixture->c().dots.sendImage, Qt::LeftButton);
    QTRY_COMPARE(controller->frames().size(), 1);
}

void TestDotPanel::fontChoiceRedraws() {
    fixture->dialogs.font = FontChoice{true, 16, u"AR PL UMing CN"_s, true};
    fixture->click(fixture->c().dots.chooseFont);
    QCOMPARE(fixture->dialogs.lastPreset.pointSize, 12.0);
    QCOMPARE(fixture->dialogs.lastPreset.bold, false);
    const QFont canvasFont = fixture->form->canvas().font();
    const QFont fieldFont = fixture->c().dots.dotText->font();
    for (const QFont& font : {canvasFont, fieldFont}) {
        QCOMPARE(font.pointSizeF(), 16.0);
        QVERIFY(font.bold() && font.italic());
        QCOMPARE(font.family(), u"AR PL UMing CN"_s);
    }
    QVERIFY(litDots() > 0); // drawn without pressing "文字"
}

void TestDotPanel::fontDialogOpensOnTheDrawnFace() {
    fixture->click(fixture->c().dots.drawText);
    const QImage drawn = fixture->form->canvas().image();
    const QString face = QFontInfo(fixture->form->canvas().font()).family();
    QVERIFY(face != u"宋体"_s);

    fixture->dialogs.font.reset(); // OK without a change gives the preset back
    fixture->click(fixture->c().dots.chooseFont);
    QCOMPARE(fixture->dialogs.lastPreset.family, face);
    QCOMPARE(fixture->form->canvas().image(), drawn);

    FontChoice larger = fixture->dialogs.lastPreset;
    larger.pointSize = 15;
    fixture->dialogs.font = larger;
    fixture->click(fixture->c().dots.chooseFont);
    QCOMPARE(QFontInfo(fixture->form->canvas().font()).family(), face);
    QCOMPARE(fixture->form->canvas().font().pointSizeF(), 15.0);
}

void TestDotPanel::realFontDialogKeepsThePresetFace() {
    const QString face = QFontInfo(fixture->form->canvas().font()).family();
    QtCanvasDialogs dialogs;
    QTimer accept; // until the dialog is up
    connect(&accept, &QTimer::timeout, [&accept] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->accept();
            accept.stop();
        }
    });
    accept.start(50);
    const FontChoice chosen = dialogs.chooseFont({false, 12, face, false});
    QCOMPARE(chosen.family, face);
    QCOMPARE(chosen.pointSize, 12.0);
}

void TestDotPanel::cancelledFontKeepsFonts() {
    const QFont fieldFont = fixture->c().dots.dotText->font();
    fixture->dialogs.font.reset();
    fixture->click(fixture->c().dots.chooseFont);
    QCOMPARE(fixture->form->canvas().font().pointSizeF(), 12.0);
    QCOMPARE(fixture->c().dots.dotText->font().pointSizeF(), 12.0);
    QVERIFY(fieldFont.pointSizeF() > 21);
    QVERIFY(litDots() > 0);
}

void TestDotPanel::pictureDialog() {
    QTemporaryDir dir;
    fixture->click(fixture->c().dots.drawText);
    const QImage drawn = fixture->form->canvas().image();

    fixture->dialogs.file.clear(); // cancelled
    fixture->click(fixture->c().dots.loadPicture);
    QCOMPARE(fixture->dialogs.lastInitialDir, QDir::current().filePath(u"bmp"_s));
    QCOMPARE(fixture->dialogs.lastFilter, u"位图文件(*.bmp)"_s);
    QCOMPARE(fixture->form->canvas().image(), drawn);

    fixture->dialogs.file = dir.filePath(u"none.bmp"_s);
    fixture->click(fixture->c().dots.loadPicture);
    QCOMPARE(fixture->form->canvas().image(), drawn);
    QVERIFY(fixture->messages.errors.isEmpty());

    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    picture.save(dir.filePath(u"blue.bmp"_s), "BMP");
    fixture->dialogs.file = dir.filePath(u"blue.bmp"_s);
    fixture->click(fixture->c().dots.loadPicture);
    QCOMPARE(litDots(), 64); // the picture replaces the drawn text

    fixture->dialogs.file.clear();
    fixture->click(fixture->c().dots.loadPicture); // the dialog opens on the last file
    QCOMPARE(fixture->dialogs.lastFileOffered, dir.filePath(u"blue.bmp"_s));
}

void TestDotPanel::switchingWindowsRunsNoLeavingRule() {
    auto* width = fixture->c().dots.width;
    width->setFocus(Qt::MouseFocusReason);
    width->selectAll();
    QTest::keyClicks(width, u"abc"_s);
    QWidget other; // the operator looks at another program for a moment
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    fixture->form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fixture->form.get()));
    QCOMPARE(width->text(), u"abc"_s);
    QVERIFY(fixture->messages.errors.isEmpty());
}

void TestDotPanel::blackCanvasAtStartUp() {
    fixture->click(fixture->c().dots.sendImage);
    QTRY_COMPARE(controller->frames().size(), 1);
    QCOMPARE(controller->frames()[0].toHex(' '), golden::BlackStartUpImage.toHex(' '));
}

void TestDotPanel::textThenSend() {
    fixture->click(fixture->c().dots.drawText);
    fixture->click(fixture->c().dots.sendImage);
    QTRY_COMPARE(controller->frames().size(), 1);
    const QByteArray frame = controller->frames()[0];
    const DotCanvas& canvas = fixture->form->canvas();
    QCOMPARE(
        frame.toHex(' '),
        dotImageFrame(255, {0, 0, 0, 0}, {192, 0, 8, 16}, getDotData(canvas, 8, 16)).toHex(' '));
    QCOMPARE(frame.size(), 144);
    QVERIFY(frame.mid(14, 128).count('\0') < 128);
    QCOMPARE(fixture->serial.receiveThreshold(), 0);
}

void TestDotPanel::scheduleGoesIntoTheFrame() {
    fixture->c().dots.timeOptions[1]->click();
    fixture->click(fixture->c().dots.sendImage);
    fixture->c().dots.timeOptions[3]->click();
    fixture->click(fixture->c().dots.sendImage);
    QTRY_COMPARE(controller->frames().size(), 2);
    QCOMPARE(controller->frames()[0].mid(6, 4).toHex(), "120d050a"_ba);
    QCOMPARE(controller->frames()[1].mid(6, 4).toHex(), "3005000f"_ba);
}

void TestDotPanel::refusalsSendNothing_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<EditOf>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("X 256") << 0 << xStart << u"256"_s << text::xStart();
    QTest::newRow("Y letters") << 0 << yStart << u"y"_s << text::yStart();
    QTest::newRow("Y empty") << 0 << yStart << QString() << text::yStart();
    QTest::newRow("height 300") << 0 << height << u"300"_s << text::height();
    QTest::newRow("image 256 x 65") << 0 << height << u"65"_s << text::imageTooLarge();
    QTest::newRow("daily start 845") << 1 << scheduleStart << u"845"_s << text::dailyStart();
    QTest::newRow("daily end 99h9") << 1 << scheduleEnd << u"99h9"_s << text::dailyEnd();
    QTest::newRow("weekday end 300") << 2 << scheduleEnd << u"300"_s << text::rangeEnd();
    QTest::newRow("date start -1") << 3 << scheduleStart << u"-1"_s << text::rangeStart();
}

void TestDotPanel::refusalsSendNothing() {
    QFETCH(int, mode);
    QFETCH(EditOf, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    fixture->c().dots.timeOptions[mode]->click();
    if (typed == u"65")
        fixture->enter(fixture->c().dots.width, u"256"_s);
    fixture->enter(field(fixture->c()), typed);
    fixture->click(fixture->c().dots.sendImage);
    QCOMPARE(fixture->messages.errors, QStringList{message});
    QWidget* expectedFocus = typed == u"65" ? fixture->c().dots.width : field(fixture->c());
    QCOMPARE(QApplication::focusWidget(), expectedFocus);
    QTest::qWait(100);
    QVERIFY(controller->received().isEmpty());
}

QTEST_MAIN(TestDotPanel)
#include "tst_dotpanel.moc"
