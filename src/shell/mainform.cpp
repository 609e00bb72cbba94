#include "mainform.h"

#include "controlcommands.h"
#include "formlayout.h"
#include "portscan.h"
#include "statuslamp.h"

#include <dots/dotpanel.h>
#include <fields/fieldnumber.h>
#include <link/messages.h>
#include <link/portcatalog.h>
#include <ui/fieldleave.h>
#include <ui/songfont.h>
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
      dialogs_(platform.dialogs, platform.serial), link_(platform.serial, messages_),
      reception_(platform.serial) {
    setObjectName(u"MainForm"_s);
    setWindowTitle(u"ZarnetV1.02 - LED点阵屏控制"_s);
    setFont(songFont(9));
    setFixedSize(ClientWidth, ClientHeight);
    setWindowIcon(appIcon());
    buildMainFormControls(this, canvas_);

    portBox_ = findChild<QComboBox*>(u"RsCombo"_s);
    deviceField_ = findChild<QLineEdit*>(u"LedIDText"_s);
    lamp_ = findChild<StatusLamp*>(u"GetValShape"_s);

    new ControlCommands(this, link_, platform.clock);
    new UnitDownloadPanel(this, link_, messages_);
    auto* readPanel = new UnitReadPanel(this, link_, messages_);
    new DotPanel(this, canvas_, link_, messages_, dialogs_);

    connect(&reception_, &ReplyReception::deviceFound, this,
            [this](int device) { messages_.information(text::foundDevice(device)); });
    connect(&reception_, &ReplyReception::unitValues, readPanel, &UnitReadPanel::showValues);
    connect(&platform.serial, &SerialLink::hungUp, this,
            [this] { lamp_->setFillColor(Qt::black); });

    connect(findChild<QPushButton*>(u"OpenRs232Command"_s), &QPushButton::clicked, this,
            &MainForm::openComPort);
    connect(findChild<QPushButton*>(u"ExitCommand"_s), &QPushButton::clicked, this,
            &QWidget::close);
    connect(portBox_, &QComboBox::editTextChanged, this, &MainForm::showPortDevice);
    watchLeaving(deviceField_, [this](const QString&) { takeDeviceNumber(); });
}

void MainForm::load() {
    for (int port = 1; port <= ScannedPorts; ++port)
        portBox_->addItem(QString::number(port));
    portBox_->setEditText(u"3"_s);
    link_.setDevice(255);
    deviceField_->setText(QString::number(link_.device()));
    findChild<QRadioButton*>(u"TimeOption_0"_s)->setChecked(true);
    scanComPorts();
}

void MainForm::scanComPorts() {
    const auto port = findUsablePort(platform_.serial, platform_.ports);
    if (!port) {
        messages_.error(text::NoUsablePort);
        return;
    }
    portBox_->setEditText(QString::number(*port));
    openComPort();
}

void MainForm::openComPort() {
    platform_.serial.close();
    if (openPortText(platform_.serial, platform_.ports, portBox_->currentText()) ==
        OpenResult::Opened) {
        lamp_->setFillColor(QColor(0, 255, 0));
        return;
    }
    lamp_->setFillColor(QColor(0, 0, 0));
    messages_.error(text::PortOpenError);
}

void MainForm::takeDeviceNumber() {
    const auto value = fields::readInt16(deviceField_->text());
    if (!value || *value < 0) {
        // Not a device number: the last valid one stands.
        deviceField_->setText(QString::number(link_.device()));
        return;
    }
    if (*value > 255)
        deviceField_->setText(u"255"_s);
    link_.setDevice(uint8_t(qMin<int>(*value, 255)));
}

void MainForm::showPortDevice(const QString& portText) {
    portBox_->setToolTip(platform_.ports.device(portText).value_or(QString()));
}

void MainForm::closeEvent(QCloseEvent* event) {
    if (platform_.serial.isOpen())
        platform_.serial.close();
    event->accept();
}

} // namespace zarnet
