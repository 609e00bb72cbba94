#pragma once

#include <canvas/dotcanvas.h>
#include <core/refusal.h>
#include <core/schedule.h>
#include <ui/controlgroups.h>

#include <QObject>
#include <QString>

class QLineEdit;

namespace zarnet {

class CanvasDialogs;
class ControllerLink;
class Messages;

// The "点阵信息" group: composes the canvas, keeps the display window and
// schedule fields to their rules, and sends the image.
class DotPanel : public QObject {
    Q_OBJECT
public:
    DotPanel(const DotGroup& group, DotCanvas& canvas, ControllerLink& link, Messages& messages,
             CanvasDialogs& dialogs, QObject* parent);

    void drawText();
    void chooseFont();
    void loadPicture();
    void applyTimeOption(int index);
    ScheduleMode scheduleMode() const;
    void sendImage();

private:
    void alignField(QLineEdit* field, int step, const QString& textBefore, fields::Field rule);
    QWidget* fieldOf(const fields::Refusal& refusal) const;

    DotGroup group_;
    DotCanvas& canvas_;
    ControllerLink& link_;
    Messages& messages_;
    CanvasDialogs& dialogs_;
    QString lastFile_;
};

} // namespace zarnet
