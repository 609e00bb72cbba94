#include "fieldleave.h"

#include <QFocusEvent>
#include <QLineEdit>

namespace zarnet {

namespace {

class LeaveWatcher : public QObject {
public:
    LeaveWatcher(QLineEdit* field, std::function<void(const QString&)> onLeave)
        : QObject(field), field_(field), onLeave_(std::move(onLeave)), textBefore_(field->text()) {
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != field_)
            return false;
        if (event->type() == QEvent::FocusIn) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                textBefore_ = field_->text();
        } else if (event->type() == QEvent::FocusOut) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                onLeave_(textBefore_);
        }
        return false;
    }

private:
    QLineEdit* field_;
    std::function<void(const QString&)> onLeave_;
    QString textBefore_;
};

} // namespace

void watchLeaving(QLineEdit* field, std::function<void(const QString& textBefore)> onLeave) {
    new LeaveWatcher(field, std::move(onLeave));
}

} // namespace zarnet
