#pragma once

#include <ui/controlgroups.h>

#include <QObject>
#include <cstdint>

namespace zarnet {

class ControllerLink;
class Messages;

// The "下载数据" group: writes the values of its fields into consecutive units.
class UnitDownloadPanel : public QObject {
    Q_OBJECT
public:
    UnitDownloadPanel(const DownloadGroup& group, ControllerLink& link, Messages& messages,
                      QObject* parent);

    void sendUnitData(uint8_t code);

private:
    DownloadGroup group_;
    ControllerLink& link_;
    Messages& messages_;
};

} // namespace zarnet
