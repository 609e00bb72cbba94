#include "repeatlog.h"

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

const QString OtherKinds = u"(other kinds)"_s;

} // namespace

RepeatLog::RepeatLog(Category category, int periodMs, QObject* parent)
    : QObject(parent), category_(category) {
    period_.setInterval(periodMs);
    connect(&period_, &QTimer::timeout, this, &RepeatLog::report);
}

RepeatLog::~RepeatLog() {
    report();
}

void RepeatLog::warn(const QString& kind, const QString& text) {
    const QString& key = more_.size() >= MaxKinds && !more_.contains(kind) ? OtherKinds : kind;
    const auto found = more_.find(key);
    if (found != more_.end()) {
        ++*found;
        return;
    }
    more_.insert(key, 0);
    if (!period_.isActive())
        period_.start();
    QMessageLogger(nullptr, 0, nullptr).warning(category_()).noquote() << text;
}

// A kind that came again gets its count; one that stayed away is forgotten, so its
// next event is logged in full.
void RepeatLog::report() {
    for (auto it = more_.begin(); it != more_.end();) {
        if (it.value() == 0) {
            it = more_.erase(it);
            continue;
        }
        QMessageLogger(nullptr, 0, nullptr).warning(category_()).noquote()
            << it.value() << "more like this in the last" << period_.interval() / 1000
            << "s:" << it.key();
        it.value() = 0;
        ++it;
    }
    if (more_.isEmpty())
        period_.stop();
}

} // namespace zarnet::gateway
