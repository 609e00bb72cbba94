#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLineEdit;

namespace zarnet {

// Runs `onLeave` each time the field loses the focus to another control of the
// window (not when the whole window loses it). `textBefore` is the text the field
// held when it got the focus, so an unusable edit can be put back.
void watchLeaving(QLineEdit* field, std::function<void(const QString& textBefore)> onLeave);

} // namespace zarnet
