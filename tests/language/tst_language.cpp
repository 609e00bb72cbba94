#include <support/testplatform.h>
#include <support/virtualcontroller.h>

#include <board/boardline.h>
#include <board/boardwindow.h>
#include <core/board.h>
#include <core/schedule.h>
#include <language/language.h>
#include <ui/messages.h>
#include <ui/modetexts.h>
#include <ui/statuslamp.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zarnet;
using namespace zarnet::test;

Q_DECLARE_METATYPE(zarnet::Language)

class TestLanguage : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void preferredLanguage_data();
    void preferredLanguage();
    void languageOption_data();
    void languageOption();
    void textsFitTheirControls_data();
    void textsFitTheirControls();
    void accessibleNames_data();
    void accessibleNames();
    void everyControlHasANameOfItsOwn_data();
    void everyControlHasANameOfItsOwn();
    void lampIsNamedByItsState();
    void messagesInEnglish_data();
    void messagesInEnglish();
    void windowSpeaksToTheOperatorInEnglish();
    void boardWindowInEnglish();
    void badLanguageOptionSendsTheWindowNowhere_data();
    void badLanguageOptionSendsTheWindowNowhere();
    void programsChooseTheirLanguage_data();
    void programsChooseTheirLanguage();
};

namespace {

// Chinese characters, and the wide punctuation that comes with them.
const QRegularExpression Han(u"[\\p{Han}\\x{3000}-\\x{303F}\\x{FF00}-\\x{FFEF}]"_s);

void use(Language language) {
    QVERIFY(useLanguage(language));
}

QString accessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

// The text a control shows, and the width it gives that text.
struct Room {
    QString text;
    int need = 0;
    int room = 0;
};

std::optional<Room> roomOf(QWidget* widget) {
    QStyle* style = widget->style();
    const QFontMetrics metrics(widget->font());
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const auto element = qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                                 : QStyle::SE_PushButtonContents;
        const QRect contents = style->subElementRect(element, &option, button);
        return Room{button->text(), metrics.horizontalAdvance(button->text()), contents.width()};
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        const int margins = 2 * label->margin() + qMax(0, label->indent());
        return Room{label->text(), metrics.horizontalAdvance(label->text()),
                    label->contentsRect().width() - margins};
    }
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        option.textAlignment = box->alignment();
        const QRect label =
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        // The caption starts after the frame's corner; what is left of the box is its room.
        return Room{box->title(), metrics.horizontalAdvance(box->title()),
                    box->width() - label.left() - 1};
    }
    return std::nullopt;
}

// Every control of the window that carries a name of the control table.
QList<QWidget*> namedControls(QWidget* form) {
    QList<QWidget*> controls;
    for (QWidget* widget : form->findChildren<QWidget*>())
        if (!widget->objectName().isEmpty() && !widget->objectName().startsWith(u"qt_"))
            controls.append(widget);
    return controls;
}

} // namespace

void TestLanguage::cleanup() {
    useLanguage(Language::Chinese);
}

void TestLanguage::preferredLanguage_data() {
    QTest::addColumn<QStringList>("uiLanguages");
    QTest::addColumn<Language>("language");
    QTest::newRow("English first") << QStringList{u"en-US"_s, u"zh-CN"_s} << Language::English;
    QTest::newRow("Chinese first") << QStringList{u"zh-Hans-CN"_s, u"en"_s} << Language::Chinese;
    QTest::newRow("English after German")
        << QStringList{u"de-DE"_s, u"de"_s, u"en-GB"_s} << Language::English;
    QTest::newRow("traditional Chinese")
        << QStringList{u"fr"_s, u"zh-Hant-TW"_s, u"en"_s} << Language::Chinese;
    QTest::newRow("underscore form") << QStringList{u"en_AU"_s} << Language::English;
    QTest::newRow("neither") << QStringList{u"fr-FR"_s, u"ja"_s} << Language::Chinese;
    QTest::newRow("C locale") << QStringList{u"C"_s} << Language::Chinese;
    QTest::newRow("nothing") << QStringList{} << Language::Chinese;
    QTest::newRow("not a prefix") << QStringList{u"eng"_s, u"zho"_s} << Language::Chinese;
}

void TestLanguage::preferredLanguage() {
    QFETCH(QStringList, uiLanguages);
    QFETCH(Language, language);
    QCOMPARE(zarnet::preferredLanguage(uiLanguages), language);
}

void TestLanguage::languageOption_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<Language>("language");
    QTest::newRow("zh") << u"zh"_s << true << Language::Chinese;
    QTest::newRow("en") << u"en"_s << true << Language::English;
    QTest::newRow("a region") << u"en-US"_s << false << Language::Chinese;
    QTest::newRow("capitals") << u"EN"_s << false << Language::Chinese;
    QTest::newRow("another language") << u"fr"_s << false << Language::Chinese;
    QTest::newRow("empty") << QString() << false << Language::Chinese;
}

void TestLanguage::languageOption() {
    QFETCH(QString, option);
    QFETCH(bool, accepted);
    QFETCH(Language, language);
    QString fault;
    const auto chosen = chooseLanguage(option, &fault);
    QCOMPARE(chosen.has_value(), accepted);
    if (accepted) {
        QCOMPARE(*chosen, language);
        QVERIFY(fault.isEmpty());
    } else {
        QCOMPARE(fault, u"--lang takes zh or en, not \"%1\""_s.arg(option));
    }
}

void TestLanguage::textsFitTheirControls_data() {
    QTest::addColumn<Language>("language");
    QTest::addColumn<int>("mode");
    // Each schedule mode writes its own explanations into the labels.
    for (int mode = 0; mode < 4; ++mode) {
        QTest::addRow("Chinese, mode %d", mode) << Language::Chinese << mode;
        QTest::addRow("English, mode %d", mode) << Language::English << mode;
    }
}

void TestLanguage::textsFitTheirControls() {
    QFETCH(Language, language);
    QFETCH(int, mode);
    use(language);
    FormFixture f;
    f.start();
    QCOMPARE(f.form->size(), QSize(655, 415));
    f.c().dots.timeOptions[mode]->setChecked(true);
    QStringList tooWide;
    QStringList untranslated;
    int walked = 0;
    for (QWidget* widget : namedControls(f.form.get())) {
        const auto room = roomOf(widget);
        if (!room)
            continue;
        ++walked;
        if (room->need > room->room)
            tooWide << u"%1 \"%2\": %3 px in %4"_s.arg(widget->objectName(), room->text)
                           .arg(room->need)
                           .arg(room->room);
        if (language == Language::English && room->text.contains(Han))
            untranslated << widget->objectName();
    }
    QCOMPARE(walked, 6 + 4 + 14 + 10); // groups, radio buttons, buttons, labels
    QVERIFY2(tooWide.isEmpty(), qPrintable(tooWide.join(u"; ")));
    QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(u", ")));
    QVERIFY(f.form->windowTitle().startsWith(u"ZarnetV1.02 - "_s));
    QCOMPARE(f.form->windowTitle().contains(Han), language == Language::Chinese);
    // The sign's own text stays as the plant floor reads it.
    QCOMPARE(f.c().dots.dotText->text(), u"生产一线"_s);
}

void TestLanguage::accessibleNames_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");
    const auto row = [](const QString& control, const QString& chinese, const QString& english) {
        QTest::newRow(qPrintable(control)) << control << chinese << english;
    };
    row(u"XstText"_s, u"X 起点"_s, u"X start"_s);
    row(u"YstText"_s, u"Y 起点"_s, u"Y start"_s);
    row(u"WText"_s, u"宽度"_s, u"width"_s);
    row(u"HText"_s, u"高度"_s, u"height"_s);
    row(u"StTimeText"_s, u"开始值"_s, u"schedule start"_s);
    row(u"EnTimeText"_s, u"结束值"_s, u"schedule end"_s);
    row(u"DotText"_s, u"点阵文字"_s, u"sign text"_s);
    row(u"RsAddText_0"_s, u"起始单元"_s, u"start unit"_s);
    row(u"RsAddText_1"_s, u"单元数量"_s, u"unit count"_s);
    row(u"RsDataText_0"_s, u"单元 1"_s, u"unit 1"_s);
    row(u"RsDataText_2"_s, u"单元 3"_s, u"unit 3"_s);
    row(u"RsDataText_8"_s, u"单元 9"_s, u"unit 9"_s);
    row(u"RsGetAddText_0"_s, u"读回起始单元"_s, u"read-back start unit"_s);
    row(u"RsGetAddText_1"_s, u"读回单元数量"_s, u"read-back unit count"_s);
    row(u"RsGetValText_0"_s, u"读回值 1"_s, u"read-back 1"_s);
    row(u"RsGetValText_9"_s, u"读回值 10"_s, u"read-back 10"_s);
    row(u"LedIDText"_s, u"设备编号"_s, u"device number"_s);
    // Groups by their own caption, the inner ones too.
    row(u"Frame2"_s, u"点阵信息"_s, u"Dot matrix"_s);
    row(u"Frame6"_s, u"显示位置与大小"_s, u"Position and size"_s);
    row(u"Frame4"_s, u"显示时段控制"_s, u"When shown"_s);
    row(u"Frame3"_s, u"下载数据"_s, u"Write units"_s);
    row(u"Frame5"_s, u"返回数据"_s, u"Read units"_s);
    row(u"Frame1"_s, u"控制信息"_s, u"Control"_s);
    row(u"Picture1"_s, u"点阵预览"_s, u"dot-matrix preview"_s);
    row(u"OpenRs232Command"_s, u"打开串口"_s, u"Open port"_s);
    row(u"TimeOption_1"_s, u"每日时段"_s, u"Daily"_s);
}

void TestLanguage::accessibleNames() {
    QFETCH(QString, control);
    QFETCH(QString, chinese);
    QFETCH(QString, english);
    for (const Language language : {Language::Chinese, Language::English}) {
        use(language);
        FormFixture f;
        f.start();
        auto* widget = f.find<QWidget>(control);
        QVERIFY(widget);
        QCOMPARE(accessibleName(widget), language == Language::Chinese ? chinese : english);
    }
}

void TestLanguage::everyControlHasANameOfItsOwn_data() {
    QTest::addColumn<Language>("language");
    QTest::newRow("Chinese") << Language::Chinese;
    QTest::newRow("English") << Language::English;
}

void TestLanguage::everyControlHasANameOfItsOwn() {
    QFETCH(Language, language);
    use(language);
    FormFixture f;
    f.start();
    QMap<QString, QString> owner; // accessible name -> control
    QStringList faults;
    for (QWidget* widget : namedControls(f.form.get())) {
        // A label is the name of what it stands beside, and the line is only drawn.
        // On Linux an editable list is named by its value and its label.
        if (qobject_cast<QLabel*>(widget) || widget->objectName() == u"Line1" ||
            widget->objectName() == u"RsCombo")
            continue;
        const QString name = accessibleName(widget);
        if (name.isEmpty())
            faults << widget->objectName() + u" has no name"_s;
        else if (owner.contains(name))
            faults << u"%1 and %2 are both \"%3\""_s.arg(owner[name], widget->objectName(), name);
        else if (language == Language::English && name.contains(Han))
            faults << widget->objectName() + u" is named in Chinese"_s;
        owner.insert(name, widget->objectName());
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u"; ")));
    QCOMPARE(owner.size(), 57);
    // Labels are tied to the fields they name, and an empty label is not read out.
    for (const auto& [control, label] : {std::pair{u"RsCombo"_s, u"Label1"_s},
                                         {u"LedIDText"_s, u"Label4"_s},
                                         {u"RsAddText_0"_s, u"Label3_3"_s},
                                         {u"RsGetAddText_1"_s, u"Label3_1"_s}}) {
        QStringList labels;
        for (const auto& relation : QAccessible::queryAccessibleInterface(f.find<QWidget>(control))
                                        ->relations(QAccessible::Label))
            labels << relation.first->text(QAccessible::Name);
        QVERIFY2(labels.contains(f.find<QLabel>(label)->text()), qPrintable(labels.join(u", ")));
    }
    QVERIFY(f.c().dots.timeInfo[1]->isHidden()); // the mode says nothing more
    QCOMPARE(accessibleName(f.c().control.portBox->lineEdit()),
             language == Language::Chinese ? u"串口号"_s : u"serial port"_s);
    auto* canvas = QAccessible::queryAccessibleInterface(f.c().dots.picture);
    const QString description = canvas->text(QAccessible::Description);
    QVERIFY(description.contains(u"256 × 64"_s));
    QCOMPARE(description.contains(Han), language == Language::Chinese);
}

void TestLanguage::lampIsNamedByItsState() {
    const struct {
        Language language;
        QString closed;
        QString open;
        QString connecting;
    } cases[] = {{Language::Chinese, u"串口未打开"_s, u"串口已打开"_s, u"正在连接"_s},
                 {Language::English, u"port closed"_s, u"port open"_s, u"connecting"_s}};
    for (const auto& c : cases) {
        use(c.language);
        VirtualController controller;
        FormFixture f;
        f.start();
        auto* lamp = f.c().control.portLamp;
        QCOMPARE(accessibleName(lamp), c.closed); // no usable port at start
        f.c().control.portBox->setEditText(controller.path());
        f.click(f.c().control.openPort);
        QCOMPARE(accessibleName(lamp), c.open);
        controller.hangUp();
        QTRY_COMPARE(accessibleName(lamp), c.closed);
        QTcpServer server; // a serial device server: connecting first, then open
        QVERIFY(server.listen(QHostAddress::LocalHost));
        f.c().control.portBox->setEditText(u"tcp://127.0.0.1:%1"_s.arg(server.serverPort()));
        f.click(f.c().control.openPort);
        QCOMPARE(accessibleName(lamp), c.connecting);
        QTRY_COMPARE(accessibleName(lamp), c.open);
    }
}

void TestLanguage::messagesInEnglish_data() {
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");
    const auto both = [](const char* row, const std::function<QString()>& message) {
        useLanguage(Language::Chinese);
        const QString chinese = message();
        useLanguage(Language::English);
        QTest::newRow(row) << chinese << message();
        useLanguage(Language::Chinese);
    };
    both("no usable port", text::noUsablePort);
    both("open error", text::portOpenError);
    both("port closed", text::portClosed);
    both("send failed", text::sendFailed);
    both("found device", [] { return text::foundDevice(7); });
    using fields::Field;
    for (const Field field :
         {Field::DownloadStart, Field::ReadStart, Field::DownloadCount, Field::ReadCount,
          Field::UnitValue, Field::XStart, Field::YStart, Field::Width, Field::Height,
          Field::ImageSize, Field::DailyStart, Field::DailyEnd, Field::RangeStart, Field::RangeEnd})
        both(qPrintable(u"refusal %1"_s.arg(int(field))), [field] {
            return text::refusal({field, 4});
        });
    for (const AddressFault fault : {AddressFault::UnknownScheme, AddressFault::EmptyHost,
                                     AddressFault::NoPort, AddressFault::BadPort})
        both(qPrintable(u"address %1"_s.arg(int(fault))),
             [fault] { return text::badAddress(fault); });
    for (int mode = 0; mode < 4; ++mode)
        both(qPrintable(u"mode %1"_s.arg(mode)), [mode] {
            const ModeTexts texts = modeTexts(ScheduleMode(mode));
            return texts.explanation + texts.example + texts.meaning;
        });
}

void TestLanguage::messagesInEnglish() {
    QFETCH(QString, chinese);
    QFETCH(QString, english);
    QVERIFY(chinese.contains(Han));
    QVERIFY2(!english.isEmpty() && !english.contains(Han), qPrintable(english));
    // Numbers put into a message come out in both languages.
    for (const auto& number : QRegularExpression(u"\\d+"_s).globalMatch(chinese))
        QVERIFY2(english.contains(number.captured()), qPrintable(english));
}

void TestLanguage::windowSpeaksToTheOperatorInEnglish() {
    use(Language::English);
    VirtualController controller;
    FormFixture f;
    f.start(controller.path());
    f.click(f.c().dots.loadPicture); // the operator cancels the file dialog
    QCOMPARE(f.dialogs.lastFilter, u"Bitmap files (*.bmp)"_s);
    f.c().dots.height->setText(u"300"_s);
    f.click(f.c().dots.sendImage);
    QCOMPARE(f.messages.errors, QStringList{u"The height must be a whole number from 0 to 255."_s});
    QTest::qWait(50);
    QVERIFY(controller.received().isEmpty());
}

void TestLanguage::boardWindowInEnglish() {
    Board board(255);
    BoardLine line({&board});
    for (const Language language : {Language::Chinese, Language::English}) {
        use(language);
        BoardWindow window(board, line, u"/dev/pts/99"_s);
        const auto* status = window.findChild<QLabel*>();
        QVERIFY(status);
        QStringList names;
        for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            names << accessibleName(child);
        QCOMPARE(names.contains(u"LED panel"_s), language == Language::English);
        QCOMPARE(names.contains(u"点阵屏"_s), language == Language::Chinese);
        if (language == Language::Chinese) {
            QVERIFY(status->text().contains(u"设备 255"_s));
            QVERIFY(status->text().contains(u"单元：无"_s));
        } else {
            QVERIFY(status->text().contains(u"Device 255"_s));
            QVERIFY(status->text().contains(u"Units: none"_s));
            QVERIFY2(!status->text().contains(Han), qPrintable(status->text()));
        }
    }
}

void TestLanguage::badLanguageOptionSendsTheWindowNowhere_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown") << QStringList{u"--lang"_s, u"fr"_s}
                             << u"zarnet: --lang takes zh or en, not \"fr\"\n"_s;
    QTest::newRow("joined") << QStringList{u"--lang=de"_s}
                            << u"zarnet: --lang takes zh or en, not \"de\"\n"_s;
    QTest::newRow("missing") << QStringList{u"--lang"_s} << u"zarnet: --lang takes zh or en\n"_s;
    QTest::newRow("the later of two") << QStringList{u"--lang"_s, u"en"_s, u"--lang=it"_s}
                                      << u"zarnet: --lang takes zh or en, not \"it\"\n"_s;
}

void TestLanguage::badLanguageOptionSendsTheWindowNowhere() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"QT_LOGGING_RULES"_s); // only the message, even where the log is on
    QProcess zarnet;
    zarnet.setProcessEnvironment(env);
    zarnet.start(QStringLiteral(ZARNET_EXE), arguments);
    QVERIFY(zarnet.waitForFinished(10000));
    QCOMPARE(zarnet.exitCode(), 2);
    QCOMPARE(QString::fromUtf8(zarnet.readAllStandardError()), message);
}

void TestLanguage::programsChooseTheirLanguage_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment"); // NAME=VALUE, or NAME alone to unset it
    QTest::addColumn<QString>("why");
    QTest::addColumn<QString>("texts");
    // The window scans the machine's serial ports once it has chosen: two rows
    // are enough to show that it chooses. The rules are the same in the board,
    // which answers on a pseudo-terminal of its own.
    const QString window = QStringLiteral(ZARNET_EXE);
    const QString board = QStringLiteral(ZARNET_BOARD);
    const QStringList headless = {u"--headless"_s};
    QTest::newRow("window, --lang en") << window << QStringList{u"--lang"_s, u"en"_s}
                                       << QStringList{} << u"--lang en"_s << u"English"_s;
    QTest::newRow("window, LANGUAGE=en") << window << QStringList{} << QStringList{u"LANGUAGE=en"_s}
                                         << u"interface languages: en, "_s << u"English"_s;
    QTest::newRow("board, --lang en") << board << headless + QStringList{u"--lang"_s, u"en"_s}
                                      << QStringList{} << u"--lang en"_s << u"English"_s;
    QTest::newRow("board, --lang zh over LANGUAGE=en")
        << board << headless + QStringList{u"--lang"_s, u"zh"_s} << QStringList{u"LANGUAGE=en"_s}
        << u"--lang zh"_s << u"Chinese"_s;
    QTest::newRow("board, LANGUAGE=en") << board << headless << QStringList{u"LANGUAGE=en"_s}
                                        << u"interface languages: en, "_s << u"English"_s;
    QTest::newRow("board, LANGUAGE=zh_CN:en")
        << board << headless << QStringList{u"LANGUAGE=zh_CN:en"_s}
        << u"interface languages: zh-CN, "_s << u"Chinese"_s;
    QTest::newRow("board, LANG=en_US.UTF-8")
        << board << headless << QStringList{u"LC_ALL"_s, u"LC_MESSAGES"_s, u"LANG=en_US.UTF-8"_s}
        << u"interface languages: en-US, "_s << u"English"_s;
    QTest::newRow("board, C locale") << board << headless << QStringList{u"LC_ALL=C.UTF-8"_s}
                                     << u"interface languages: C\n"_s << u"Chinese"_s;
}

void TestLanguage::programsChooseTheirLanguage() {
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(QString, why);
    QFETCH(QString, texts);
    QTemporaryDir runtime; // the window's single-instance lock
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"LANGUAGE"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"QT_LOGGING_RULES"_s, u"zarnet.window=true"_s);
    for (const QString& setting : environment) {
        if (setting.contains(u'='))
            env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        else
            env.remove(setting);
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    QVERIFY(process.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += process.readAllStandardError()).contains("window texts:"),
                             10000);
    process.kill();
    process.waitForFinished();
    QVERIFY2(said.contains("zarnet.window: " + why.toUtf8()), said.constData());
    QVERIFY2(said.contains("window texts: " + texts.toUtf8()), said.constData());
    QVERIFY2(!said.contains("cannot be loaded"), said.constData());
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
