#include "dotpanel.h"

#include "dialogs.h"
#include "imageframe.h"

#include <link/controllerlink.h>
#include <link/messages.h>
#include <ui/fieldleave.h>
#include <ui/refuse.h>

#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace zarnet {

DotPanel::DotPanel(QWidget* form, DotCanvas& canvas, ControllerLink& link, Messages& messages,
                   CanvasDialogs& dialogs)
    : QObject(form), form_(form), canvas_(canvas), link_(link), messages_(messages),
      dialogs_(dialogs) {
    auto button = [form](const QString& name) { return form->findChild<QPushButton*>(name); };
    connect(button(u"DotTxtCommand"_s), &QPushButton::clicked, this, &DotPanel::drawText);
    connect(button(u"DotFontCommand"_s), &QPushButton::clicked, this, &DotPanel::chooseFont);
    connect(button(u"Command5"_s), &QPushButton::clicked, this, &DotPanel::loadPicture);
    connect(button(u"TxtSendCommand"_s), &QPushButton::clicked, this, &DotPanel::sendImage);
    for (int i = 0; i < 4; ++i) {
        auto* option = form->findChild<QRadioButton*>(u"TimeOption_%1"_s.arg(i));
        connect(option, &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                applyTimeOption(i);
        });
    }
    watchLeaving(form->findChild<QLineEdit*>(u"WText"_s),
                 [this](const QString& before) { alignField(u"WText"_s, 8, before, text::Width); });
    watchLeaving(form->findChild<QLineEdit*>(u"XstText"_s), [this](const QString& before) {
        alignField(u"XstText"_s, 2, before, text::XStart);
    });
}

QString DotPanel::text(const QString& name) const {
    return form_->findChild<QLineEdit*>(name)->text();
}

void DotPanel::drawText() {
    canvas_.drawText(text(u"DotText"_s));
    form_->findChild<QWidget*>(u"Picture1"_s)->update();
}

void DotPanel::chooseFont() {
    const QFont current = canvas_.font();
    // The canvas font is named "宋体", which the dialog cannot select: it opens on
    // the face that is really drawn, so OK without a change keeps the image.
    const FontChoice chosen = dialogs_.chooseFont(
        {current.bold(), current.pointSizeF(), QFontInfo(current).family(), current.italic()});
    auto apply = [&chosen](QFont font) {
        font.setBold(chosen.bold);
        font.setPointSizeF(chosen.pointSize);
        font.setFamily(chosen.family);
        font.setItalic(chosen.italic);
        return font;
    };
    canvas_.setFont(apply(canvas_.font()));
    auto* dotText = form_->findChild<QLineEdit*>(u"DotText"_s);
    dotText->setFont(apply(dotText->font()));
    drawText();
}

void DotPanel::loadPicture() {
    const QString file =
        dialogs_.chooseFile(QDir::current().filePath(u"bmp"_s), u"位图文件(*.bmp)"_s, lastFile_);
    if (file.isEmpty())
        return;
    lastFile_ = file;
    if (canvas_.loadPicture(file))
        form_->findChild<QWidget*>(u"Picture1"_s)->update();
}

void DotPanel::applyTimeOption(int index) {
    const ModeTexts& texts = modeTexts(ScheduleMode(index));
    form_->findChild<QLabel*>(u"TimeInfoLabel_0"_s)->setText(texts.explanation);
    form_->findChild<QLabel*>(u"TimeInfoLabel_1"_s)->setText(texts.example);
    form_->findChild<QLabel*>(u"TimeInfoLabel_2"_s)->setText(texts.meaning);
    form_->findChild<QLineEdit*>(u"StTimeText"_s)->setText(texts.start);
    form_->findChild<QLineEdit*>(u"EnTimeText"_s)->setText(texts.end);
}

ScheduleMode DotPanel::scheduleMode() const {
    for (int i = 1; i < 4; ++i)
        if (form_->findChild<QRadioButton*>(u"TimeOption_%1"_s.arg(i))->isChecked())
            return ScheduleMode(i);
    return ScheduleMode::Always;
}

void DotPanel::alignField(const QString& name, int step, const QString& textBefore,
                          const QString& refusal) {
    auto* field = form_->findChild<QLineEdit*>(name);
    if (const auto aligned = alignDown(field->text(), step)) {
        field->setText(*aligned);
        return;
    }
    // The previous text comes back, and the operator is told why.
    field->setText(textBefore);
    refuseLeaving(field, messages_, refusal);
}

void DotPanel::sendImage() {
    const auto window =
        readDotWindow(text(u"XstText"_s), text(u"YstText"_s), text(u"WText"_s), text(u"HText"_s));
    if (const auto* refusal = std::get_if<fields::Refusal>(&window)) {
        refuse(form_, messages_, *refusal);
        return;
    }
    const auto schedule =
        encodeSchedule(scheduleMode(), text(u"StTimeText"_s), text(u"EnTimeText"_s));
    if (const auto* refusal = std::get_if<fields::Refusal>(&schedule)) {
        refuse(form_, messages_, *refusal);
        return;
    }
    const DotWindow& w = std::get<DotWindow>(window);
    link_.send(dotImageFrame(link_.device(), std::get<ScheduleBytes>(schedule), w,
                             getDotData(canvas_, w.bytesPerRow, w.rows)));
}

} // namespace zarnet
