#pragma once

#include "dotcanvas.h"
#include "schedule.h"

#include <QObject>
#include <QString>

class QWidget;

namespace zarnet {

class CanvasDialogs;
class ControllerLink;
class Messages;

// The "点阵信息" group: composes the canvas, keeps the display window and
// schedule fields to their rules, and sends the image.
class DotPanel : public QObject {
    Q_OBJECT
public:
    DotPanel(QWidget* form, DotCanvas& canvas, ControllerLink& link, Messages& messages,
             CanvasDialogs& dialogs);

    void drawText();
    void chooseFont();
    void loadPicture();
    void applyTimeOption(int index);
    ScheduleMode scheduleMode() const;
    void sendImage();

private:
    QString text(const QString& name) const;
    void alignField(const QString& name, int step, const QString& textBefore,
                    const QString& refusal);

    QWidget* form_;
    DotCanvas& canvas_;
    ControllerLink& link_;
    Messages& messages_;
    CanvasDialogs& dialogs_;
    QString lastFile_;
};

} // namespace zarnet
