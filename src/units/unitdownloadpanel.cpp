#include "unitdownloadpanel.h"

#include <core/frame.h>
#include <core/unitframes.h>
#include <link/controllerlink.h>
#include <ui/messages.h>
#include <ui/refuse.h>

#include <QLineEdit>
#include <QPushButton>

namespace zarnet {

UnitDownloadPanel::UnitDownloadPanel(const DownloadGroup& group, ControllerLink& link,
                                     Messages& messages, QObject* parent)
    : QObject(parent), group_(group), link_(link), messages_(messages) {
    connect(group_.showNow, &QPushButton::clicked, this, [this] { sendUnitData(UnitShowNowCode); });
    connect(group_.showFixed, &QPushButton::clicked, this, [this] { sendUnitData(UnitFixedCode); });
}

void UnitDownloadPanel::sendUnitData(uint8_t code) {
    QStringList values;
    for (const QLineEdit* value : group_.values)
        values.append(value->text());
    const auto read = readUnitWrite(group_.startUnit->text(), group_.unitCount->text(), values);
    if (const auto* refusal = std::get_if<fields::Refusal>(&read)) {
        QWidget* field = refusal->field == fields::Field::DownloadStart ? group_.startUnit
                         : refusal->field == fields::Field::DownloadCount
                             ? group_.unitCount
                             : group_.values.at(refusal->index);
        refuse(field, messages_, *refusal);
        return;
    }
    reportSend(messages_,
               link_.send(unitWriteFrame(link_.device(), code, std::get<UnitWrite>(read))));
}

} // namespace zarnet
