#pragma once

#include "modalhold.h"

#include <canvas/dotcanvas.h>
#include <link/controllerlink.h>
#include <link/replyreception.h>
#include <ui/controlgroups.h>

#include <QDateTime>
#include <QWidget>
#include <functional>

class QRadioButton;

namespace zarnet {

class CanvasDialogs;
class Messages;
class PortCatalog;
class SerialLink;

// What the window needs of the world outside it; tests hand in their own.
struct Platform {
    SerialLink& serial;
    const PortCatalog& ports;
    Messages& messages;
    CanvasDialogs& dialogs;
    std::function<QDateTime()> clock = &QDateTime::currentDateTime;
};

// The one window: four group boxes, the port and the device number.
class MainForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 655;
    static constexpr int ClientHeight = 415;

    explicit MainForm(const Platform& platform, QWidget* parent = nullptr);

    // The window load: port items, device number, schedule mode 0, port scan.
    void load();
    void scanComPorts();
    void openComPort();

    ControllerLink& link() { return link_; }
    DotCanvas& canvas() { return canvas_; }
    const MainFormControls& controls() const { return controls_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showOpenResult(OpenResult result);
    void takeDeviceNumber();
    void showPortDevice(const QString& portText);

    Platform platform_;
    HoldingMessages messages_;
    HoldingDialogs dialogs_;
    DotCanvas canvas_;
    ControllerLink link_;
    ReplyReception reception_;
    MainFormControls controls_;
    QRadioButton* alwaysOption_ = nullptr;
};

} // namespace zarnet
