#include "formlayout.h"

#include "statuslamp.h"

#include <ui/controlgroups.h>

#include <canvas/songfont.h>
#include <dots/canvasview.h>

#include <QComboBox>
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

template <typename Widget> Widget* place(Widget* widget, const QString& name, const QRect& rect) {
    widget->setObjectName(name);
    widget->setGeometry(rect);
    return widget;
}

QGroupBox* group(QWidget* parent, const QString& name, const QString& caption, const QRect& rect) {
    return place(new QGroupBox(caption, parent), name, rect);
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption, const QRect& rect) {
    return place(new QLabel(caption, parent), name, rect);
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption,
                    const QRect& rect) {
    return place(new QPushButton(caption, parent), name, rect);
}

QLineEdit* field(QWidget* parent, const QString& name, const QString& text, const QRect& rect,
                 int maxLength = 32767) {
    auto* edit = place(new QLineEdit(text, parent), name, rect);
    edit->setMaxLength(maxLength);
    return edit;
}

DotGroup buildDotGroup(QWidget* form, const DotCanvas& canvas) {
    DotGroup g;
    auto* frame2 = group(form, u"Frame2"_s, u"点阵信息"_s, {8, 8, 273, 401});
    g.picture = place(new CanvasView(canvas, frame2), u"Picture1"_s, {6, 16, 260, 68});
    g.picture->setFont(songFont(12));
    g.chooseFont = button(frame2, u"DotFontCommand"_s, u"字体"_s, {6, 88, 44, 36});
    g.dotText = field(frame2, u"DotText"_s, u"生产一线"_s, {54, 88, 120, 36});
    g.dotText->setFont(songFont(21.75));
    g.drawText = button(frame2, u"DotTxtCommand"_s, u"文字"_s, {178, 88, 42, 36});
    g.loadPicture = button(frame2, u"Command5"_s, u"图片"_s, {224, 88, 42, 36});

    auto* frame6 = group(frame2, u"Frame6"_s, u"显示位置与大小"_s, {8, 136, 257, 97});
    label(frame6, u"Label2"_s, u"X起点 Y起点 宽度  高度"_s, {8, 20, 241, 26})
        ->setFont(songFont(15.75));
    const QStringList window = {u"XstText"_s, u"YstText"_s, u"WText"_s, u"HText"_s};
    const QStringList defaults = {u"192"_s, u"0"_s, u"64"_s, u"16"_s};
    std::array<QLineEdit*, 4> windowFields{};
    for (int i = 0; i < 4; ++i) {
        windowFields[i] = field(frame6, window[i], defaults[i], {8 + 60 * i, 52, 56, 34});
        windowFields[i]->setFont(songFont(15.75, true));
    }
    g.xStart = windowFields[0];
    g.yStart = windowFields[1];
    g.width = windowFields[2];
    g.height = windowFields[3];

    auto* frame4 = group(frame2, u"Frame4"_s, u"显示时段控制"_s, {8, 248, 257, 113});
    const QStringList modes = {u"一直显示"_s, u"每日时段"_s, u"星期范围"_s, u"每月日期"_s};
    for (int i = 0; i < 4; ++i)
        g.timeOptions[i] = place(new QRadioButton(modes[i], frame4), u"TimeOption_%1"_s.arg(i),
                                 {8, 18 + 22 * i, 80, 20});
    g.scheduleStart = field(frame4, u"StTimeText"_s, u"0"_s, {92, 17, 64, 22}, 4);
    auto* line = place(new QFrame(frame4), u"Line1"_s, {160, 27, 16, 2});
    line->setFrameShape(QFrame::HLine);
    g.scheduleEnd = field(frame4, u"EnTimeText"_s, u"0"_s, {180, 17, 64, 22}, 4);
    const QStringList info = {u"说明："_s, u"示例："_s, u"表示："_s};
    for (int i = 0; i < 3; ++i)
        g.timeInfo[i] =
            label(frame4, u"TimeInfoLabel_%1"_s.arg(i), info[i], {92, 40 + 22 * i, 160, 20});

    g.clearDots = button(frame2, u"ClsDotCommand"_s, u"清空点阵"_s, {8, 367, 124, 28});
    g.sendImage = button(frame2, u"TxtSendCommand"_s, u"发送点阵"_s, {141, 367, 124, 28});
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

UnitFields unitGroup(QWidget* form, const QString& name, const QString& caption, int left,
                     const QList<int>& labels, const QString& addressField,
                     const QString& valueField, int values, int valueMaxLength) {
    UnitFields u;
    u.frame = group(form, name, caption, {left, 8, 113, 401});
    const QStringList captions = {u"起始单元"_s, u"单元数量"_s};
    const QStringList defaults = {u"0"_s, u"1"_s};
    for (int row = 0; row < 2; ++row) {
        label(u.frame, u"Label3_%1"_s.arg(labels[row]), captions[row], {6, 22 + 28 * row, 66, 22})
            ->setFont(songFont(12));
        auto* edit = field(u.frame, u"%1_%2"_s.arg(addressField).arg(row), defaults[row],
                           {74, 18 + 28 * row, 33, 27}, 2);
        edit->setFont(songFont(15));
        (row == 0 ? u.startUnit : u.unitCount) = edit;
    }
    for (int i = 0; i < values; ++i) {
        u.values.append(field(u.frame, u"%1_%2"_s.arg(valueField).arg(i), u"0"_s,
                              {6, 78 + 28 * i, 101, 27}, valueMaxLength));
        u.values.last()->setFont(songFont(15));
    }
    return u;
}

DownloadGroup buildDownloadGroup(QWidget* form) {
    const UnitFields u = unitGroup(form, u"Frame3"_s, u"下载数据"_s, 288, {3, 2}, u"RsAddText"_s,
                                   u"RsDataText"_s, 9, 8);
    DownloadGroup g;
    g.startUnit = u.startUnit;
    g.unitCount = u.unitCount;
    std::copy(u.values.begin(), u.values.end(), g.values.begin());
    g.showNow = button(u.frame, u"Rs23Command"_s, u"立即显示"_s, {6, 334, 101, 28});
    g.showFixed = button(u.frame, u"Rs24Command"_s, u"固定显示"_s, {6, 366, 101, 28});
    return g;
}

ReadBackGroup buildReadBackGroup(QWidget* form) {
    // Read-back values are shown whole, up to 4294967295: ten characters.
    const UnitFields u = unitGroup(form, u"Frame5"_s, u"返回数据"_s, 408, {0, 1}, u"RsGetAddText"_s,
                                   u"RsGetValText"_s, 10, 10);
    ReadBackGroup g;
    g.startUnit = u.startUnit;
    g.unitCount = u.unitCount;
    std::copy(u.values.begin(), u.values.end(), g.readBackValues.begin());
    g.getData = button(u.frame, u"RsGetCommand"_s, u"获取数据"_s, {6, 364, 101, 30});
    return g;
}

ControlGroup buildControlGroup(QWidget* form) {
    ControlGroup g;
    auto* frame1 = group(form, u"Frame1"_s, u"控制信息"_s, {528, 8, 121, 401});
    label(frame1, u"Label1"_s, u"串口号："_s, {8, 22, 70, 20});
    g.portLamp = place(new StatusLamp(frame1), u"GetValShape"_s, {84, 20, 20, 20});
    g.portBox = place(new QComboBox(frame1), u"RsCombo"_s, {8, 46, 105, 26});
    g.portBox->setEditable(true);
    label(frame1, u"Label4"_s, u"设备编号："_s, {8, 80, 100, 20});
    g.deviceNumber = field(frame1, u"LedIDText"_s, u"255"_s, {8, 102, 105, 26}, 10);
    const QStringList names = {u"OpenRs232Command"_s, u"FindCommand"_s, u"SeTimeCommand"_s,
                               u"OpenPowCommand"_s, u"ClosePowCommand"_s};
    const QStringList captions = {u"打开串口"_s, u"测试连接"_s, u"同步时间"_s, u"开机"_s,
                                  u"关机"_s};
    QPushButton** buttons[] = {&g.openPort, &g.find, &g.setTime, &g.powerOn, &g.powerOff};
    for (int i = 0; i < 5; ++i)
        *buttons[i] = button(frame1, names[i], captions[i], {8, 140 + 42 * i, 105, 32});
    g.exit = button(frame1, u"ExitCommand"_s, u"退出"_s, {8, 358, 105, 32});
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
