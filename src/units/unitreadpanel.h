#pragma once

#include <ui/controlgroups.h>

#include <QList>
#include <QObject>
#include <cstdint>

namespace zarnet {

class ControllerLink;
class Messages;

// The "返回数据" group: asks for a run of units and shows the values that come back.
class UnitReadPanel : public QObject {
    Q_OBJECT
public:
    UnitReadPanel(const ReadBackGroup& group, ControllerLink& link, Messages& messages,
                  QObject* parent);

    void requestUnitData();
    // Value i goes to read-back field i, whatever start unit was asked for; fields
    // past the values keep their texts, values past the last field are dropped.
    void showValues(const QList<uint32_t>& values);

private:
    ReadBackGroup group_;
    ControllerLink& link_;
    Messages& messages_;
};

} // namespace zarnet
