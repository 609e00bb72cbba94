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
    const MainFormControls controls = buildMainFormControls(this, canvas_);
    control_ = controls.control;
    alwaysOption_ = controls.dots.timeOptions[0];

    new ControlCommands(control_, controls.dots.clearDots, link_, messages_, platform.clock, this);
    new UnitDownloadPanel(controls.download, link_, messages_, this);
    auto* readPanel = new UnitReadPanel(controls.readBack, link_, messages_, this);
    new DotPanel(controls.dots, canvas_, link_, messages_, dialogs_, this);

    connect(&reception_, &ReplyReception::deviceFound, this,
            [this](int device) { messages_.information(text::foundDevice(device)); });
    connect(&reception_, &ReplyReception::unitValues, readPanel, &UnitReadPanel::showValues);
    connect(&platform.serial, &SerialLink::hungUp, this,
            [this] { control_.portLamp->setState(StatusLamp::State::Closed); });
    connect(&platform.serial, &SerialLink::opened, this, &MainForm::showOpenResult);

    connect(control_.openPort, &QPushButton::clicked, this, &MainForm::openComPort);
    connect(control_.exit, &QPushButton::clicked, this, &QWidget::close);
    connect(control_.portBox, &QComboBox::editTextChanged, this, &MainForm::showPortDevice);
    watchLeaving(control_.deviceNumber, [this](const QString&) { takeDeviceNumber(); });
}

void MainForm::load() {
    for (int port = 1; port <= ScannedPorts; ++port)
        control_.portBox->addItem(QString::number(port));
    control_.portBox->setEditText(u"3"_s);
    link_.setDevice(255);
    control_.deviceNumber->setText(QString::number(link_.device()));
    alwaysOption_->setChecked(true);
    scanComPorts();
}

void MainForm::scanComPorts() {
    const auto port = findUsablePort(platform_.serial, platform_.ports);
    if (!port) {
        messages_.error(text::noUsablePort());
        return;
    }
    control_.portBox->setEditText(QString::number(*port));
    openComPort();
}

void MainForm::openComPort() {
    platform_.serial.close();
    const QString portText = control_.portBox->currentText();
    if (isNetworkAddress(portText)) {
        const auto address = parseTcpAddress(portText);
        if (const auto* fault = std::get_if<AddressFault>(&address)) {
            control_.portLamp->setState(StatusLamp::State::Closed);
            messages_.error(text::badAddress(*fault));
            return;
        }
    }
    showOpenResult(openPortText(platform_.serial, platform_.ports, portText));
}

void MainForm::showOpenResult(OpenResult result) {
    switch (result) {
    case OpenResult::Opened:
        control_.portLamp->setState(StatusLamp::State::Open);
        return;
    case OpenResult::Connecting: // a serial device server: the outcome comes later
        control_.portLamp->setState(StatusLamp::State::Connecting);
        return;
    case OpenResult::NoSuchPort:
    case OpenResult::PortInUse:
    case OpenResult::Failed:
        break;
    }
    control_.portLamp->setState(StatusLamp::State::Closed);
    messages_.error(text::portOpenError());
}

void MainForm::takeDeviceNumber() {
    const auto value = fields::readInt16(control_.deviceNumber->text());
    if (!value || *value < 0) {
        // Not a device number: the last valid one stands.
        control_.deviceNumber->setText(QString::number(link_.device()));
        return;
    }
    if (*value > 255)
        control_.deviceNumber->setText(u"255"_s);
    link_.setDevice(uint8_t(qMin<int>(*value, 255)));
}

void MainForm::showPortDevice(const QString& portText) {
    control_.portBox->setToolTip(platform_.ports.device(portText).value_or(QString()));
}

void MainForm::closeEvent(QCloseEvent* event) {
    platform_.serial.close(); // also a connection still being made
    event->accept();
}

} // namespace zarnet
