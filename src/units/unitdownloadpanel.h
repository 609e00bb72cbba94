#pragma once

#include <QObject>
#include <cstdint>

class QWidget;

namespace zarnet {

class ControllerLink;
class Messages;

// The "下载数据" group: writes the values of RsDataText into consecutive units.
class UnitDownloadPanel : public QObject {
    Q_OBJECT
public:
    // Wires the group's buttons; the controls are found in `form` by their names.
    UnitDownloadPanel(QWidget* form, ControllerLink& link, Messages& messages);

    void sendUnitData(uint8_t code);

private:
    QWidget* form_;
    ControllerLink& link_;
    Messages& messages_;
};

} // namespace zarnet
