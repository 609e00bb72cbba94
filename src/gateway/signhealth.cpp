#include "signhealth.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

int SignHealth::answered(int intervalMs) {
    state_ = State::Online;
    misses_ = 0;
    backOffMs_ = FirstBackOffMs;
    return intervalMs;
}

int SignHealth::missed() {
    ++misses_;
    if (state_ != State::Offline && misses_ < 2)
        return RetryMs;
    state_ = State::Offline;
    const int delay = backOffMs_;
    backOffMs_ = std::min(backOffMs_ * 2, MaxBackOffMs);
    return delay;
}

void SignHealth::lineDown() {
    state_ = State::Offline;
    misses_ = 0;
    backOffMs_ = FirstBackOffMs;
}

QString describe(const TestResult& result) {
    const int detail = result.detail;
    switch (result.outcome) {
    case TestOutcome::Answered:
        return u"the sign answers the connection test"_s;
    case TestOutcome::NoAnswer:
        return u"no answer to the connection test within %1 ms"_s.arg(detail);
    case TestOutcome::OtherDevice:
        return u"another controller answered (device %1)"_s.arg(detail);
    case TestOutcome::Garbled:
        return u"garbled answer — possible address collision"_s;
    case TestOutcome::Late:
        return u"answered late (the line waits %1 ms)"_s.arg(detail);
    }
    return {};
}

QString outcomeKey(TestOutcome outcome) {
    switch (outcome) {
    case TestOutcome::Answered:
        return u"answered"_s;
    case TestOutcome::NoAnswer:
        return u"no_answer"_s;
    case TestOutcome::OtherDevice:
        return u"other_device"_s;
    case TestOutcome::Garbled:
        return u"garbled"_s;
    case TestOutcome::Late:
        break;
    }
    return u"late"_s;
}

} // namespace zarnet::gateway
