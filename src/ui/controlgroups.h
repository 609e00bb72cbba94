#pragma once

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace zarnet {

class StatusLamp;

// The window's controls, one group box each, as the layout builds them. Every
// control also carries its name from the control table as objectName, for tests
// and accessibility; the code reaches it through these members.

// "点阵信息", with "显示位置与大小" and "显示时段控制" inside it.
struct DotGroup {
    QWidget* picture = nullptr; // the canvas preview
    QPushButton* chooseFont = nullptr;
    QLineEdit* dotText = nullptr;
    QPushButton* drawText = nullptr;
    QPushButton* loadPicture = nullptr;
    QLineEdit* xStart = nullptr;
    QLineEdit* yStart = nullptr;
    QLineEdit* width = nullptr;
    QLineEdit* height = nullptr;
    std::array<QRadioButton*, 4> timeOptions{};
    QLineEdit* scheduleStart = nullptr;
    QLineEdit* scheduleEnd = nullptr;
    std::array<QLabel*, 3> timeInfo{};
    QPushButton* clearDots = nullptr;
    QPushButton* sendImage = nullptr;
};

// "下载数据".
struct DownloadGroup {
    QLineEdit* startUnit = nullptr;
    QLineEdit* unitCount = nullptr;
    std::array<QLineEdit*, 9> values{};
    QPushButton* showNow = nullptr;
    QPushButton* showFixed = nullptr;
};

// "返回数据".
struct ReadBackGroup {
    QLineEdit* startUnit = nullptr;
    QLineEdit* unitCount = nullptr;
    std::array<QLineEdit*, 10> readBackValues{};
    QPushButton* getData = nullptr;
};

// "控制信息".
struct ControlGroup {
    QComboBox* portBox = nullptr;
    StatusLamp* portLamp = nullptr;
    QLineEdit* deviceNumber = nullptr;
    QPushButton* openPort = nullptr;
    QPushButton* find = nullptr;
    QPushButton* setTime = nullptr;
    QPushButton* powerOn = nullptr;
    QPushButton* powerOff = nullptr;
    QPushButton* exit = nullptr;
};

struct MainFormControls {
    DotGroup dots;
    DownloadGroup download;
    ReadBackGroup readBack;
    ControlGroup control;
};

} // namespace zarnet
