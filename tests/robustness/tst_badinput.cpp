#include <support/golden.h>
#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <ui/messages.h>
#include <ui/statuslamp.h>

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;
using namespace zarnet::test::reach;

// Every field a request reads, with texts it must refuse: each refusal shows a
// message, sends nothing, and leaves the window working.
class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void refused_data();
    void refused();
    void badPortTexts_data();
    void badPortTexts();
};

namespace {

const QString LongText = QString(100000, u'9');

struct Target {
    const char* name;
    EditOf field;
    ButtonOf button;
    int mode;
};

} // namespace

void TestBadInput::refused_data() {
    QTest::addColumn<EditOf>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<ButtonOf>("button");
    QTest::addColumn<int>("mode");
    auto rows = [](const Target& target, const QStringList& texts) {
        for (const QString& text : texts)
            QTest::addRow("%s %s", target.name,
                          qPrintable(text.size() > 12 ? u"(%1 characters)"_s.arg(text.size())
                                                      : u"\"%1\""_s.arg(text)))
                << target.field << text << target.button << target.mode;
    };
    // Two-character fields: what fits in two characters and is still no number 0..255.
    const QStringList twoChars = {u""_s, u"ab"_s, u"-1"_s, u"-"_s, u"."_s, u"1a"_s, u" "_s};
    rows({"download start", downloadStart, showNow, 0}, twoChars);
    rows({"download count", downloadCount, showFixed, 0}, twoChars + QStringList{u"10"_s, u"99"_s});
    rows({"read start", readStart, getData, 0}, twoChars);
    rows({"read count", readCount, getData, 0}, twoChars);
    // Values: the leading number, negative or beyond 2147483647.
    rows({"value 1", firstValue, showNow, 0},
         {u"-1"_s, u"-0.6"_s, u"3e9"_s, u"2.2e9"_s, u"1e10"_s, u"9e99"_s, u"-5"_s});
    // The window fields as they stand at the press.
    const QStringList window = {u""_s,      u"abc"_s,    u"-1"_s,  u"256"_s,  u"255.5"_s,
                                u"32768"_s, u"-32769"_s, u"1e5"_s, u"１２"_s, LongText};
    rows({"X", xStart, sendImage, 0}, window);
    rows({"Y", yStart, sendImage, 0}, window + QStringList{u"-0.6"_s});
    rows({"W", width, sendImage, 0},
         {u""_s, u"abc"_s, u"-8"_s, u"2048"_s, u"32768"_s, u"70000"_s, u"1e5"_s, LongText});
    rows({"H", height, sendImage, 0}, window);
    // Schedules: four characters at most.
    const QStringList daily = {u""_s,     u"845"_s,  u"ab12"_s, u"-845"_s,
                               u"9999"_s, u"12:3"_s, u"6816"_s};
    rows({"daily start", scheduleStart, sendImage, 1}, daily);
    rows({"daily end", scheduleEnd, sendImage, 1}, daily);
    const QStringList range = {u""_s, u"x"_s, u"-1"_s, u"256"_s, u"1e3"_s, u"2550"_s};
    rows({"weekday start", scheduleStart, sendImage, 2}, range);
    rows({"date end", scheduleEnd, sendImage, 3}, range);
}

void TestBadInput::refused() {
    QFETCH(EditOf, field);
    QFETCH(QString, text);
    QFETCH(ButtonOf, button);
    QFETCH(int, mode);
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    f.c().dots.timeOptions[mode]->click();
    // Pasted: as much as the field takes, without the leaving rules.
    field(f.c())->setText(text);
    f.click(button(f.c()));
    QCOMPARE(f.messages.errors.size(), 1);
    QVERIFY(!f.messages.errors[0].isEmpty());
    QTest::qWait(30);
    QVERIFY(controller.received().isEmpty());

    f.click(f.c().control.powerOn);
    QTRY_COMPARE(controller.frames(), QList<QByteArray>{golden::PowerOn255});
}

void TestBadInput::badPortTexts_data() {
    QTest::addColumn<QString>("text");
    for (const QString& text :
         {u""_s, u"abc"_s, u"0"_s, u"-1"_s, u"17"_s, u"99999"_s, u"/dev/zarnet-none"_s, LongText})
        QTest::addRow("%s", qPrintable(text.left(20))) << text;
}

void TestBadInput::badPortTexts() {
    QFETCH(QString, text);
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    f.c().control.portBox->setEditText(text);
    f.click(f.c().control.openPort);
    QCOMPARE(f.messages.errors, QStringList{text::portOpenError()});
    QVERIFY(!f.serial.isOpen());
    QCOMPARE(f.c().control.portLamp->fillColor(), QColor(0, 0, 0));
    f.c().control.portBox->setEditText(u"1"_s);
    f.click(f.c().control.openPort);
    QVERIFY(f.serial.isOpen());
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
