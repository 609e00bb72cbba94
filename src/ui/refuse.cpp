#include "refuse.h"

#include <ui/messages.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace zarnet {

void refuse(QWidget* field, Messages& messages, const fields::Refusal& refusal) {
    messages.error(text::refusal(refusal));
    field->setFocus();
}

namespace {

// Eats the mouse press that is on its way to a button: the focus moves before
// the press is delivered, so the press comes right after the leaving rule.
class PressSwallower : public QObject {
public:
    explicit PressSwallower(QAbstractButton* button) : QObject(button), button_(button) {
        button->installEventFilter(this);
        // Gone with the next turn of the event loop if no press follows (the
        // focus moved by keyboard), so no later click is lost.
        QMetaObject::invokeMethod(
            this, [this] { delete this; }, Qt::QueuedConnection);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != button_ || (event->type() != QEvent::MouseButtonPress &&
                                   event->type() != QEvent::MouseButtonDblClick))
            return false;
        button_->removeEventFilter(this);
        return true;
    }

private:
    QPointer<QAbstractButton> button_;
};

} // namespace

void refuseLeaving(QWidget* field, Messages& messages, const QString& text) {
    QWidget* target = QApplication::focusWidget();
    messages.error(text);
    if (auto* button = qobject_cast<QAbstractButton*>(target); button && button != field)
        new PressSwallower(button);
    QPointer<QWidget> back(field);
    QMetaObject::invokeMethod(
        field,
        [back] {
            if (back)
                back->setFocus(Qt::OtherFocusReason);
        },
        Qt::QueuedConnection);
}

} // namespace zarnet
