#include "mainform.h"

#include "controlcommands.h"
#include "formlayout.h"
#include "portscan.h"
#include <ui/statuslamp.h>

#include <canvas/songfont.h>
#include <core/fieldnumber.h>
#include <dots/dotpanel.h>
#include <link/portcatalog.h>
#include <ui/fieldleave.h>
#include <ui/messages.h>
#include <units/unitdownloadpanel.h>
#include <units/unitreadpanel.h>

#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

static void initResources() {
    Q_INIT_RESOURCE(icons);
}

namespace zarnet {

namespace {

QIcon appIcon() {
    initResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(u":/icons/zarnet-%1.png"_s.arg(size), QSize(size, size));
    return icon;
}

} // namespace

MainForm::MainForm(const Platform& platform, QWidget* parent)
    : QWidget(parent), platform_(platform), messages_(platform.messages, platform.serial),
      dialogs_(platform.dialogs, platform.serial), link_(platform.serial),
      reception_(platform.serial) {
    setObjectName(u"MainForm"_s);
    setWindowTitle(u"ZarnetV1.02 - "_s + tr("LED点阵屏控制")); // the head stays in every language
    setFont(songFont(9));
    setFixedSize(ClientWidth, ClientHeight);
    setWindowIcon(appIcon());
    controls_ = buildMainFormControls(this, canvas_);
    const MainFormControls& controls = controls_;
    alwaysOption_ = controls.dots.timeOptions[0];

    new ControlCommands(controls_.control, controls.dots.clearDots, link_, messages_,
                        platform.clock, this);
    new UnitDownloadPanel(controls.download, link_, messages_, this);
    auto* readPanel = new UnitReadPanel(controls.readBack, link_, messages_, this);
    new DotPanel(controls.dots, canvas_, link_, messages_, dialogs_, this);

    connect(&reception_, &ReplyReception::deviceFound, this,
            [this](int device) { messages_.information(text::foundDevice(device)); });
    connect(&reception_, &ReplyReception::unitValues, readPanel, &UnitReadPanel::showValues);
    connect(&platform.serial, &SerialLink::hungUp, this,
            [this] { controls_.control.portLamp->setState(StatusLamp::State::Closed); });
    connect(&platform.serial, &SerialLink::opened, this, &MainForm::showOpenResult);

    connect(controls_.control.openPort, &QPushButton::clicked, this, &MainForm::openComPort);
    connect(controls_.control.exit, &QPushButton::clicked, this, &QWidget::close);
    connect(controls_.control.portBox, &QComboBox::editTextChanged, this,
            &MainForm::showPortDevice);
    watchLeaving(controls_.control.deviceNumber, [this](const QString&) { takeDeviceNumber(); });
}

void MainForm::load() {
    for (int port = 1; port <= ScannedPorts; ++port)
        controls_.control.portBox->addItem(QString::number(port));
    controls_.control.portBox->setEditText(u"3"_s);
    link_.setDevice(255);
    controls_.control.deviceNumber->setText(QString::number(link_.device()));
    alwaysOption_->setChecked(true);
    scanComPorts();
}

void MainForm::scanComPorts() {
    const auto port = findUsablePort(platform_.serial, platform_.ports);
    if (!port) {
        messages_.error(text::noUsablePort());
        return;
    }
    controls_.control.portBox->setEditText(QString::number(*port));
    openComPort();
}

void MainForm::openComPort() {
    platform_.serial.close();
    const QString portText = controls_.control.portBox->currentText();
    if (isNetworkAddress(portText)) {
        const auto address = parseTcpAddress(portText);
        if (const auto* fault = std::get_if<AddressFault>(&address)) {
            controls_.control.portLamp->setState(StatusLamp::State::Closed);
            messages_.error(text::badAddress(*fault));
            return;
        }
    }
    showOpenResult(openPortText(platform_.serial, platform_.ports, portText));
}

void MainForm::showOpenResult(OpenResult result) {
    switch (result) {
    case OpenResult::Opened:
        controls_.control.portLamp->setState(StatusLamp::State::Open);
        return;
    case OpenResult::Connecting: // a serial device server: the outcome comes later
        controls_.control.portLamp->setState(StatusLamp::State::Connecting);
        return;
    case OpenResult::NoSuchPort:
    case OpenResult::PortInUse:
    case OpenResult::Failed:
        break;
    }
    controls_.control.portLamp->setState(StatusLamp::State::Closed);
    messages_.error(text::portOpenError());
}

void MainForm::takeDeviceNumber() {
    const auto value = fields::readInt16(controls_.control.deviceNumber->text());
    if (!value || *value < 0) {
        // Not a device number: the last valid one stands.
        controls_.control.deviceNumber->setText(QString::number(link_.device()));
        return;
    }
    if (*value > 255)
        controls_.control.deviceNumber->setText(u"255"_s);
    link_.setDevice(uint8_t(qMin<int>(*value, 255)));
}

void MainForm::showPortDevice(const QString& portText) {
    controls_.control.portBox->setToolTip(platform_.ports.device(portText).value_or(QString()));
}

void MainForm::closeEvent(QCloseEvent* event) {
    platform_.serial.close(); // also a connection still being made
    event->accept();
}

} // namespace zarnet
