#include <core/fieldnumber.h>

#include <QTest>

using namespace Qt::StringLiterals;

class TestFieldNumber : public QObject {
    Q_OBJECT
private slots:
    void wholeNumber_data();
    void wholeNumber();
    void leadingNumber_data();
    void leadingNumber();
    void unitValueRange_data();
    void unitValueRange();
    void ignoresTheCLocale();
};

// A text that must be refused.
constexpr int No = INT_MIN;

void TestFieldNumber::wholeNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("int16");
    QTest::addColumn<int>("byte");
    QTest::newRow("plain") << u"7"_s << 7 << 7;
    QTest::newRow("blanks around") << u"  64 "_s << 64 << 64;
    QTest::newRow("tab around") << u"\t5"_s << 5 << 5;
    QTest::newRow("plus sign") << u"+12"_s << 12 << 12;
    QTest::newRow("half to even down") << u"12.5"_s << 12 << 12;
    QTest::newRow("half to even up") << u"13.5"_s << 14 << 14;
    QTest::newRow("fraction") << u"2.6"_s << 3 << 3;
    QTest::newRow("leading point") << u".5"_s << 0 << 0;
    QTest::newRow("exponent") << u"1e2"_s << 100 << 100;
    QTest::newRow("negative") << u"-3"_s << -3 << No;
    QTest::newRow("negative half rounds to zero") << u"-0.5"_s << 0 << 0;
    QTest::newRow("byte top") << u"255"_s << 255 << 255;
    QTest::newRow("byte top half") << u"255.5"_s << 256 << No;
    QTest::newRow("just past byte") << u"256"_s << 256 << No;
    QTest::newRow("int16 top") << u"32767"_s << 32767 << No;
    QTest::newRow("int16 overflow") << u"32768"_s << No << No;
    QTest::newRow("int16 bottom") << u"-32768"_s << -32768 << No;
    QTest::newRow("int16 underflow") << u"-32769"_s << No << No;
    QTest::newRow("empty") << QString() << No << No;
    QTest::newRow("blank") << u"   "_s << No << No;
    QTest::newRow("letters") << u"abc"_s << No << No;
    QTest::newRow("trailing letters") << u"12abc"_s << No << No;
    QTest::newRow("inner blank") << u"1 2"_s << No << No;
    QTest::newRow("sign alone") << u"-"_s << No << No;
    QTest::newRow("point alone") << u"."_s << No << No;
    QTest::newRow("dangling exponent") << u"1e"_s << No << No;
    QTest::newRow("huge exponent") << u"1e400"_s << No << No;
    QTest::newRow("very long digits") << QString(5000, u'9') << No << No;
    QTest::newRow("full-width digits") << u"１２"_s << No << No;
}

void TestFieldNumber::wholeNumber() {
    QFETCH(QString, text);
    QFETCH(int, int16);
    QFETCH(int, byte);
    const auto asInt16 = fields::readInt16(text);
    QCOMPARE(asInt16.has_value(), int16 != No);
    if (asInt16)
        QCOMPARE(int(*asInt16), int16);
    const auto asByte = fields::readByte(text);
    QCOMPARE(asByte.has_value(), byte != No);
    if (asByte)
        QCOMPARE(int(*asByte), byte);
}

void TestFieldNumber::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("eight digits") << u"99999999"_s << 99999999.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("letters") << u"abc"_s << 0.0;
    QTest::newRow("number then letters") << u"12abc"_s << 12.0;
    QTest::newRow("fraction") << u"2.5"_s << 2.5;
    QTest::newRow("blanks anywhere") << u" 1 2 "_s << 12.0;
    QTest::newRow("exponent") << u"1e3"_s << 1000.0;
    QTest::newRow("exponent with blank") << u"1 e 3"_s << 1000.0;
    QTest::newRow("dangling exponent") << u"7e"_s << 7.0;
    QTest::newRow("exponent sign only") << u"7e-"_s << 7.0;
    QTest::newRow("negative") << u"-1"_s << -1.0;
    QTest::newRow("beyond int32") << u"3e9"_s << 3e9;
    QTest::newRow("second point stops") << u"1.2.3"_s << 1.2;
    QTest::newRow("comma stops") << u"1,5"_s << 1.0;
    QTest::newRow("sign alone") << u"-x"_s << 0.0;
}

void TestFieldNumber::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(fields::readLeadingNumber(text), value);
}

void TestFieldNumber::unitValueRange_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("rounded"); // -1: refused
    QTest::newRow("2.5 to even") << 2.5 << qint64(2);
    QTest::newRow("3.5 to even") << 3.5 << qint64(4);
    QTest::newRow("top") << 2147483647.0 << qint64(2147483647);
    QTest::newRow("top half rounds over") << 2147483647.5 << qint64(-1);
    QTest::newRow("negative") << -1.0 << qint64(-1);
    QTest::newRow("small negative rounds to zero") << -0.4 << qint64(0);
    QTest::newRow("beyond int32") << 3e9 << qint64(-1);
    QTest::newRow("infinity") << HUGE_VAL << qint64(-1);
}

void TestFieldNumber::unitValueRange() {
    QFETCH(double, value);
    QFETCH(qint64, rounded);
    const auto result = fields::roundToRange(value, 0, 2147483647);
    QCOMPARE(result.has_value(), rounded >= 0);
    if (result)
        QCOMPARE(*result, rounded);
}

void TestFieldNumber::ignoresTheCLocale() {
    // Qt programs take LC_NUMERIC from the environment; a comma locale must not cut 2.6 to 2.
    const char* old = setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (!setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        QSKIP("no German locale on this machine");
    QCOMPARE(fields::readLeadingNumber(u"2.6"_s), 2.6);
    QCOMPARE(*fields::readByte(u"2.6"_s), uint8_t(3));
    setlocale(LC_NUMERIC, saved.c_str());
}

QTEST_GUILESS_MAIN(TestFieldNumber)
#include "tst_fieldnumber.moc"
