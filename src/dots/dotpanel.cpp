#include "dotpanel.h"

#include "canvasview.h"
#include "dialogs.h"
#include <canvas/imagerequest.h>

#include <link/controllerlink.h>
#include <ui/fieldleave.h>
#include <ui/messages.h>
#include <ui/modetexts.h>
#include <ui/refuse.h>

#include <QDir>
#include <QFont>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace zarnet {

DotPanel::DotPanel(const DotGroup& group, DotCanvas& canvas, ControllerLink& link,
                   Messages& messages, CanvasDialogs& dialogs, QObject* parent)
    : QObject(parent), group_(group), canvas_(canvas), link_(link), messages_(messages),
      dialogs_(dialogs) {
    connect(group_.drawText, &QPushButton::clicked, this, &DotPanel::drawText);
    connect(group_.chooseFont, &QPushButton::clicked, this, &DotPanel::chooseFont);
    connect(group_.loadPicture, &QPushButton::clicked, this, &DotPanel::loadPicture);
    connect(group_.sendImage, &QPushButton::clicked, this, &DotPanel::sendImage);
    for (int i = 0; i < 4; ++i) {
        connect(group_.timeOptions[i], &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                applyTimeOption(i);
        });
    }
    watchLeaving(group_.width, [this](const QString& before) {
        alignField(group_.width, 8, before, fields::Field::Width);
    });
    watchLeaving(group_.xStart, [this](const QString& before) {
        alignField(group_.xStart, 2, before, fields::Field::XStart);
    });
}

void DotPanel::drawText() {
    canvas_.drawText(group_.dotText->text());
    group_.picture->update();
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
    group_.dotText->setFont(apply(group_.dotText->font()));
    drawText();
}

void DotPanel::loadPicture() {
    const QString file =
        dialogs_.chooseFile(QDir::current().filePath(u"bmp"_s), tr("位图文件(*.bmp)"), lastFile_);
    if (file.isEmpty())
        return;
    lastFile_ = file;
    if (canvas_.loadPicture(file))
        group_.picture->update();
}

void DotPanel::applyTimeOption(int index) {
    const ModeTexts texts = modeTexts(ScheduleMode(index));
    const QString info[] = {texts.explanation, texts.example, texts.meaning};
    for (int i = 0; i < 3; ++i) {
        group_.timeInfo[i]->setText(info[i]);
        // An empty label shows nothing, but screen readers would still read it,
        // named after its group.
        group_.timeInfo[i]->setHidden(info[i].isEmpty());
    }
    group_.scheduleStart->setText(texts.start);
    group_.scheduleEnd->setText(texts.end);
}

ScheduleMode DotPanel::scheduleMode() const {
    for (int i = 1; i < 4; ++i)
        if (group_.timeOptions[i]->isChecked())
            return ScheduleMode(i);
    return ScheduleMode::Always;
}

void DotPanel::alignField(QLineEdit* field, int step, const QString& textBefore,
                          fields::Field rule) {
    if (const auto aligned = alignDown(field->text(), step)) {
        field->setText(*aligned);
        return;
    }
    // The previous text comes back, and the operator is told why.
    field->setText(textBefore);
    refuseLeaving(field, messages_, text::refusal({rule}));
}

QWidget* DotPanel::fieldOf(const fields::Refusal& refusal) const {
    switch (refusal.field) {
    case fields::Field::XStart:
        return group_.xStart;
    case fields::Field::YStart:
        return group_.yStart;
    case fields::Field::Height:
        return group_.height;
    case fields::Field::DailyStart:
    case fields::Field::RangeStart:
        return group_.scheduleStart;
    case fields::Field::DailyEnd:
    case fields::Field::RangeEnd:
        return group_.scheduleEnd;
    case fields::Field::Width:
    case fields::Field::ImageSize: // the image size the width makes
        return group_.width;
    case fields::Field::DownloadStart:
    case fields::Field::DownloadCount:
    case fields::Field::UnitValue:
    case fields::Field::ReadStart:
    case fields::Field::ReadCount:
        break; // not the image's fields
    }
    return group_.width;
}

void DotPanel::sendImage() {
    // The fields as they stand: their leaving rules have already aligned X and W.
    const ImagePlacement placement{
        {group_.xStart->text(), group_.yStart->text(), group_.width->text(), group_.height->text()},
        scheduleMode(),
        group_.scheduleStart->text(),
        group_.scheduleEnd->text()};
    const auto frame = canvasImageFrame(link_.device(), canvas_, placement);
    if (const auto* refusal = std::get_if<fields::Refusal>(&frame)) {
        refuse(fieldOf(*refusal), messages_, *refusal);
        return;
    }
    reportSend(messages_, link_.send(std::get<QByteArray>(frame)));
}

} // namespace zarnet
