#include "unitdownloadpanel.h"

#include "unitframes.h"

#include <link/controllerlink.h>
#include <link/frame.h>
#include <link/messages.h>
#include <ui/refuse.h>

#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace zarnet {

UnitDownloadPanel::UnitDownloadPanel(QWidget* form, ControllerLink& link, Messages& messages)
    : QObject(form), form_(form), link_(link), messages_(messages) {
    connect(form->findChild<QPushButton*>(u"Rs23Command"_s), &QPushButton::clicked, this,
            [this] { sendUnitData(UnitShowNowCode); });
    connect(form->findChild<QPushButton*>(u"Rs24Command"_s), &QPushButton::clicked, this,
            [this] { sendUnitData(UnitFixedCode); });
}

void UnitDownloadPanel::sendUnitData(uint8_t code) {
    auto text = [this](const QString& name) { return form_->findChild<QLineEdit*>(name)->text(); };
    QStringList values;
    for (int i = 0; i < UnitValueFields; ++i)
        values.append(text(u"RsDataText_%1"_s.arg(i)));
    const auto read = readUnitWrite(text(u"RsAddText_0"_s), text(u"RsAddText_1"_s), values);
    if (const auto* refusal = std::get_if<fields::Refusal>(&read)) {
        refuse(form_, messages_, *refusal);
        return;
    }
    link_.send(unitWriteFrame(link_.device(), code, std::get<UnitWrite>(read)));
}

} // namespace zarnet
