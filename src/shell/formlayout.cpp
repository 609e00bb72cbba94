#include "formlayout.h"

#include <ui/statuslamp.h>

#include <ui/controlgroups.h>

#include <canvas/songfont.h>
#include <dots/canvasview.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

// Captions and accessible names are marked for lupdate where they stand and
// put into the window's language here.
QString translated(const char* source) {
    return QCoreApplication::translate("FormLayout", source);
}

// What screen readers call a control, kept apart from the captions: a field's
// name can say more than the label beside it.
QString spoken(const char* source) {
    return QCoreApplication::translate("SpokenName", source);
}

template <typename Widget> Widget* place(Widget* widget, const QString& name, const QRect& rect) {
    widget->setObjectName(name);
    widget->setGeometry(rect);
    return widget;
}

// A group is named by its own caption: without a name, an inner group would
// take the caption of the group around it.
QGroupBox* group(QWidget* parent, const QString& name, const char* caption, const QRect& rect) {
    auto* box = place(new QGroupBox(translated(caption), parent), name, rect);
    box->setAccessibleName(box->title());
    return box;
}

QLabel* label(QWidget* parent, const QString& name, const char* caption, const QRect& rect) {
    return place(new QLabel(translated(caption), parent), name, rect);
}

QPushButton* button(QWidget* parent, const QString& name, const char* caption, const QRect& rect) {
    return place(new QPushButton(translated(caption), parent), name, rect);
}

// A field is named as a person would say it; without a name, screen readers
// would call every field of a group by the group's caption.
QLineEdit* field(QWidget* parent, const QString& name, const QString& spokenName,
                 const QString& text, const QRect& rect, int maxLength = 32767) {
    auto* edit = place(new QLineEdit(text, parent), name, rect);
    edit->setMaxLength(maxLength);
    edit->setAccessibleName(spokenName);
    return edit;
}

DotGroup buildDotGroup(QWidget* form, const DotCanvas& canvas) {
    DotGroup g;
    auto* frame2 =
        group(form, u"Frame2"_s, QT_TRANSLATE_NOOP("FormLayout", "点阵信息"), {8, 8, 273, 401});
    g.picture = place(new CanvasView(canvas, frame2), u"Picture1"_s, {6, 16, 260, 68});
    g.picture->setFont(songFont(12));
    g.picture->setAccessibleName(spoken(QT_TRANSLATE_NOOP("SpokenName", "点阵预览")));
    g.picture->setAccessibleDescription(spoken(
        QT_TRANSLATE_NOOP("SpokenName", "256 × 64 点的画布；发送点阵时取其左上角宽度 × 高度个点")));
    g.chooseFont = button(frame2, u"DotFontCommand"_s, QT_TRANSLATE_NOOP("FormLayout", "字体"),
                          {6, 88, 44, 36});
    // The sign's own text is for the plant floor: it stays as it is in every language.
    g.dotText = field(frame2, u"DotText"_s, spoken(QT_TRANSLATE_NOOP("SpokenName", "点阵文字")),
                      u"生产一线"_s, {54, 88, 120, 36});
    g.dotText->setFont(songFont(21.75));
    g.drawText = button(frame2, u"DotTxtCommand"_s, QT_TRANSLATE_NOOP("FormLayout", "文字"),
                        {178, 88, 42, 36});
    g.loadPicture =
        button(frame2, u"Command5"_s, QT_TRANSLATE_NOOP("FormLayout", "图片"), {224, 88, 42, 36});

    auto* frame6 = group(frame2, u"Frame6"_s, QT_TRANSLATE_NOOP("FormLayout", "显示位置与大小"),
                         {8, 136, 257, 97});
    label(frame6, u"Label2"_s, QT_TRANSLATE_NOOP("FormLayout", "X起点 Y起点 宽度  高度"),
          {8, 20, 241, 26})
        ->setFont(songFont(15.75));
    const QStringList window = {u"XstText"_s, u"YstText"_s, u"WText"_s, u"HText"_s};
    const char* const names[] = {
        QT_TRANSLATE_NOOP("SpokenName", "X 起点"), QT_TRANSLATE_NOOP("SpokenName", "Y 起点"),
        QT_TRANSLATE_NOOP("SpokenName", "宽度"), QT_TRANSLATE_NOOP("SpokenName", "高度")};
    const QStringList defaults = {u"192"_s, u"0"_s, u"64"_s, u"16"_s};
    std::array<QLineEdit*, 4> windowFields{};
    for (int i = 0; i < 4; ++i) {
        windowFields[i] =
            field(frame6, window[i], spoken(names[i]), defaults[i], {8 + 60 * i, 52, 56, 34});
        windowFields[i]->setFont(songFont(15.75, true));
    }
    g.xStart = windowFields[0];
    g.yStart = windowFields[1];
    g.width = windowFields[2];
    g.height = windowFields[3];

    auto* frame4 = group(frame2, u"Frame4"_s, QT_TRANSLATE_NOOP("FormLayout", "显示时段控制"),
                         {8, 248, 257, 113});
    const char* const modes[] = {
        QT_TRANSLATE_NOOP("FormLayout", "一直显示"), QT_TRANSLATE_NOOP("FormLayout", "每日时段"),
        QT_TRANSLATE_NOOP("FormLayout", "星期范围"), QT_TRANSLATE_NOOP("FormLayout", "每月日期")};
    for (int i = 0; i < 4; ++i)
        g.timeOptions[i] = place(new QRadioButton(translated(modes[i]), frame4),
                                 u"TimeOption_%1"_s.arg(i), {8, 18 + 22 * i, 80, 20});
    g.scheduleStart =
        field(frame4, u"StTimeText"_s, spoken(QT_TRANSLATE_NOOP("SpokenName", "开始值")), u"0"_s,
              {92, 17, 64, 22}, 4);
    auto* line = place(new QFrame(frame4), u"Line1"_s, {160, 27, 16, 2});
    line->setFrameShape(QFrame::HLine);
    g.scheduleEnd =
        field(frame4, u"EnTimeText"_s, spoken(QT_TRANSLATE_NOOP("SpokenName", "结束值")), u"0"_s,
              {180, 17, 64, 22}, 4);
    const char* const info[] = {QT_TRANSLATE_NOOP("FormLayout", "说明："),
                                QT_TRANSLATE_NOOP("FormLayout", "示例："),
                                QT_TRANSLATE_NOOP("FormLayout", "表示：")};
    for (int i = 0; i < 3; ++i)
        g.timeInfo[i] =
            label(frame4, u"TimeInfoLabel_%1"_s.arg(i), info[i], {92, 40 + 22 * i, 160, 20});

    g.clearDots = button(frame2, u"ClsDotCommand"_s, QT_TRANSLATE_NOOP("FormLayout", "清空点阵"),
                         {8, 367, 124, 28});
    g.sendImage = button(frame2, u"TxtSendCommand"_s, QT_TRANSLATE_NOOP("FormLayout", "发送点阵"),
                         {141, 367, 124, 28});
    return g;
}

// The download and read-back groups share their arrangement: two label-and-field
// rows, the value fields, then the buttons.
struct UnitFields {
    QGroupBox* frame = nullptr;
    QLineEdit* startUnit = nullptr;
    QLineEdit* unitCount = nullptr;
    QList<QLineEdit*> values;
};

// What tells the two unit groups apart.
struct UnitGroupShape {
    QString name;
    const char* caption;
    int left;
    QList<int> labels;
    QString addressField;
    QString valueField;
    int values;
    int valueMaxLength;
    std::array<const char*, 2> spokenAddress; // start unit, unit count
    const char* spokenValue;                  // %1: the field's place, from 1
};

UnitFields unitGroup(QWidget* form, const UnitGroupShape& shape) {
    UnitFields u;
    u.frame = group(form, shape.name, shape.caption, {shape.left, 8, 113, 401});
    const char* const captions[] = {QT_TRANSLATE_NOOP("FormLayout", "起始单元"),
                                    QT_TRANSLATE_NOOP("FormLayout", "单元数量")};
    const QStringList defaults = {u"0"_s, u"1"_s};
    for (int row = 0; row < 2; ++row) {
        auto* caption = label(u.frame, u"Label3_%1"_s.arg(shape.labels[row]), captions[row],
                              {6, 22 + 28 * row, 66, 22});
        caption->setFont(songFont(12));
        auto* edit =
            field(u.frame, u"%1_%2"_s.arg(shape.addressField).arg(row),
                  spoken(shape.spokenAddress[row]), defaults[row], {74, 18 + 28 * row, 33, 27}, 2);
        edit->setFont(songFont(15));
        caption->setBuddy(edit);
        (row == 0 ? u.startUnit : u.unitCount) = edit;
    }
    for (int i = 0; i < shape.values; ++i) {
        u.values.append(field(u.frame, u"%1_%2"_s.arg(shape.valueField).arg(i),
                              spoken(shape.spokenValue).arg(i + 1), u"0"_s,
                              {6, 78 + 28 * i, 101, 27}, shape.valueMaxLength));
        u.values.last()->setFont(songFont(15));
    }
    return u;
}

DownloadGroup buildDownloadGroup(QWidget* form) {
    const UnitFields u = unitGroup(form, {u"Frame3"_s,
                                          QT_TRANSLATE_NOOP("FormLayout", "下载数据"),
                                          288,
                                          {3, 2},
                                          u"RsAddText"_s,
                                          u"RsDataText"_s,
                                          9,
                                          8,
                                          {QT_TRANSLATE_NOOP("SpokenName", "起始单元"),
                                           QT_TRANSLATE_NOOP("SpokenName", "单元数量")},
                                          QT_TRANSLATE_NOOP("SpokenName", "单元 %1")});
    DownloadGroup g;
    g.startUnit = u.startUnit;
    g.unitCount = u.unitCount;
    std::copy(u.values.begin(), u.values.end(), g.values.begin());
    g.showNow = button(u.frame, u"Rs23Command"_s, QT_TRANSLATE_NOOP("FormLayout", "立即显示"),
                       {6, 334, 101, 28});
    g.showFixed = button(u.frame, u"Rs24Command"_s, QT_TRANSLATE_NOOP("FormLayout", "固定显示"),
                         {6, 366, 101, 28});
    return g;
}

ReadBackGroup buildReadBackGroup(QWidget* form) {
    // Read-back values are shown whole, up to 4294967295: ten characters.
    const UnitFields u = unitGroup(form, {u"Frame5"_s,
                                          QT_TRANSLATE_NOOP("FormLayout", "返回数据"),
                                          408,
                                          {0, 1},
                                          u"RsGetAddText"_s,
                                          u"RsGetValText"_s,
                                          10,
                                          10,
                                          {QT_TRANSLATE_NOOP("SpokenName", "读回起始单元"),
                                           QT_TRANSLATE_NOOP("SpokenName", "读回单元数量")},
                                          QT_TRANSLATE_NOOP("SpokenName", "读回值 %1")});
    ReadBackGroup g;
    g.startUnit = u.startUnit;
    g.unitCount = u.unitCount;
    std::copy(u.values.begin(), u.values.end(), g.readBackValues.begin());
    g.getData = button(u.frame, u"RsGetCommand"_s, QT_TRANSLATE_NOOP("FormLayout", "获取数据"),
                       {6, 364, 101, 30});
    return g;
}

ControlGroup buildControlGroup(QWidget* form) {
    ControlGroup g;
    auto* frame1 =
        group(form, u"Frame1"_s, QT_TRANSLATE_NOOP("FormLayout", "控制信息"), {528, 8, 121, 401});
    auto* portLabel =
        label(frame1, u"Label1"_s, QT_TRANSLATE_NOOP("FormLayout", "串口号："), {8, 22, 70, 20});
    g.portLamp = place(new StatusLamp(frame1), u"GetValShape"_s, {84, 20, 20, 20});
    g.portBox = place(new QComboBox(frame1), u"RsCombo"_s, {8, 46, 105, 26});
    g.portBox->setEditable(true);
    portLabel->setBuddy(g.portBox);
    // On Linux an editable list is named by its text and its label; the name is
    // for the other platforms, and for the field inside it.
    g.portBox->setAccessibleName(spoken(QT_TRANSLATE_NOOP("SpokenName", "串口号")));
    g.portBox->lineEdit()->setAccessibleName(g.portBox->accessibleName());
    auto* deviceLabel =
        label(frame1, u"Label4"_s, QT_TRANSLATE_NOOP("FormLayout", "设备编号："), {8, 80, 100, 20});
    g.deviceNumber =
        field(frame1, u"LedIDText"_s, spoken(QT_TRANSLATE_NOOP("SpokenName", "设备编号")), u"255"_s,
              {8, 102, 105, 26}, 10);
    deviceLabel->setBuddy(g.deviceNumber);
    const QStringList names = {u"OpenRs232Command"_s, u"FindCommand"_s, u"SeTimeCommand"_s,
                               u"OpenPowCommand"_s, u"ClosePowCommand"_s};
    const char* const captions[] = {
        QT_TRANSLATE_NOOP("FormLayout", "打开串口"), QT_TRANSLATE_NOOP("FormLayout", "测试连接"),
        QT_TRANSLATE_NOOP("FormLayout", "同步时间"), QT_TRANSLATE_NOOP("FormLayout", "开机"),
        QT_TRANSLATE_NOOP("FormLayout", "关机")};
    QPushButton** buttons[] = {&g.openPort, &g.find, &g.setTime, &g.powerOn, &g.powerOff};
    for (int i = 0; i < 5; ++i)
        *buttons[i] = button(frame1, names[i], captions[i], {8, 140 + 42 * i, 105, 32});
    g.exit = button(frame1, u"ExitCommand"_s, QT_TRANSLATE_NOOP("FormLayout", "退出"),
                    {8, 358, 105, 32});
    return g;
}

} // namespace

MainFormControls buildMainFormControls(QWidget* form, const DotCanvas& canvas) {
    MainFormControls controls;
    controls.dots = buildDotGroup(form, canvas);
    controls.download = buildDownloadGroup(form);
    controls.readBack = buildReadBackGroup(form);
    controls.control = buildControlGroup(form);
    return controls;
}

} // namespace zarnet
