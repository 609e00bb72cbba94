#include "unitreadpanel.h"

#include <core/unitframes.h>
#include <link/controllerlink.h>
#include <ui/messages.h>
#include <ui/refuse.h>

#include <QLineEdit>
#include <QPushButton>

namespace zarnet {

UnitReadPanel::UnitReadPanel(const ReadBackGroup& group, ControllerLink& link, Messages& messages,
                             QObject* parent)
    : QObject(parent), group_(group), link_(link), messages_(messages) {
    connect(group_.getData, &QPushButton::clicked, this, &UnitReadPanel::requestUnitData);
}

void UnitReadPanel::requestUnitData() {
    const auto read = readUnitRead(group_.startUnit->text(), group_.unitCount->text());
    if (const auto* refusal = std::get_if<fields::Refusal>(&read)) {
        refuse(refusal->field == fields::Field::ReadStart ? group_.startUnit : group_.unitCount,
               messages_, *refusal);
        return;
    }
    const UnitRead request = std::get<UnitRead>(read);
    reportSend(messages_, link_.sendExpectingReply(unitReadFrame(link_.device(), request),
                                                   unitReplyLength(request.count)));
}

void UnitReadPanel::showValues(const QList<uint32_t>& values) {
    for (qsizetype i = 0; i < values.size() && i < qsizetype(group_.readBackValues.size()); ++i)
        group_.readBackValues[i]->setText(QString::number(values[i]));
}

} // namespace zarnet
